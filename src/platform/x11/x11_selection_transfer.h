#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <QTimer>
#include <chrono>
#include <functional>

namespace tuckshelf {

class X11Connection;
struct X11SelectionAtoms;

// One conversion of CLIPBOARD to one target, received into a property of
// `window`, in one piece or in INCR chunks. The owner has `answerTimeout`
// to answer, and `stepTimeout` for each chunk after; the result is
// reported once.
class X11SelectionTransfer {
 public:
  enum class Outcome {
    Received,
    Refused,  // the owner cannot convert to this target
    Failed,   // no answer in time, too large, or the server went away
  };
  struct Result {
    Outcome outcome = Outcome::Failed;
    xcb_atom_t type = XCB_ATOM_NONE;
    QByteArray data;
    int format = 8;  // bits per item of `data`
  };

  X11SelectionTransfer(X11Connection& connection, const X11SelectionAtoms& atoms,
                       xcb_window_t window, std::chrono::milliseconds answerTimeout,
                       std::chrono::milliseconds stepTimeout,
                       qsizetype maxBytes, std::function<void(Result)> onDone);

  // Reads at most `maxBytes`, or the cap given at construction when negative.
  void start(xcb_atom_t target, xcb_timestamp_t time, qsizetype maxBytes = -1);
  xcb_atom_t target() const { return target_; }
  // Later transfers go to `window`.
  void setWindow(xcb_window_t window) { window_ = window; }
  // Stops waiting; nothing is reported.
  void cancel();
  void handleSelectionNotify(const xcb_selection_notify_event_t& event);
  void handlePropertyNotify(const xcb_property_notify_event_t& event);

 private:
  enum class State { Idle, AwaitingNotify, AwaitingChunk };

  void readReply();
  void readChunk();
  void finish(Result result);
  void fail(const char* why);

  X11Connection& connection_;
  const X11SelectionAtoms& atoms_;
  xcb_window_t window_;
  const qsizetype defaultMaxBytes_;
  qsizetype maxBytes_;
  std::function<void(Result)> onDone_;
  QTimer stepTimer_;
  std::chrono::milliseconds answerTimeout_, stepTimeout_;
  State state_ = State::Idle;
  xcb_atom_t target_ = XCB_ATOM_NONE;
  Result incoming_;
};

}  // namespace tuckshelf
