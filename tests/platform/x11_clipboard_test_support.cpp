#include "x11_clipboard_test_support.h"

#include <signal.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace tuckshelf::pasteboard_test {

std::unique_ptr<XclipOwner> XclipOwner::start(const QByteArray& data, const QByteArray& target) {
  std::unique_ptr<XclipOwner> owner(new XclipOwner);
  if (!owner->input_.open() || owner->input_.write(data) != data.size() || !owner->input_.flush())
    return nullptr;
  QStringList arguments = {"-quiet", "-selection", "clipboard"};
  if (!target.isEmpty()) arguments << "-t" << QString::fromUtf8(target);
  arguments << "-i" << owner->input_.fileName();
  owner->process_.setStandardOutputFile(QProcess::nullDevice());
  owner->process_.setStandardErrorFile(QProcess::nullDevice());
  owner->process_.start("xclip", arguments);
  if (!owner->process_.waitForStarted(5000)) return nullptr;
  return owner;
}

XclipOwner::~XclipOwner() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.kill();  // SIGKILL also ends a stopped process
  process_.waitForFinished(5000);
}

void XclipOwner::pause() { ::kill(pid_t(process_.processId()), SIGSTOP); }

void XclipOwner::resume() { ::kill(pid_t(process_.processId()), SIGCONT); }

std::optional<QByteArray> readClipboardWithXclip(const QByteArray& target) {
  QProcess xclip;
  QStringList arguments = {"-o", "-selection", "clipboard"};
  if (!target.isEmpty()) arguments << "-t" << QString::fromUtf8(target);
  xclip.setStandardErrorFile(QProcess::nullDevice());
  xclip.start("xclip", arguments);
  QByteArray output;
  QObject::connect(&xclip, &QProcess::readyReadStandardOutput,
                   [&] { output += xclip.readAllStandardOutput(); });
  const bool finished =
      pumpUntil([&] { return xclip.state() == QProcess::NotRunning; }, std::chrono::seconds(10));
  if (!finished) {
    xclip.kill();
    xclip.waitForFinished(5000);
    return std::nullopt;
  }
  output += xclip.readAllStandardOutput();
  if (xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0) return std::nullopt;
  return output;
}

QByteArray encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

}  // namespace tuckshelf::pasteboard_test
