// What differs between the GNOME Shell versions this extension runs on, in
// one place. The rest of the code keeps to calls that every one of them has:
// add_child, never add_actor (gone in 46); colours in the stylesheet, never
// Clutter.Color (gone in 47); its own allocation, never St.BoxLayout, whose
// `vertical` became `orientation` in 48. The module systems (imports.* up to
// 44, ES modules from 45) are bridged at build time, not here.

import Clutter from 'gi://Clutter';
import Cogl from 'gi://Cogl';
import Meta from 'gi://Meta';
import St from 'gi://St';

import * as Config from 'resource:///org/gnome/shell/misc/config.js';

const shellMajor = Number.parseInt(Config.PACKAGE_VERSION, 10);

// Placing for chrome that takes no input, such as the dot over the top bar.
// 50 dropped the X11 session and the input region that went with it; before,
// chrome took clicks there unless told not to.
export const INPUT_TRANSPARENT_CHROME = shellMajor >= 50 ? {} : {affectsInputRegion: false};

// Whether a modal grab got the keyboard. Later Shells tell only whether a
// grab above it has taken it away; a grab that is not is a working one.
export function grabHoldsKeyboard(grab) {
    if (grab.get_seat_state)
        return (grab.get_seat_state() & Clutter.GrabState.KEYBOARD) !== 0;
    return !grab.is_revoked();
}

// A pointer barrier; 46 made barriers belong to the backend, not the display.
export function newBarrier(params) {
    const owner = shellMajor >= 46 ? {backend: global.backend} : {display: global.display};
    return new Meta.Barrier({...owner, ...params});
}

// A decoded picture as an St.Icon's gicon, which keeps its proportions; from
// 48 on its pixels go through the stage's Cogl context.
export function imageContent(pixbuf) {
    const content = St.ImageContent.new_with_preferred_size(pixbuf.width, pixbuf.height);
    const pixels = [
        pixbuf.read_pixel_bytes(),
        pixbuf.has_alpha ? Cogl.PixelFormat.RGBA_8888 : Cogl.PixelFormat.RGB_888,
        pixbuf.width, pixbuf.height, pixbuf.rowstride,
    ];
    if (shellMajor >= 48)
        content.set_bytes(global.stage.context.get_backend().get_cogl_context(), ...pixels);
    else
        content.set_bytes(...pixels);
    return content;
}

