// The open shelf: a black panel hanging from the top edge, its upper band as
// tall as the top gap, then the list's rows, or the empty history's message.
// It lays its children out against its current size, so they follow the
// panel while it grows.

import Clutter from 'gi://Clutter';
import GObject from 'gi://GObject';
import St from 'gi://St';

import {scaleFactor} from './placement.js';
import {ShelfRow} from './shelfRow.js';

// Logical pixels, as the program lays out its list.
const LIST_INSET = 8;
const ROW_SPACING = 3;
const MESSAGE_INSET = 16;

const EMPTY_MESSAGE = 'clipboard\'s empty \u2728';

export const ShelfPanel = GObject.registerClass(
class ShelfPanel extends St.Widget {
    _init() {
        super._init({
            style_class: 'tuckshelf-panel',
            reactive: true,
            track_hover: true,
            clip_to_allocation: true,
            visible: false,
        });
        this._gap = 0;
        this._rows = [];
        this._rowHeights = [];
        this._message = null;
    }

    // Rows for `clips`, each as tall as the program said, in a list `width`
    // logical pixels wide below a band of `gap` stage pixels; the message
    // when there are no clips.
    fill({clips, width, rowHeights, gap, removeIcon, onSelect, onRemove}) {
        this.clear();
        this._gap = gap;
        this._rowHeights = rowHeights;
        this._rows = clips.map((clip, i) => new ShelfRow({
            clip, lead: i === 0, width: width - 2 * LIST_INSET, height: rowHeights[i], removeIcon, onSelect, onRemove,
        }));
        for (const row of this._rows)
            this.add_child(row);
        if (clips.length === 0) {
            this._message = new St.Label({style_class: 'tuckshelf-message', text: EMPTY_MESSAGE});
            this.add_child(this._message);
        }
    }

    // The row the keys act on looks hovered, with its remove button. The
    // panel keeps the key focus (a focused button would act on Enter by
    // itself) and takes the row's name, which a screen reader reads out as
    // the focused object's name changes.
    highlight(index) {
        this._rows.forEach((row, i) => row.setHighlighted(i === index));
        this.accessible_name = this._rows[index]?.accessible_name ?? EMPTY_MESSAGE;
    }

    clear() {
        this.destroy_all_children();
        this._rows = [];
        this._rowHeights = [];
        this._message = null;
    }

    vfunc_allocate(box) {
        this.set_allocation(box);
        const scale = scaleFactor();
        const width = box.get_width();
        const px = logical => Math.round(logical * scale);
        // Each row placed by the running total, so that rounding never adds up.
        let y = LIST_INSET;
        this._rows.forEach((row, i) => {
            const top = this._gap + px(y);
            y += this._rowHeights[i];
            row.allocate(new Clutter.ActorBox({
                x1: px(LIST_INSET), y1: top,
                x2: Math.max(px(LIST_INSET), width - px(LIST_INSET)), y2: this._gap + px(y),
            }));
            y += ROW_SPACING;
        });
        if (this._message) {
            const [, lineHeight] = this._message.get_preferred_height(-1);
            const top = this._gap + px(LIST_INSET);
            this._message.allocate(new Clutter.ActorBox({
                x1: px(MESSAGE_INSET), y1: top,
                x2: Math.max(px(MESSAGE_INSET), width - px(MESSAGE_INSET)), y2: top + lineHeight,
            }));
        }
    }
});
