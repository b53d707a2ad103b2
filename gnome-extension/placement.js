// Where the shelf hangs on a monitor, in stage pixels. Sizes are the
// program's, in logical pixels, times the Shell's scale factor; positions are
// whole pixels so that text and edges stay crisp.

import St from 'gi://St';

import * as Main from 'resource:///org/gnome/shell/ui/main.js';

const NUB_WIDTH = 250;
const NUB_HEIGHT = 8;
const DOT_SIZE = 8;
const DOT_INSET = 16;
// The strip that opens the list lies between half the nub's width left of
// the centre line and 34 px short of the other half, clear of the dot; as
// the program's, its side edges are not in it.
const SPAN_LEFT = NUB_WIDTH / 2;
const SPAN_RIGHT = NUB_WIDTH / 2 - 34;
const SPAN_SLOP = 3;
// Monitors without the top bar keep a band as tall as a menu bar elsewhere.
const BARLESS_GAP = 24;

export function scaleFactor() {
    return St.ThemeContext.get_for_stage(global.stage).scale_factor;
}

export class Placement {
    constructor(monitorIndex) {
        const monitor = Main.layoutManager.monitors[monitorIndex];
        this.scale = scaleFactor();
        this.top = monitor.y;
        this.midX = monitor.x + monitor.width / 2;
        // The band above the list's rows covers the top bar where there is one.
        this.gap = monitorIndex === Main.layoutManager.primaryIndex
            ? Main.panel.height : BARLESS_GAP * this.scale;
    }

    // Logical pixels to stage pixels.
    px(logical) {
        return Math.round(logical * this.scale);
    }

    get dotPosition() {
        return {
            x: Math.round(this.midX + this.scale * (NUB_WIDTH / 2 - DOT_INSET - DOT_SIZE)),
            y: this.top + Math.round((this.gap - this.scale * DOT_SIZE) / 2),
        };
    }

    get restingFrame() {
        return this._frame(NUB_WIDTH, NUB_HEIGHT);
    }

    openFrame(width, contentHeight) {
        return this._frame(width, contentHeight);
    }

    // The strip's columns x1 .. x2 - 1 and rows y1 .. y2 - 1.
    get span() {
        return {
            x1: Math.round(this.midX - this.scale * SPAN_LEFT) + 1,
            x2: Math.round(this.midX + this.scale * SPAN_RIGHT),
            y1: this.top,
            y2: this.top + this.gap + this.px(SPAN_SLOP),
        };
    }

    _frame(width, contentHeight) {
        const w = this.px(width);
        return {x: Math.round(this.midX - w / 2), y: this.top, width: w, height: this.gap + this.px(contentHeight)};
    }
}
