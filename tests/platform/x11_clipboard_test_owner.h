#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QSocketNotifier>
#include <memory>
#include <vector>

#include "x11_clipboard_test_client.h"

namespace tuckshelf::pasteboard_test {

// A minimal CLIPBOARD owner serving fixed targets, for what xclip cannot
// do: several targets at once, a password manager's hint, counting the
// requests it gets, or leaving some unanswered.
class TestClipboardOwner {
 public:
  struct Target {
    QByteArray name;
    QByteArray data;
    QByteArray type = {};  // the name when empty
  };

  explicit TestClipboardOwner(std::initializer_list<Target> targets);

  // Returns once the server has made this the owner.
  void takeClipboard();
  // Requests for `target` (TARGETS included) are counted but left
  // unanswered until answerHeldRequests().
  void holdRequestsFor(const QByteArray& target) { held_.insert(target); }
  void answerHeldRequests();
  int requestsFor(const QByteArray& target) const { return requests_.value(target); }

 private:
  void handleEvents();
  void answer(const xcb_selection_request_event_t& request);

  TestXClient client_;
  std::vector<Target> targets_;
  QSet<QByteArray> held_;
  std::vector<xcb_selection_request_event_t> waiting_;
  QMap<QByteArray, int> requests_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tuckshelf::pasteboard_test
