// GNOME Shell 43 and 44 have no --unsafe-mode switch: the test driver's
// private Shell turns it on from here, so that its Eval and Screenshot
// services answer. Never installed outside a test's own data folder.
function init() {
    return {
        enable() {
            global.context.unsafe_mode = true;
        },
        disable() {},
    };
}
