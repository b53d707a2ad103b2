// The Wayland twin of clip_owner: owns the clipboard for the end-to-end
// tests through data-control, with the program's own source code.
//
// Each line on stdin is a JSON array [text, hint, stop, save]: the text is
// offered as text/plain;charset=utf-8 and, with a hint,
// x-kde-passwordManagerHint beside it; "owned" on stdout says the
// compositor has made the change. With stop the tool then stops itself
// before it answers anyone: a hung source. With save it quits: Wayland has
// no clipboard manager to hand the contents to, so this is an owner quitting.
//
//   wl_clip_owner --serve MIME
//     Serves all of stdin as MIME until another program takes the clipboard
//     or a signal ends the tool: what wl-copy does with what it reads from
//     stdin, but without the folder in /tmp that wl-copy leaves behind when
//     it is ended.
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>

#include "platform/wayland/wayland_connection.h"
#include "platform/wayland/wayland_data_control.h"
#include "platform/wayland/wayland_selection_source.h"

using namespace tuckshelf;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  WaylandConnection connection;
  WaylandDataControl dataControl(connection);
  if (!dataControl.isValid()) return 1;
  // Offers of others' copies are not read, only let go once named (not
  // before: libwayland would leak them).
  const auto drop = [](void*, wl_proxy*, wl_proxy* offer) {
    if (offer) WaylandDataControl::destroy(offer);
  };
  static const WaylandDataControl::DeviceListener ignoreOffers = {[](void*, wl_proxy*, wl_proxy*) {}, drop,
                                                                  [](void*, wl_proxy*) {}, drop};
  wl_proxy* device = dataControl.createDevice(&ignoreOffers, nullptr);
  QObject writes;
  std::unique_ptr<WaylandSelectionSource> source;
  std::unique_ptr<WaylandConnection::Sync> made;
  if (argc == 3 && QByteArray(argv[1]) == "--serve") {
    QFile in;
    in.open(stdin, QIODevice::ReadOnly);
    source = std::make_unique<WaylandSelectionSource>(
        dataControl, std::vector<WaylandSelectionSource::Offer>{{argv[2], in.readAll()}}, &writes);
    source->onCancelled = [] { QCoreApplication::quit(); };
    WaylandDataControl::setSelection(device, source->get());
    connection.flush();
    const int status = app.exec();
    source.reset();
    WaylandDataControl::destroy(device);
    return status;
  }

  // One line at a time: the tests wait for each answer before they write the next.
  QFile in;
  in.open(stdin, QIODevice::ReadOnly);
  QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    const QJsonArray line = QJsonDocument::fromJson(in.readLine()).array();
    if (line.isEmpty()) return QCoreApplication::quit();
    std::vector<WaylandSelectionSource::Offer> offers = {{"text/plain;charset=utf-8", line.at(0).toString().toUtf8()}};
    if (line.at(1).isString()) offers.push_back({"x-kde-passwordManagerHint", line.at(1).toString().toUtf8()});
    auto next = std::make_unique<WaylandSelectionSource>(dataControl, std::move(offers), &writes);
    WaylandDataControl::setSelection(device, next->get());
    source = std::move(next);
    made = std::make_unique<WaylandConnection::Sync>(connection, [stop = line.at(2).toBool(), save = line.at(3).toBool()] {
      std::puts("owned");
      std::fflush(stdout);
      if (stop) raise(SIGSTOP);  // a source that never answers
      if (save) QCoreApplication::quit();
    });
  });
  const int status = app.exec();
  made.reset();
  source.reset();
  WaylandDataControl::destroy(device);
  return status;
}
