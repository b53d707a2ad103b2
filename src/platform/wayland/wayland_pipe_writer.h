#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace tuckshelf {

// Writes bytes into a pipe another program reads, from the event loop,
// and closes it when done, or when the reader has taken nothing for a
// while. Deletes itself when finished, and goes with `parent` at the latest.
class WaylandPipeWriter : public QObject {
 public:
  // Takes `fd` over.
  static void start(int fd, QByteArray data, QObject* parent);

 private:
  WaylandPipeWriter(int fd, QByteArray data, QObject* parent);
  ~WaylandPipeWriter() override;
  void writeSome();
  void finish();

  int fd_;
  QByteArray data_;
  qsizetype written_ = 0;
  QSocketNotifier writable_;
  QTimer deadline_;
};

}  // namespace tuckshelf
