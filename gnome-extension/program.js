// The running Tuckshelf program, seen over its D-Bus interface. The program
// owns the history and every action; this side follows its bus name, asks it
// for what to draw and passes clicks on. Nothing is kept here that the
// program does not hold too, so losing this object loses nothing.

import Gio from 'gi://Gio';
import GLib from 'gi://GLib';

const BUS_NAME = 'io.github.tuckshelf.Tuckshelf';
const OBJECT_PATH = '/io/github/tuckshelf/Tuckshelf';
const INTERFACE_NAME = 'io.github.tuckshelf.Tuckshelf1';
export const INTERFACE_FILE = `${INTERFACE_NAME}.xml`;

function loadInterfaceInfo(path) {
    const [, bytes] = Gio.File.new_for_path(path).load_contents(null);
    const node = Gio.DBusNodeInfo.new_for_xml(new TextDecoder().decode(bytes));
    return node.lookup_interface(INTERFACE_NAME);
}

// A clip as drawn: its id, the text its row shows, what a screen reader
// reads for it, for a picture its thumbnail as PNG bytes, and whether it is
// files (shown by their names, with a file icon).
function toClip([id, kind, text, thumbnail], accessibleName) {
    return {
        id, text, accessibleName, files: kind === 'files',
        thumbnail: thumbnail.length > 0 ? new GLib.Bytes(thumbnail) : null,
    };
}

export class Program {
    // `interfacePath` is the interface's XML; the handlers are called with
    // what the program says: onUnpasted(bool), onContent(content) with the
    // clips and the layout that goes with them, onOpen() when its shortcut
    // asks for the list from the keyboard, onGone() when it quits.
    constructor(interfacePath, {onUnpasted, onContent, onOpen, onGone}) {
        this._info = loadInterfaceInfo(interfacePath);
        this._onUnpasted = onUnpasted;
        this._onOpen = onOpen;
        this._onContent = onContent;
        this._onGone = onGone;
        this._proxy = null;
        this._cancellable = null;
        this._fetches = 0;
        this._watch = Gio.bus_watch_name(Gio.BusType.SESSION, BUS_NAME,
            Gio.BusNameWatcherFlags.NONE,
            () => this._connect(),
            () => this._disconnect());
    }

    restore(id) {
        this._call('Restore', new GLib.Variant('(s)', [id]))
            .catch(e => console.error('Tuckshelf: Restore failed', e));
    }

    remove(id) {
        this._call('Remove', new GLib.Variant('(s)', [id]))
            .catch(e => console.error('Tuckshelf: Remove failed', e));
    }

    // The program shows its own window again once this side lets go, unless
    // `detach` is false: the Shell disables its extensions while the screen
    // is locked, and the program's window must not show over the lock.
    destroy({detach = true} = {}) {
        Gio.bus_unwatch_name(this._watch);
        if (detach)
            this._proxy?.call('Detach', null, Gio.DBusCallFlags.NO_AUTO_START, -1, null, null);
        this._disconnect();
    }

    _connect() {
        this._disconnect();
        const cancellable = new Gio.Cancellable();
        this._cancellable = cancellable;
        Gio.DBusProxy.new(Gio.DBus.session,
            Gio.DBusProxyFlags.DO_NOT_AUTO_START | Gio.DBusProxyFlags.GET_INVALIDATED_PROPERTIES,
            this._info, BUS_NAME, OBJECT_PATH, INTERFACE_NAME, cancellable,
            (_source, result) => {
                let proxy;
                try {
                    proxy = Gio.DBusProxy.new_finish(result);
                } catch (e) {
                    if (!e.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                        console.error('Tuckshelf: no proxy for the program', e);
                    return;
                }
                this._attach(proxy);
            });
    }

    _attach(proxy) {
        this._proxy = proxy;
        proxy.connectObject(
            'g-signal', (_proxy, _sender, signal) => {
                if (signal === 'Changed')
                    this._fetch();
                else if (signal === 'OpenRequested')
                    this._onOpen();
            },
            'g-properties-changed', () => this._reportUnpasted(),
            this);
        this._call('Attach', null).catch(e => console.error('Tuckshelf: Attach failed', e));
        this._reportUnpasted();
        this._fetch();
    }

    _disconnect() {
        this._cancellable?.cancel();
        this._cancellable = null;
        if (!this._proxy)
            return;
        this._proxy.disconnectObject(this);
        this._proxy = null;
        this._onGone();
    }

    _reportUnpasted() {
        this._onUnpasted(this._proxy.get_cached_property('Unpasted')?.unpack() ?? false);
    }

    // The clips, their names and the layout, asked for together; an answer
    // that a later question has overtaken is dropped, and so is a set that
    // straddles a change (its Changed signal brings the next set).
    async _fetch() {
        const fetch = ++this._fetches;
        try {
            const [clips, names, layout] = await Promise.all([
                this._call('GetClips', null),
                this._call('GetAccessibleNames', null),
                this._call('GetLayout', null),
            ]);
            if (fetch !== this._fetches)
                return;
            const [[clipList], [nameList], [width, contentHeight, rowHeights]] =
                [clips.deepUnpack(), names.deepUnpack(), layout.deepUnpack()];
            if (clipList.length !== rowHeights.length || clipList.length !== nameList.length)
                return;
            const clipsNamed = clipList.map((clip, i) => toClip(clip, nameList[i]));
            this._onContent({clips: clipsNamed, width, contentHeight, rowHeights});
        } catch (e) {
            if (!e.matches?.(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                console.error('Tuckshelf: could not read the history', e);
        }
    }

    _call(method, parameters) {
        const proxy = this._proxy;
        const cancellable = this._cancellable;
        if (!proxy)
            return Promise.reject(new Error('Tuckshelf is not running'));
        return new Promise((resolve, reject) => {
            proxy.call(method, parameters, Gio.DBusCallFlags.NO_AUTO_START, -1, cancellable,
                (_proxy, result) => {
                    try {
                        resolve(proxy.call_finish(result));
                    } catch (e) {
                        reject(e);
                    }
                });
        });
    }
}
