#pragma once

#include <QString>
#include <QStringList>

namespace tuckshelf {

// What the command line asks for. Qt's own options (-platform, -display,
// -style and the like) are accepted and left to Qt.
struct CommandLine {
  enum class Action { run, help, version, clear, quit, open, error };
  Action action = Action::run;
  QString text;  // the help, the version line, or the error with a usage line
};

CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace tuckshelf
