#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <vector>

namespace tuckshelf {

// The atoms the clipboard code uses, interned once per connection.
struct X11SelectionAtoms {
  struct ImageTarget {
    xcb_atom_t atom = XCB_ATOM_NONE;
    QByteArray mimeType;
  };

  xcb_atom_t clipboard = XCB_ATOM_NONE;
  xcb_atom_t targets = XCB_ATOM_NONE;
  xcb_atom_t multiple = XCB_ATOM_NONE;
  xcb_atom_t timestamp = XCB_ATOM_NONE;
  xcb_atom_t incr = XCB_ATOM_NONE;
  xcb_atom_t atomPair = XCB_ATOM_NONE;
  xcb_atom_t utf8String = XCB_ATOM_NONE;
  xcb_atom_t textPlainUtf8 = XCB_ATOM_NONE;
  xcb_atom_t textPlain = XCB_ATOM_NONE;
  xcb_atom_t text = XCB_ATOM_NONE;
  xcb_atom_t compoundText = XCB_ATOM_NONE;
  xcb_atom_t passwordManagerHint = XCB_ATOM_NONE;
  xcb_atom_t imagePng = XCB_ATOM_NONE;
  // The session's clipboard manager and its hand-over request.
  xcb_atom_t clipboardManager = XCB_ATOM_NONE;
  xcb_atom_t saveTargets = XCB_ATOM_NONE;
  xcb_atom_t null = XCB_ATOM_NONE;
  // Where owners put what this program asked for.
  xcb_atom_t replyProperty = XCB_ATOM_NONE;

  // Text targets worth reading, best first.
  std::vector<xcb_atom_t> textTargets;
  // Picture formats Qt can decode, best first.
  std::vector<ImageTarget> imageTargets;

  static X11SelectionAtoms intern(xcb_connection_t* connection);
};

// One round trip; XCB_ATOM_NONE when the server does not answer.
xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name);
// Several at once, in one round trip; XCB_ATOM_NONE for those not answered.
std::vector<xcb_atom_t> internAtoms(xcb_connection_t* connection, const std::vector<QByteArray>& names);
// The names of `atoms`, in one round trip; empty for those not answered.
std::vector<QByteArray> atomNames(xcb_connection_t* connection, const std::vector<xcb_atom_t>& atoms);
// The window that owns `selection` now, or XCB_WINDOW_NONE (one round trip).
xcb_window_t selectionOwner(xcb_connection_t* connection, xcb_atom_t selection);

}  // namespace tuckshelf
