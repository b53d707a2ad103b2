#include "platform/x11/x11_selection_atoms.h"

#include <cstdlib>
#include <memory>

#include "platform/qt/qt_clipboard_image.h"

namespace tuckshelf {

xcb_atom_t internAtom(xcb_connection_t* connection, const QByteArray& name) {
  const auto cookie = xcb_intern_atom(connection, false, name.size(), name.constData());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
  return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

std::vector<xcb_atom_t> internAtoms(xcb_connection_t* connection, const std::vector<QByteArray>& names) {
  std::vector<xcb_intern_atom_cookie_t> cookies;
  for (const QByteArray& name : names)
    cookies.push_back(xcb_intern_atom(connection, false, std::uint16_t(name.size()), name.constData()));
  std::vector<xcb_atom_t> atoms;
  for (const auto& cookie : cookies) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    atoms.push_back(reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE));
  }
  return atoms;
}

std::vector<QByteArray> atomNames(xcb_connection_t* connection, const std::vector<xcb_atom_t>& atoms) {
  std::vector<xcb_get_atom_name_cookie_t> cookies;
  for (xcb_atom_t atom : atoms) cookies.push_back(xcb_get_atom_name(connection, atom));
  std::vector<QByteArray> names;
  for (const auto& cookie : cookies) {
    std::unique_ptr<xcb_get_atom_name_reply_t, decltype(&std::free)> reply(
        xcb_get_atom_name_reply(connection, cookie, nullptr), &std::free);
    names.push_back(reply ? QByteArray(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()))
                          : QByteArray());
  }
  return names;
}

xcb_window_t selectionOwner(xcb_connection_t* connection, xcb_atom_t selection) {
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
      xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, selection), nullptr), &std::free);
  return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

X11SelectionAtoms X11SelectionAtoms::intern(xcb_connection_t* connection) {
  X11SelectionAtoms atoms;
  const std::vector<QByteArray> imageTypes = imageMimeTypesBestFirst();

  // Every request first, then every reply: one round trip in all.
  std::vector<std::pair<xcb_atom_t*, xcb_intern_atom_cookie_t>> pending;
  auto request = [&](xcb_atom_t* into, const char* name) {
    pending.emplace_back(into, xcb_intern_atom(connection, false, qstrlen(name), name));
  };
  request(&atoms.clipboard, "CLIPBOARD");
  request(&atoms.targets, "TARGETS");
  request(&atoms.multiple, "MULTIPLE");
  request(&atoms.timestamp, "TIMESTAMP");
  request(&atoms.incr, "INCR");
  request(&atoms.atomPair, "ATOM_PAIR");
  request(&atoms.utf8String, "UTF8_STRING");
  request(&atoms.textPlainUtf8, "text/plain;charset=utf-8");
  request(&atoms.textPlain, "text/plain");
  request(&atoms.text, "TEXT");
  request(&atoms.compoundText, "COMPOUND_TEXT");
  request(&atoms.passwordManagerHint, "x-kde-passwordManagerHint");
  request(&atoms.imagePng, "image/png");
  request(&atoms.clipboardManager, "CLIPBOARD_MANAGER");
  request(&atoms.saveTargets, "SAVE_TARGETS");
  request(&atoms.null, "NULL");
  request(&atoms.replyProperty, "TUCKSHELF_SELECTION");
  atoms.imageTargets.resize(imageTypes.size());
  for (size_t i = 0; i < imageTypes.size(); ++i) {
    atoms.imageTargets[i].mimeType = imageTypes[i];
    request(&atoms.imageTargets[i].atom, imageTypes[i].constData());
  }

  for (auto& [into, cookie] : pending) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    *into = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  }
  std::erase_if(atoms.imageTargets, [](const ImageTarget& t) { return t.atom == XCB_ATOM_NONE; });
  atoms.textTargets = {atoms.utf8String, atoms.textPlainUtf8, XCB_ATOM_STRING, atoms.text,
                       atoms.textPlain};
  return atoms;
}

}  // namespace tuckshelf
