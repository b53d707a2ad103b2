// Pushing the pointer into the top edge at the top centre of a monitor, told
// apart from merely reaching it the way GNOME's hot corner does: a barrier
// along the edge and a pressure threshold. Hovering and clicking the clock
// below it keep working.

import Meta from 'gi://Meta';
import Shell from 'gi://Shell';

import * as Layout from 'resource:///org/gnome/shell/ui/layout.js';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';

import {Placement} from './placement.js';
import {newBarrier} from './shellVersions.js';

// The hot corner's: the same push opens both.
const PRESSURE_THRESHOLD = 100; // px
const PRESSURE_TIMEOUT = 1000; // ms

// Whether another monitor lies right above the span, where a barrier would
// stop the pointer from crossing over.
function hasMonitorAbove(index, span) {
    return Main.layoutManager.monitors.some((other, i) => i !== index &&
        other.y + other.height === span.y1 &&
        other.x < span.x2 && other.x + other.width > span.x1);
}

export class TopEdgePush {
    // onPush(monitorIndex) is called once per push, on the monitor pushed.
    constructor(onPush) {
        this._onPush = onPush;
        this._edges = [];
        this.rebuild();
    }

    // Anew, for the monitors and the scale as they are now.
    rebuild() {
        this._clear();
        Main.layoutManager.monitors.forEach((_monitor, index) => {
            const span = new Placement(index).span;
            if (hasMonitorAbove(index, span))
                return;
            // A barrier holds the pointer at both its end columns.
            const barrier = newBarrier({
                x1: span.x1, x2: span.x2 - 1, y1: span.y1, y2: span.y1,
                directions: Meta.BarrierDirection.POSITIVE_Y,
            });
            const pressure = new Layout.PressureBarrier(PRESSURE_THRESHOLD, PRESSURE_TIMEOUT,
                Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW);
            pressure.addBarrier(barrier);
            pressure.connect('trigger', () => {
                // As the hot corner: a fullscreen window keeps the edge to itself.
                if (!Main.layoutManager.monitors[index]?.inFullscreen)
                    this._onPush(index);
            });
            this._edges.push({barrier, pressure});
        });
    }

    destroy() {
        this._clear();
    }

    _clear() {
        for (const {barrier, pressure} of this._edges) {
            pressure.destroy();
            barrier.destroy();
        }
        this._edges = [];
    }
}
