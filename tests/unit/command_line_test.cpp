#include <gtest/gtest.h>

#include "app/command_line.h"

namespace tuckshelf {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, OurOptionsQtsOwnAndMistakes) {
  struct Case { QStringList args; Action action; const char* says; };
  for (const Case& c : std::vector<Case>{
           {{}, Action::run, ""},
           {{"-platform", "xcb", "-style", "fusion", "-reverse"}, Action::run, ""},  // left to Qt
           {{"--help"}, Action::help, "--quit"},
           {{"-h"}, Action::help, "--clear"},
           {{"--version"}, Action::version, "tuckshelf 0."},
           {{"--clear"}, Action::clear, ""},
           {{"--quit", "-platform", "xcb"}, Action::quit, ""},
           {{"--frobnicate"}, Action::error, "'frobnicate'"},
           {{"stray"}, Action::error, "'stray'"},
           {{"--quit", "--clear"}, Action::error, "one of"},
           {{"-platform"}, Action::error, "platform"}}) {
    const CommandLine parsed = parseCommandLine(QStringList{"tuckshelf"} + c.args);
    EXPECT_EQ(parsed.action, c.action) << c.args.join(' ').toStdString();
    EXPECT_TRUE(parsed.text.contains(QString::fromUtf8(c.says))) << parsed.text.toStdString();
    if (c.action == Action::error) {
      EXPECT_TRUE(parsed.text.startsWith("tuckshelf: ") && parsed.text.contains("usage: tuckshelf"));
    }
  }
}

}  // namespace
}  // namespace tuckshelf
