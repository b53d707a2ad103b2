// A picture clip's thumbnail: the program's PNG, decoded off the Shell's
// main loop, fitted into a square with its proportions kept.

import GdkPixbuf from 'gi://GdkPixbuf';
import Gio from 'gi://Gio';
import St from 'gi://St';

import {imageContent} from './shellVersions.js';

// An icon `side` logical pixels square that shows the picture once decoded;
// until then, or if it cannot be, it shows nothing.
export function newThumbnail(png, side) {
    const icon = new St.Icon({icon_size: side});
    const cancellable = new Gio.Cancellable();
    icon.connect('destroy', () => cancellable.cancel());
    GdkPixbuf.Pixbuf.new_from_stream_async(Gio.MemoryInputStream.new_from_bytes(png), cancellable,
        (_source, result) => {
            try {
                icon.gicon = imageContent(GdkPixbuf.Pixbuf.new_from_stream_finish(result));
            } catch (e) {
                if (!e.matches?.(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                    console.error('Tuckshelf: unreadable thumbnail', e);
            }
        });
    return icon;
}
