// The shelf in the Shell: at rest a dot at the top centre while the newest
// copy is not pasted, open a list of the program's clips. It opens on the
// monitor pushed, stays open while the pointer is over the list or the strip
// that opened it, and rests again as soon as the pointer is over neither.
// Opened from the keyboard (the program's shortcut) it opens on the
// pointer's monitor and holds the keyboard in a modal grab until a key, a
// click outside or the shortcut again closes it; the keys move a highlight,
// restore and remove.

import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import Shell from 'gi://Shell';
import St from 'gi://St';

import * as Main from 'resource:///org/gnome/shell/ui/main.js';

import {Placement} from './placement.js';
import {ShelfPanel} from './shelfPanel.js';
import {INPUT_TRANSPARENT_CHROME, grabHoldsKeyboard} from './shellVersions.js';

const GROW_TIME = 180; // ms

export const REMOVE_ICON_FILE = 'tuckshelf-remove-symbolic.svg';

function contains(actor, x, y) {
    return actor.visible && x >= actor.x && x < actor.x + actor.width &&
        y >= actor.y && y < actor.y + actor.height;
}

export class Shelf {
    // Clicks become onRestore(id) and onRemove(id); the icons are in `dir`.
    constructor(dir, {onRestore, onRemove}) {
        this._removeIcon = new Gio.FileIcon({file: dir.get_child(REMOVE_ICON_FILE)});
        this._onRestore = onRestore;
        this._onRemove = onRemove;
        this._content = null;
        this._unpasted = false;
        this._placement = null;
        this._removing = false;
        this._grab = null;  // the modal grab while open from the keyboard
        this._highlighted = 0;

        // The dot takes no input: clicks go to the top bar beneath it.
        this._dot = new St.Widget({
            style_class: 'tuckshelf-dot', visible: false, accessible_name: 'copied, not pasted',
        });
        Main.layoutManager.addTopChrome(this._dot, INPUT_TRANSPARENT_CHROME);
        // The strip that opened the list keeps it open where it is wider.
        this._strip = new St.Widget({reactive: true, track_hover: true, visible: false});
        Main.layoutManager.addTopChrome(this._strip);
        this._panel = new ShelfPanel();
        Main.layoutManager.addTopChrome(this._panel);
        this._strip.connect('notify::hover', () => this._restIfLeft());
        this._panel.connect('notify::hover', () => this._restIfLeft());
        this._panel.connect('key-press-event', (_actor, event) => this._keyPressed(event.get_key_symbol()));
        this._panel.connect('button-press-event', (_actor, event) => {
            const [x, y] = event.get_coords();
            if (this._grab && !contains(this._panel, x, y))
                this.rest();
            return Clutter.EVENT_PROPAGATE;
        });
    }

    get isOpen() {
        return this._panel.visible;
    }

    setUnpasted(unpasted) {
        this._unpasted = unpasted;
        this._showDot();
    }

    // What the program has now, or null while it is not running. A change
    // while the list is open rebuilds it after a removal from it, and puts
    // it to rest otherwise (a new copy), as the program's own list does.
    // The rows are built here, while the list is hidden, so that opening it
    // only shows them.
    setContent(content) {
        this._content = content;
        const keepOpen = this.isOpen && this._removing && content?.clips.length > 0;
        this._removing = false;
        if (!keepOpen)
            this.rest();
        this._build();
        if (keepOpen && this._grab)
            this._highlight(Math.min(this._highlighted, content.clips.length - 1));
        if (keepOpen)
            this._grow();
    }

    open(monitorIndex) {
        if (this.isOpen || !this._content)
            return;
        this._placement = new Placement(monitorIndex);
        this._dot.hide();
        // It grows from the resting frame, where only the dot showed.
        this._panel.set({...this._placement.restingFrame, visible: true});
        const span = this._placement.span;
        this._strip.set({
            x: span.x1, y: span.y1, width: span.x2 - span.x1, height: span.y2 - span.y1, visible: true,
        });
        this._panel.setGap(this._placement.gap);
        this._grow();
    }

    // The program's shortcut: opens the list for the keyboard, or closes it
    // when so open.
    toggleFromKeyboard() {
        if (this._grab) {
            this.rest();
            return;
        }
        if (!this.isOpen)
            this.open(global.display.get_current_monitor());
        if (!this.isOpen)
            return;
        const grab = Main.pushModal(this._panel, {actionMode: Shell.ActionMode.POPUP});
        if (!grabHoldsKeyboard(grab)) {
            Main.popModal(grab);  // another grab holds the keyboard
            return;
        }
        this._grab = grab;
        global.stage.set_key_focus(this._panel);
        this._highlight(0);
    }

    // After a change of monitors or scale: at rest, the rows made anew for
    // the new sizes.
    relocate() {
        this.rest();
        this._build();
    }

    // Collapses at once, without animation.
    rest() {
        if (this._grab) {
            const grab = this._grab;
            this._grab = null;
            Main.popModal(grab);  // the focus goes back where it was
        }
        this._panel.rest();
        this._strip.hide();
        this._removing = false;
        this._showDot();
    }

    destroy() {
        this.rest();
        this._dot.destroy();
        this._strip.destroy();
        this._panel.destroy();
    }

    _build() {
        if (!this._content) {
            this._panel.clear();
            return;
        }
        const {clips, width, rowHeights} = this._content;
        this._panel.fill({
            clips, width, rowHeights,
            removeIcon: this._removeIcon,
            onSelect: id => {
                this.rest();
                this._onRestore(id);
            },
            onRemove: id => {
                this._removing = true;
                this._onRemove(id);
            },
        });
    }

    // Grows the list to its open frame; at once where the Shell has turned
    // animations off, so that the first frame after the push shows it.
    _grow() {
        const frame = this._placement.openFrame(this._content.width, this._content.contentHeight);
        this._panel.remove_all_transitions();
        if (!St.Settings.get().enable_animations) {
            this._panel.set(frame);
            return;
        }
        this._panel.ease({...frame, duration: GROW_TIME, mode: Clutter.AnimationMode.EASE_IN_OUT});
    }

    // The dot, on the monitor the pointer is on, while the program runs and
    // its newest copy is not pasted.
    _showDot() {
        if (this.isOpen)
            return;
        const monitorIndex = global.display.get_current_monitor();
        this._dot.visible = this._unpasted && this._content !== null &&
            Main.layoutManager.monitors[monitorIndex] !== undefined;
        if (!this._dot.visible)
            return;
        const {x, y} = new Placement(monitorIndex).dotPosition;
        this._dot.set_position(x, y);
    }

    _keyPressed(symbol) {
        if (!this._grab)
            return Clutter.EVENT_PROPAGATE;
        const clips = this._content?.clips ?? [];
        const clip = clips[this._highlighted];
        switch (symbol) {
        case Clutter.KEY_Escape:
            this.rest();
            break;
        case Clutter.KEY_Up:
            this._highlight(Math.max(0, this._highlighted - 1));
            break;
        case Clutter.KEY_Down:
            this._highlight(Math.min(clips.length - 1, this._highlighted + 1));
            break;
        case Clutter.KEY_Return:
        case Clutter.KEY_KP_Enter:
        case Clutter.KEY_space:
            if (clip) {
                this.rest();
                this._onRestore(clip.id);
            }
            break;
        case Clutter.KEY_Delete:
        case Clutter.KEY_KP_Delete:
            if (clip) {
                this._removing = true;
                this._onRemove(clip.id);
            }
            break;
        }
        // Nothing typed while the list holds the keyboard reaches a window.
        return Clutter.EVENT_STOP;
    }

    _highlight(index) {
        this._highlighted = Math.max(0, index);
        this._panel.highlight(this._highlighted);
    }

    _restIfLeft() {
        if (!this.isOpen || this._grab)
            return;
        const [x, y] = global.get_pointer();
        if (!contains(this._panel, x, y) && !contains(this._strip, x, y))
            this.rest();
    }
}
