// One clip in the open list. The newest clip's row (the lead row) shows its
// whole text, centred, on as many lines as the program made room for; every
// other row shows one line cut with an ellipsis. A picture shows its
// thumbnail beside the text. Hovering a row highlights it and shows its remove
// button.

import Clutter from 'gi://Clutter';
import GLib from 'gi://GLib';
import GObject from 'gi://GObject';
import Pango from 'gi://Pango';
import St from 'gi://St';

import {scaleFactor} from './placement.js';
import {newThumbnail} from './thumbnail.js';

// Logical pixels, as the program draws its rows.
const LEAD_PAD = 16;
const COMPACT_PAD = 10;
const BUTTON_SIZE = 18;
const BUTTON_TOP = 5;
const BUTTON_GAP = 4;
// A press this close to the visible remove button still counts as on it.
const BUTTON_REACH = 4;
const THUMBNAIL_INSET = 4;
const THUMBNAIL_GAP = 8;
const ONE_LINE_HEIGHT = 18;
const LINES_INSET = 5;
// Pango puts each line's baseline half a pixel lower than the program does,
// which would cut the last line's descenders; the cut comes this much lower.
const LINES_CUT_SLACK = 1;

const LINE_BREAKS = /\r\n|[\n\r\u2028\u2029]/g;

// Frames of a row's parts, top-left origin, in logical pixels.
function rowLayout(width, height, pad, hasThumbnail, oneLine) {
    const layout = {
        button: {x: width - pad - BUTTON_SIZE, y: BUTTON_TOP, width: BUTTON_SIZE, height: BUTTON_SIZE},
    };
    let labelX = pad;
    if (hasThumbnail) {
        const side = height - 2 * THUMBNAIL_INSET;
        layout.thumbnail = {x: pad, y: THUMBNAIL_INSET, width: side, height: side};
        labelX = pad + side + THUMBNAIL_GAP;
    }
    const labelWidth = Math.max(0, width - labelX - (pad + BUTTON_SIZE + BUTTON_GAP));
    layout.label = oneLine
        ? {x: labelX, y: (height - ONE_LINE_HEIGHT) / 2, width: labelWidth, height: ONE_LINE_HEIGHT}
        : {x: labelX, y: LINES_INSET, width: labelWidth, height: Math.max(0, height - 2 * LINES_INSET)};
    return layout;
}

function grown(frame, by) {
    return {x: frame.x - by, y: frame.y - by, width: frame.width + 2 * by, height: frame.height + 2 * by};
}

// Allocates `actor` at a frame in logical pixels, on whole stage pixels.
function allocateAt(actor, frame, scale) {
    const x1 = Math.round(frame.x * scale);
    const y1 = Math.round(frame.y * scale);
    actor.allocate(new Clutter.ActorBox({
        x1, y1,
        x2: Math.max(x1, Math.round((frame.x + frame.width) * scale)),
        y2: Math.max(y1, Math.round((frame.y + frame.height) * scale)),
    }));
}

// A Pango layout of `text` in the label's font. (The font's metrics, and
// ClutterText's font-description, are freed twice when asked for from GNOME
// Shell 50, which then crashes.)
function fontLayout(label, text) {
    const layout = label.clutter_text.create_pango_layout(text);
    layout.set_font_description(label.get_theme_node().get_font());
    return layout;
}

// The label's line spacing, in Pango units: how far apart Pango puts two
// baselines in the label's font when asked to space lines by the font's own
// line height.
function lineSpacing(label) {
    const layout = fontLayout(label, 'A');
    const [, oneLine] = layout.get_size();
    layout.set_text('A\nA', -1);
    layout.set_line_spacing(1);
    const [, twoLines] = layout.get_size();
    return twoLines - oneLine;
}

// Pango lays out the whole of a label's text, which stalls the Shell for
// seconds on a long clip, while a row shows only the text's beginning. As
// the program does, a label gets the shortest leading part of 64, 128, 256
// ... characters that holds more than the row shows (`isEnough`): lines that
// end before the part does are the whole text's lines too.
function leadingPart(text, isEnough) {
    for (let length = 64; ; length *= 2) {
        const halfPair = /[\uD800-\uDBFF]/.test(text[length - 1] ?? '');
        const part = text.slice(0, halfPair ? length - 1 : length);
        if (part.length === text.length || isEnough(part))
            return part;
    }
}

// Pango sets a line's height to the font's ascent and descent, each rounded
// up: a pixel more than the line spacing the program measured the lead row
// with, so that its last lines would not fit. The lead row's lines are set
// the font's line spacing apart instead. Its part holds twice the lines the
// room (stage pixels) shows, so that whole pixels of width change none.
function setLeadText(label, text, room) {
    const spacing = lineSpacing(label);
    const layout = fontLayout(label, '');
    layout.set_width(room.width * Pango.SCALE);
    layout.set_wrap(Pango.WrapMode.WORD_CHAR);
    const shown = Math.ceil(room.height * Pango.SCALE / spacing);
    const part = leadingPart(text, p => {
        layout.set_text(p, -1);
        return layout.get_line_count() > 2 * shown;
    });
    label.clutter_text.set_markup(`<span line_height="${spacing}">${GLib.markup_escape_text(part, -1)}</span>`);
}

// The text as the program has it shown: a picture's placeholder included.
// `room` is the label's size in stage pixels.
function newLabel(text, lead, room) {
    const label = new St.Label({
        style_class: lead ? 'tuckshelf-row-label tuckshelf-lead-label' : 'tuckshelf-row-label',
    });
    if (lead) {
        label.clutter_text.set({
            line_wrap: true,
            line_wrap_mode: Pango.WrapMode.WORD_CHAR,
            ellipsize: Pango.EllipsizeMode.NONE,
        });
        // Lines beyond the room the program gave are cut, not ellipsized.
        label.clip_to_allocation = true;
    } else {
        label.clutter_text.ellipsize = Pango.EllipsizeMode.END;
        text = text.replace(LINE_BREAKS, ' ');
    }
    // Set once the font is known, and again only if it changes.
    let font = '';
    label.connect_after('style-changed', () => {
        const now = label.get_theme_node().get_font().to_string();
        if (now === font)
            return;
        font = now;
        if (lead) {
            setLeadText(label, text, room);
            return;
        }
        const layout = fontLayout(label, '');
        // Twice as wide as the room, as above.
        label.text = leadingPart(text, p => {
            layout.set_text(p, -1);
            return layout.get_pixel_size()[0] > 2 * room.width;
        });
    });
    return label;
}

const RowContent = GObject.registerClass(
class RowContent extends St.Widget {
    _init({clip, lead, width, height, removeIcon}) {
        // The whole button, not the size of what it holds: newer Shells
        // centre a button's child at its natural size otherwise.
        super._init({
            x_expand: true, y_expand: true, x_align: Clutter.ActorAlign.FILL, y_align: Clutter.ActorAlign.FILL,
        });
        this._pad = lead ? LEAD_PAD : COMPACT_PAD;
        this._oneLine = !lead;
        const room = rowLayout(width, height, this._pad, clip.thumbnail !== null || clip.files, this._oneLine).label;
        const scale = scaleFactor();
        this._label = newLabel(clip.text, lead, {width: room.width * scale, height: room.height * scale});
        this.add_child(this._label);
        this._thumbnail = null;
        const side = Math.max(1, Math.round(height - 2 * THUMBNAIL_INSET));
        if (clip.thumbnail)
            this._thumbnail = newThumbnail(clip.thumbnail, side);
        else if (clip.files)
            this._thumbnail = new St.Icon({icon_name: 'text-x-generic-symbolic', icon_size: side});
        if (this._thumbnail)
            this.add_child(this._thumbnail);
        this.removeButton = new St.Button({
            style_class: 'tuckshelf-remove',
            child: new St.Icon({style_class: 'tuckshelf-remove-icon', gicon: removeIcon}),
            can_focus: false,
            accessible_name: 'Remove',
            visible: false,
        });
        this.add_child(this.removeButton);
    }

    vfunc_allocate(box) {
        this.set_allocation(box);
        const scale = scaleFactor();
        const layout = rowLayout(box.get_width() / scale, box.get_height() / scale,
            this._pad, this._thumbnail !== null, this._oneLine);
        allocateAt(this.removeButton, grown(layout.button, BUTTON_REACH), scale);
        if (this._thumbnail)
            allocateAt(this._thumbnail, layout.thumbnail, scale);
        let label = layout.label;
        if (this._oneLine) {
            // The line centred in its slot, as the program centres its glyphs.
            const [, lineHeight] = this._label.get_preferred_height(-1);
            label = {...label, y: label.y + (label.height - lineHeight / scale) / 2, height: lineHeight / scale};
        } else {
            label = {...label, height: label.height + LINES_CUT_SLACK};
        }
        allocateAt(this._label, label, scale);
    }
});

export const ShelfRow = GObject.registerClass(
class ShelfRow extends St.Button {
    // `width` and `height` are the row's, in logical pixels, as the program
    // laid it out.
    _init({clip, lead, width, height, removeIcon, onSelect, onRemove}) {
        super._init({
            style_class: 'tuckshelf-row', track_hover: true, can_focus: false, accessible_name: clip.accessibleName,
        });
        const content = new RowContent({clip, lead, width, height, removeIcon});
        this.set_child(content);
        this._removeButton = content.removeButton;
        this._highlighted = false;
        this.connect('notify::hover', () => this._showHighlight());
        this._showHighlight();
        this.connect('clicked', () => onSelect(clip.id));
        content.removeButton.connect('clicked', () => onRemove(clip.id));
    }

    setHighlighted(on) {
        this._highlighted = on;
        this._showHighlight();
    }

    _showHighlight() {
        const shown = this.hover || this._highlighted;
        this._removeButton.visible = shown;
        if (shown)
            this.add_style_pseudo_class('highlighted');
        else
            this.remove_style_pseudo_class('highlighted');
    }
});
