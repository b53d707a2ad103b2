#include "wayland_test_clients.h"

#include <unistd.h>

#include <QProcess>
#include <QTimer>
#include <algorithm>

#include "event_loop_wait.h"
#include "platform/wayland/wayland_pipe_writer.h"

namespace tuckshelf::wltest {
namespace {

// Offers are let go once named: libwayland leaks an offer destroyed while
// an event naming it still waits in its queue.
void dropOffer(void*, wl_proxy*, wl_proxy* offer) {
  if (offer) WaylandDataControl::destroy(offer);
}
const WaylandDataControl::DeviceListener kIgnoreSelections = {[](void*, wl_proxy*, wl_proxy*) {}, dropOffer,
                                                              [](void*, wl_proxy*) {}, dropOffer};

std::optional<QByteArray> runWlPaste(const QStringList& arguments) {
  QProcess paste;
  QByteArray output;
  QObject::connect(&paste, &QProcess::readyReadStandardOutput, [&] { output += paste.readAllStandardOutput(); });
  paste.start("wl-paste", arguments);
  // KWin tells a new client nothing while the clipboard is empty, and
  // wl-paste waits for word of it: no answer within seconds is nothing.
  const bool finished = pumpUntil([&] { return paste.state() == QProcess::NotRunning; }, std::chrono::seconds(3));
  if (!finished) paste.kill(), paste.waitForFinished();
  output += paste.readAllStandardOutput();
  if (finished && paste.exitStatus() == QProcess::NormalExit && paste.exitCode() == 0) return output;
  return std::nullopt;
}

}  // namespace

TestSource::TestSource(std::vector<Target> targets)
    : targets_(std::move(targets)), connection_(std::make_unique<WaylandConnection>()) {
  dataControl_ = std::make_unique<WaylandDataControl>(*connection_);
  if (dataControl_->isValid()) device_ = dataControl_->createDevice(&kIgnoreSelections, this);
}

TestSource::~TestSource() { quit(); }

void TestSource::takeClipboard() {
  static const WaylandDataControl::SourceListener listener = {send, [](void*, wl_proxy*) {}};
  if (!source_ && device_) {
    source_ = dataControl_->createSource(&listener, this);
    for (const Target& target : targets_) WaylandDataControl::offer(source_, target.mimeType.constData());
  }
  setSelection(source_);
}

void TestSource::emptyClipboard() { setSelection(nullptr); }

void TestSource::setSelection(wl_proxy* source) {
  if (!device_) return;
  WaylandDataControl::setSelection(device_, source);
  bool made = false;
  WaylandConnection::Sync sync(*connection_, [&] { made = true; });
  pumpUntil([&] { return made; });
}

void TestSource::send(void* data, wl_proxy*, const char* mimeType, std::int32_t fd) {
  auto* self = static_cast<TestSource*>(data);
  const QByteArray type(mimeType);
  ++self->requests_[type];
  const auto target = std::find_if(self->targets_.begin(), self->targets_.end(),
                                   [&](const Target& t) { return t.mimeType == type; });
  if (self->held_.contains(type)) return self->heldFds_.push_back(fd);
  if (target == self->targets_.end()) return void(close(fd));
  if (type != self->dying_) return WaylandPipeWriter::start(fd, target->data, &self->writers_);
  // Small enough for the pipe to take at once. The connection goes before
  // the pipe closes, as when a program crashes; not from within its own
  // dispatch, though.
  [[maybe_unused]] const ssize_t written = write(fd, target->data.constData(), target->data.size() / 2);
  self->heldFds_.push_back(fd);
  QTimer::singleShot(0, &self->writers_, [self] { self->quit(); });
}

void TestSource::quit() {
  if (source_) WaylandDataControl::destroy(source_);
  if (device_) WaylandDataControl::destroy(device_);
  source_ = device_ = nullptr;
  dataControl_.reset();
  connection_.reset();
  for (int fd : heldFds_) close(fd);
  heldFds_.clear();
}

std::optional<QByteArray> wlPaste(const QByteArray& mimeType) {
  return runWlPaste({"--no-newline", "--type", QString::fromUtf8(mimeType)});
}

std::optional<QByteArray> wlPasteTypes() { return runWlPaste({"--list-types"}); }

}  // namespace tuckshelf::wltest
