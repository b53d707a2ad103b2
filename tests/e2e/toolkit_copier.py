"""Copies as a real program does, through Qt (PyQt6) or GTK 3 in a small
window of its own, and quits on a line (or the end) of stdin.

    toolkit_copier.py qt|gtk JSON

JSON: {"formats": {name: text}, "files": [path], "png": hex, "big": bytes,
"store": bool}.
Qt offers the formats through QMimeData (text/plain and text/html as text
and HTML, the files as URLs, the picture as image data); GTK offers each
named format as it is; "big" adds that many bytes as application/x-big
(Qt). GTK with "store" copies its text richly from a text
buffer and hands the clipboard to the clipboard manager when it quits. It
prints "copied" once the clipboard is its own.
"""

import json, sys

TOOLKIT, CLIP = sys.argv[1], json.loads(sys.argv[2])


def qt():
    from PyQt6.QtCore import QMimeData, QSocketNotifier, QTimer, QUrl
    from PyQt6.QtGui import QGuiApplication, QImage
    from PyQt6.QtWidgets import QApplication, QWidget
    app, window = QApplication(sys.argv[:1]), QWidget()
    window.resize(200, 100), window.show()

    def copy():
        # On Wayland a program may copy only while it has the keyboard.
        if app.platformName() == "wayland" and not QGuiApplication.focusWindow():
            return QTimer.singleShot(50, copy)
        data = QMimeData()
        for name, value in CLIP.get("formats", {}).items():
            {"text/plain": data.setText, "text/html": data.setHtml}.get(name, lambda v: data.setData(name, v.encode()))(value)
        if CLIP.get("files"):
            data.setUrls([QUrl.fromLocalFile(path) for path in CLIP["files"]])
        if CLIP.get("big"):
            data.setData("application/x-big", b"x" * CLIP["big"])
        if CLIP.get("png"):
            data.setImageData(QImage.fromData(bytes.fromhex(CLIP["png"])))
        app.clipboard().setMimeData(data)
        print("copied", flush=True)
    QTimer.singleShot(0, copy)
    quitting = QSocketNotifier(0, QSocketNotifier.Type.Read)
    quitting.activated.connect(app.quit)
    app.exec()


def gtk():
    import gi
    gi.require_version("Gtk", "3.0"), gi.require_version("Gdk", "3.0")
    from gi.repository import Gdk, GLib, Gtk
    window = Gtk.Window()
    window.show_all()
    clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)
    formats = {name.encode(): value.encode() for name, value in CLIP.get("formats", {}).items()}
    if CLIP.get("files"):
        formats[b"text/uri-list"] = b"".join(GLib.filename_to_uri(p).encode() + b"\r\n" for p in CLIP["files"])

    def serve(_widget, data, _info, _time):
        data.set(data.get_target(), 8, formats[data.get_target().name().encode()])

    def copy():
        if CLIP.get("store"):
            text = Gtk.TextBuffer()
            text.set_text(CLIP["formats"]["text/plain"])
            text.apply_tag(text.create_tag("bold", weight=700), text.get_start_iter(), text.get_end_iter())
            text.register_serialize_tagset("tuckshelf")
            text.select_range(text.get_start_iter(), text.get_end_iter())
            text.copy_clipboard(clipboard)
        else:
            window.connect("selection-get", serve)
            Gtk.selection_owner_set(window, Gdk.SELECTION_CLIPBOARD, Gdk.CURRENT_TIME)
            # All at once: on Wayland GTK sets the selection anew with each
            # call, offering the targets added so far.
            Gtk.selection_add_targets(window, Gdk.SELECTION_CLIPBOARD,
                                      [Gtk.TargetEntry.new(name.decode(), 0, 0) for name in formats])
        print("copied", flush=True)
        return False

    def quit(*_):
        if CLIP.get("store"):
            clipboard.store()
        Gtk.main_quit()
        return False
    GLib.timeout_add(50, copy)
    GLib.io_add_watch(0, GLib.IO_IN | GLib.IO_HUP, quit)
    Gtk.main()


qt() if TOOLKIT == "qt" else gtk()
