#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <optional>
#include <vector>

namespace tuckshelf::pasteboard_test {

// A second X client for tests: looks at CLIPBOARD and asks its owner for
// data the way other programs do.
class TestXClient {
 public:
  struct Reply {
    QByteArray type;
    QByteArray data;
  };

  TestXClient();  // on $DISPLAY
  ~TestXClient();
  TestXClient(const TestXClient&) = delete;
  TestXClient& operator=(const TestXClient&) = delete;

  xcb_connection_t* connection() const { return connection_; }
  xcb_window_t window() const { return window_; }
  xcb_atom_t atom(const QByteArray& name) const;
  QByteArray atomName(xcb_atom_t atom) const;
  xcb_window_t clipboardOwner() const;

  // Converts CLIPBOARD to `target`, running the event loop meanwhile (the
  // owner may be in this process). None when refused or unanswered.
  std::optional<Reply> convert(const QByteArray& target);
  // The same for several targets in one MULTIPLE request.
  std::vector<std::optional<Reply>> convertMultiple(const std::vector<QByteArray>& targets);

 private:
  // None when the owner gave no property or did not answer in 5 s.
  std::optional<xcb_atom_t> convertInto(xcb_atom_t target, xcb_atom_t property);
  std::optional<Reply> takeProperty(xcb_atom_t property);

  xcb_connection_t* connection_;
  xcb_window_t window_;
};

}  // namespace tuckshelf::pasteboard_test
