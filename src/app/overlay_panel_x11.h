#pragma once

#include <QByteArray>
#include <QRegion>
#include <QWidget>

// The panel's window-system glue. On X11 the shapes go straight to the
// X Shape extension, which Qt does not cover: an empty bounding shape
// (a window that shows nothing but stays mapped) and an input shape that
// follows the bounding one through resizes. Elsewhere (Qt's offscreen
// platform, say) Qt's own mask and input flag stand in.
namespace tuckshelf::panel_x11 {

// Cuts the window to `shape` (window coordinates); empty shows nothing.
void setBoundingShape(QWidget& window, const QRegion& shape);

// Click-through: every press goes to the window beneath while on.
void setPassesClicksThrough(QWidget& window, bool on);

// WM_CLASS, both instance and class part, whatever the executable is called.
void setWindowClass(QWidget& window, const QByteArray& name);

// Sends what is queued: under Debian's glib event loop Qt can leave
// requests unsent until other traffic comes along.
void flush();

}  // namespace tuckshelf::panel_x11
