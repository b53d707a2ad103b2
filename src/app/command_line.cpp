#include "app/command_line.h"

#include <QCommandLineParser>

namespace tuckshelf {
namespace {

const QString kUsage = QStringLiteral("usage: tuckshelf [--open | --clear | --quit | --help | --version]");

// Qt's own options that take a value; those that take none are flags.
const char* const kQtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                       "display",  "qwindowgeometry",    "qwindowicon",   "qwindowtitle",
                                       "style",    "stylesheet",         "session",       "name",
                                       "title",    "geometry"};
const char* const kQtFlags[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};

QString helpText() {
  return QStringLiteral(
             "Tuckshelf keeps the last five things you copied at the top centre of the\n"
             "screen; push the pointer into the top edge to see them.\n\n") +
         kUsage + QStringLiteral(
                      "\n\n"
                      "  --open     open the list for the keyboard (bind it to a shortcut)\n"
                      "  --clear    empty the history (through the running copy, if any)\n"
                      "  --quit     ask the copy running on this display to quit\n"
                      "  --help     show this help\n"
                      "  --version  show the version\n\n"
                      "Qt's own options, such as -platform xcb, are accepted too.\n");
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  // Qt's options come with one dash; ours with two. Both read as words.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  const QCommandLineOption clear(QStringLiteral("clear"));
  const QCommandLineOption quit(QStringLiteral("quit"));
  const QCommandLineOption open(QStringLiteral("open"));
  parser.addOptions({help, version, clear, quit, open});
  for (const char* name : kQtValueOptions) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : kQtFlags) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }

  const auto error = [](const QString& what) {
    return CommandLine{CommandLine::Action::error, QStringLiteral("tuckshelf: %1\n%2\n").arg(what, kUsage)};
  };
  if (!parser.parse(arguments)) return error(parser.errorText());
  if (!parser.positionalArguments().isEmpty())
    return error(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
  const int actions = int(parser.isSet(help)) + int(parser.isSet(version)) + int(parser.isSet(clear)) +
                      int(parser.isSet(quit)) + int(parser.isSet(open));
  if (actions > 1) return error(QStringLiteral("give one of --open, --clear, --quit, --help and --version"));
  if (parser.isSet(help)) return {CommandLine::Action::help, helpText()};
  if (parser.isSet(version))
    return {CommandLine::Action::version, QStringLiteral("tuckshelf %1\n").arg(QStringLiteral(TUCKSHELF_VERSION))};
  if (parser.isSet(clear)) return {CommandLine::Action::clear, {}};
  if (parser.isSet(quit)) return {CommandLine::Action::quit, {}};
  if (parser.isSet(open)) return {CommandLine::Action::open, {}};
  return {};
}

}  // namespace tuckshelf
