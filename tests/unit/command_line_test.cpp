#include <gtest/gtest.h>

#include "app/backend_choice.h"
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
           {{"--open"}, Action::open, ""},
           {{"--open", "--quit"}, Action::error, "--open"},
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

// Which backend runs, what it says, and which probes it needed.
TEST(BackendChoice, NativeWhereOfferedElseX11WithAReason) {
  const CompositorOffer full{true, ""}, noLayerShell{true, "zwlr_layer_shell_v1"}, unreachable{false, ""};
  struct Case {
    std::optional<std::string> platform;
    bool wayland;
    CompositorOffer offer;
    bool x11;
    std::optional<BackendKind> kind;
    const char* says;
  };
  using K = BackendKind;
  for (const Case& c : std::vector<Case>{
           {{}, true, full, true, K::wayland, ""},
           {{}, true, noLayerShell, true, K::x11, "the compositor offers no zwlr_layer_shell_v1; running on X11"},
           {{}, true, unreachable, true, K::x11, "cannot reach the Wayland compositor; running on X11"},
           {{}, true, noLayerShell, false, {}, "zwlr_layer_shell_v1, and no X display to run on (DISPLAY=unset)"},
           {{}, false, full, true, K::x11, ""},  // an X session: never asks the compositor
           {{}, false, full, false, {}, "no X display to run on (DISPLAY=unset)"},
           {"xcb", true, full, true, K::x11, ""},
           {"xcb", true, full, false, {}, "no X display"},
           {"wayland", false, full, true, K::wayland, ""},
           {"wayland", true, noLayerShell, true, {}, "offers no zwlr_layer_shell_v1; cannot run on Wayland"},
           {"wayland;xcb", true, noLayerShell, true, K::x11, ""},
           {"offscreen", true, full, true, {}, "not offscreen"}}) {
    int probes = 0;
    const BackendChoice choice = chooseBackend(
        BackendRequest{c.platform, c.wayland, ""}, [&] { return ++probes, c.offer; }, [&] { return c.x11; });
    const std::string label = c.platform.value_or("(none)") + (c.wayland ? " wayland" : "") + (c.x11 ? " x11" : "");
    EXPECT_EQ(choice.kind, c.kind) << label;
    EXPECT_NE(choice.note.find(c.says), std::string::npos) << label << ": " << choice.note;
    if (!*c.says) {
      EXPECT_EQ(choice.note, "") << label;
    }
    if (!c.wayland && !c.platform) {
      EXPECT_EQ(probes, 0) << label;
    }
  }
}

}  // namespace
}  // namespace tuckshelf
