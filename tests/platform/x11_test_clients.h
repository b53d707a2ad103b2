#pragma once

#include <xcb/xcb.h>

#include <QImage>
#include <QMap>
#include <QProcess>
#include <QSocketNotifier>
#include <memory>
#include <optional>

namespace tuckshelf::x11test {

// Another program owning CLIPBOARD on $DISPLAY, serving fixed targets: what
// xclip cannot do, several targets at once, counting the requests, leaving
// some unanswered.
class TestOwner {
 public:
  struct Target { QByteArray name, data; };
  explicit TestOwner(std::vector<Target> targets);
  TestOwner(std::initializer_list<Target> targets) : TestOwner(std::vector<Target>(targets)) {}
  ~TestOwner();

  // These return once the server has made this, or no one, the owner.
  void takeClipboard() { own(window_); }
  void emptyClipboard() { own(XCB_WINDOW_NONE); }
  // Requests for `target` (TARGETS included) are counted but left
  // unanswered until answerHeld().
  void hold(const QByteArray& target) { held_.append(target); }
  void answerHeld();
  int requestsFor(const QByteArray& target) const { return requests_.value(target); }

 private:
  xcb_atom_t atom(const QByteArray& name) const;
  void own(xcb_window_t window);
  void handleEvents();
  void answer(const xcb_selection_request_event_t& request);

  xcb_connection_t* c_;
  xcb_window_t window_;
  std::vector<Target> targets_;
  QMap<xcb_atom_t, QByteArray> names_;
  QList<QByteArray> held_;
  std::vector<xcb_selection_request_event_t> waiting_;
  QMap<QByteArray, int> requests_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

// The window manager, as far as a clipboard owner can tell: the client that
// made the window named by the root's _NET_SUPPORTING_WM_CHECK. It reads
// CLIPBOARD through another window of its own, as GNOME's does to keep a
// new owner's contents.
class TestWindowManager {
 public:
  TestWindowManager();
  ~TestWindowManager();  // the root's property goes with it
  std::optional<QByteArray> paste(const QByteArray& target = "UTF8_STRING");

 private:
  xcb_atom_t atom(const char* name);
  xcb_connection_t* c_;
  xcb_window_t root_, check_, reader_;
};

// What `xclip -o -selection clipboard` prints for a paste as `target`; none
// when it fails. The event loop runs meanwhile: the owner may be this process.
std::optional<QByteArray> xclipPaste(const QByteArray& target = "UTF8_STRING");

QByteArray encoded(const QImage& image);  // as PNG

}  // namespace tuckshelf::x11test
