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

// St styles a hidden widget's children only once they show; a label's text
// is set when its style is known (ShelfRow), so it is styled here at once.
function ensureStyles(actor) {
    if (actor instanceof St.Widget)
        actor.ensure_style();
    for (const child of actor.get_children())
        ensureStyles(child);
}

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
    // logical pixels wide; the message when there are no clips. Their text
    // is laid out now, while the panel may still be hidden.
    fill({clips, width, rowHeights, removeIcon, onSelect, onRemove}) {
        this.clear();
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
        ensureStyles(this);
    }

    // The band above the rows, in stage pixels: as tall as the top bar on
    // the monitor it opens on.
    setGap(gap) {
        this._gap = gap;
        this.queue_relayout();
    }

    // The row the keys act on looks hovered, with its remove button. The
    // panel keeps the key focus (a focused button would act on Enter by
    // itself) and takes the row's name, which a screen reader reads out as
    // the focused object's name changes.
    // None is highlighted for an index out of range.
    highlight(index) {
        this._rows.forEach((row, i) => row.setHighlighted(i === index));
        this.accessible_name = this._rows[index]?.accessible_name ?? (this._rows.length ? '' : EMPTY_MESSAGE);
    }

    // Back to rest: hidden, no row hovered or highlighted, for the next open.
    rest() {
        this.remove_all_transitions();
        this.hide();
        for (const row of this._rows)
            row.hover = false;
        this.highlight(-1);
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
