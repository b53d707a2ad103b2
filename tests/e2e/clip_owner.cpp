// Owns CLIPBOARD for the end-to-end tests, with the program's own owner
// code, for what xclip cannot do: a text offered together with a password
// manager's hint, thousands of changes a minute from one process, and an
// owner that hangs without the program under test being held meanwhile.
//
// Each line on stdin is a JSON array [text, hint, stop, save, formats, hang]:
// the text is offered as UTF-8 and, with a hint, x-kde-passwordManagerHint
// beside it, and each of `formats` ({target: text}) too, but requests for
// the target `hang` are never answered;
// "owned" (or "refused") on stdout says the server has made the change.
// With stop the tool then stops itself before it answers anyone: a hung
// owner. With save it asks the clipboard manager to keep the text
// (SAVE_TARGETS), as a program about to quit does, and quits once answered.
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "platform/x11/x11_connection.h"
#include "platform/x11/x11_selection_atoms.h"
#include "platform/x11/x11_selection_owner.h"

using namespace tuckshelf;

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  X11Connection connection;
  if (!connection.isValid()) return 1;
  const X11SelectionAtoms atoms = X11SelectionAtoms::intern(connection.get());
  X11SelectionOwner owner(connection, atoms);
  xcb_atom_t hang = XCB_ATOM_NONE;
  const auto handling = connection.addEventHandler([&](const xcb_generic_event_t& event) {
    const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
    if ((event.response_type & 0x7f) == XCB_SELECTION_REQUEST && request.target != hang)
      owner.handleSelectionRequest(request);
    if ((event.response_type & 0x7f) == XCB_SELECTION_CLEAR) owner.disown();
    if ((event.response_type & 0x7f) == XCB_PROPERTY_NOTIFY)  // a reader took a chunk of a large format
      owner.handlePropertyNotify(reinterpret_cast<const xcb_property_notify_event_t&>(event));
    if ((event.response_type & 0x7f) == XCB_SELECTION_NOTIFY) QCoreApplication::quit();  // the manager answered
  });

  // One line at a time: the tests wait for each answer before they write the next.
  QFile in;
  in.open(stdin, QIODevice::ReadOnly);
  QSocketNotifier notifier(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    const QJsonArray line = QJsonDocument::fromJson(in.readLine()).array();
    if (line.isEmpty()) return QCoreApplication::quit();
    std::vector<X11SelectionOwner::Offer> offers = {
        {atoms.utf8String, atoms.utf8String, line.at(0).toString().toUtf8()}};
    if (line.at(1).isString()) offers.push_back({atoms.passwordManagerHint, atoms.passwordManagerHint,
                                                 line.at(1).toString().toUtf8()});
    const QJsonObject formats = line.at(4).toObject();
    for (auto format = formats.begin(); format != formats.end(); ++format) {
      const xcb_atom_t target = internAtom(connection.get(), format.key().toUtf8());
      offers.push_back({target, target, format.value().toString().toUtf8()});
    }
    if (line.at(5).isString()) hang = internAtom(connection.get(), line.at(5).toString().toUtf8());
    std::puts(owner.own(std::move(offers), connection.serverTime(std::chrono::seconds(5))) ? "owned" : "refused");
    std::fflush(stdout);
    if (line.at(2).toBool()) raise(SIGSTOP);  // an owner that never answers
    if (line.at(3).toBool())
      xcb_convert_selection(connection.get(), connection.window(), atoms.clipboardManager, atoms.saveTargets,
                            atoms.replyProperty, XCB_CURRENT_TIME);
    connection.flushSoon();
  });
  return app.exec();
}
