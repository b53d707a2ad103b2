// Tuckshelf on GNOME: the program keeps the clipboard history and does every
// action; this extension draws its shelf inside the Shell, where a program's
// own window cannot go, and hands clicks back to it over D-Bus.

import St from 'gi://St';

import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

import {INTERFACE_FILE, Program} from './program.js';
import {Shelf} from './shelf.js';
import {TopEdgePush} from './topEdgePush.js';

export default class TuckshelfExtension extends Extension {
    enable() {
        this._shelf = new Shelf(this.dir, {
            onRestore: id => this._program.restore(id),
            onRemove: id => this._program.remove(id),
        });
        this._push = new TopEdgePush(monitorIndex => this._shelf.open(monitorIndex));
        this._program = new Program(this.dir.get_child(INTERFACE_FILE).get_path(), {
            onUnpasted: unpasted => this._shelf.setUnpasted(unpasted),
            onContent: content => this._shelf.setContent(content),
            onOpen: () => this._shelf.toggleFromKeyboard(),
            onGone: () => {
                this._shelf.setContent(null);
                this._shelf.setUnpasted(false);
            },
        });
        const relocate = () => {
            this._push.rebuild();
            this._shelf.relocate();
        };
        Main.layoutManager.connectObject('monitors-changed', relocate, this);
        // The top bar takes its new height after the scale has changed.
        Main.panel.connectObject('notify::height', relocate, this);
        St.ThemeContext.get_for_stage(global.stage).connectObject('notify::scale-factor', relocate, this);
    }

    disable() {
        Main.layoutManager.disconnectObject(this);
        Main.panel.disconnectObject(this);
        St.ThemeContext.get_for_stage(global.stage).disconnectObject(this);
        this._program.destroy({detach: !Main.sessionMode.isLocked});
        this._program = null;
        this._push.destroy();
        this._push = null;
        this._shelf.destroy();
        this._shelf = null;
    }
}
