// A pointer device for a headless compositor with none, for the end-to-end
// tests and the benchmarks: wlroots' virtual pointer on sway, KWin's fake
// input on KWin, which takes keys too.
//
//   virtual_pointer
//     Adds the device, prints "ready" once the compositor has it, and keeps
//     it until stdin closes or a signal ends the tool. The seat then has a
//     pointer. On sway `swaymsg seat seat0 cursor ...` moves and clicks it;
//     on KWin the tool reads commands on stdin, one a line, and answers
//     each with "done" once the compositor has it:
//       move X Y    to (X, Y) in the compositor's global coordinates
//       by DX DY    by (DX, DY)
//       press / release    the left button
//       key CODE    presses and releases the key of evdev code CODE
//   virtual_pointer --rate HZ --seconds S --dx DX --dy DY     (either)
//     Moves it by (DX, DY) and back again, HZ steps a second for S seconds,
//     each step paced against an absolute deadline and flushed at once, so
//     that it ends where it began; prints the steps sent, the time taken
//     and the longest gap between two steps.
#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fake-input-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

struct Globals {
  wl_seat* seat = nullptr;
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
  org_kde_kwin_fake_input* fake = nullptr;
};

void announced(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto* globals = static_cast<Globals*>(data);
  if (!globals->seat && std::strcmp(interface, wl_seat_interface.name) == 0)
    globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
    globals->fake = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, version >= 4 ? 4 : 3));
}

void withdrawn(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {announced, withdrawn};

long long nanoseconds(const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; }

long long now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return nanoseconds(t);
}

// One command of stdin's for KWin's fake input; false if it is none.
bool perform(wl_display* display, org_kde_kwin_fake_input* fake, const char* line) {
  constexpr uint32_t kLeftButton = 0x110, kPressed = 1, kReleased = 0;
  double x = 0, y = 0;
  unsigned code = 0;
  if (std::sscanf(line, "key %u", &code) == 1 && org_kde_kwin_fake_input_get_version(fake) >= 4) {
    org_kde_kwin_fake_input_keyboard_key(fake, code, kPressed);
    org_kde_kwin_fake_input_keyboard_key(fake, code, kReleased);
  } else if (std::sscanf(line, "move %lf %lf", &x, &y) == 2)
    org_kde_kwin_fake_input_pointer_motion_absolute(fake, wl_fixed_from_double(x), wl_fixed_from_double(y));
  else if (std::sscanf(line, "by %lf %lf", &x, &y) == 2)
    org_kde_kwin_fake_input_pointer_motion(fake, wl_fixed_from_double(x), wl_fixed_from_double(y));
  else if (!std::strncmp(line, "press", 5) || !std::strncmp(line, "release", 7))
    org_kde_kwin_fake_input_button(fake, kLeftButton, line[0] == 'p' ? kPressed : kReleased);
  else
    return false;
  return wl_display_roundtrip(display) >= 0;
}

// Until stdin closes; the compositor's messages are read meanwhile, so
// that it never finds the tool's queue full.
int hold(wl_display* display, org_kde_kwin_fake_input* fake) {
  pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {wl_display_get_fd(display), POLLIN, 0}};
  char line[256];
  FILE* commands = fdopen(STDIN_FILENO, "r");
  for (;;) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if (fds[0].revents) {
      if (!std::fgets(line, sizeof line, commands)) return 0;
      const bool done = fake && perform(display, fake, line);
      std::puts(done ? "done" : "refused");
      std::fflush(stdout);
    }
    if (fds[1].revents && wl_display_dispatch(display) < 0) return 1;
  }
}

// Relative motion by (dx, dy) on whichever device the compositor gave.
struct Pointer {
  zwlr_virtual_pointer_v1* wlr = nullptr;
  org_kde_kwin_fake_input* fake = nullptr;
  void motion(double dx, double dy) const {
    if (fake) return org_kde_kwin_fake_input_pointer_motion(fake, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
    zwlr_virtual_pointer_v1_motion(wlr, uint32_t(now() / 1000000), wl_fixed_from_double(dx), wl_fixed_from_double(dy));
    zwlr_virtual_pointer_v1_frame(wlr);
  }
};

int move(wl_display* display, const Pointer& pointer, double rate, double seconds, double dx, double dy) {
  const long long period = (long long)(1e9 / rate), steps = (long long)(rate * seconds), start = now();
  long long last = start, longest = 0;
  for (long long i = 0; i < steps; ++i) {
    const long long deadline = start + i * period;
    const timespec at = {time_t(deadline / 1000000000LL), long(deadline % 1000000000LL)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
    const double sign = i % 2 ? -1 : 1;
    const long long t = now();
    pointer.motion(sign * dx, sign * dy);
    if (wl_display_flush(display) < 0) return std::perror("virtual_pointer: flush"), 1;
    if (i > 0 && t - last > longest) longest = t - last;
    last = t;
  }
  if (steps % 2) pointer.motion(-dx, -dy);  // back where it began
  if (wl_display_roundtrip(display) < 0) return 1;
  const double took = double(last - start) / 1e9;
  std::printf("steps %lld\nseconds %.3f\nrate %.1f\nlongest_gap_ms %.3f\n", steps, took,
              took > 0 ? double(steps - 1) / took : 0.0, double(longest) / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  double rate = 0, seconds = 0, dx = 0, dy = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    double* value = !std::strcmp(argv[i], "--rate")      ? &rate
                    : !std::strcmp(argv[i], "--seconds") ? &seconds
                    : !std::strcmp(argv[i], "--dx")      ? &dx
                    : !std::strcmp(argv[i], "--dy")      ? &dy
                                                         : nullptr;
    if (!value) return std::fprintf(stderr, "virtual_pointer: unknown option %s\n", argv[i]), 2;
    *value = std::atof(argv[i + 1]);
  }
  if (argc % 2 == 0 || (argc > 1 && (rate <= 0 || rate > 1e6 || seconds < 0)))
    return std::fprintf(stderr, "usage: virtual_pointer [--rate HZ --seconds S --dx DX --dy DY]\n"), 2;

  wl_display* display = wl_display_connect(nullptr);
  if (!display) return std::fprintf(stderr, "virtual_pointer: no Wayland display\n"), 1;
  Globals globals;
  wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, &globals);
  wl_display_roundtrip(display);
  if (!globals.manager && globals.fake) {  // KWin
    org_kde_kwin_fake_input_authenticate(globals.fake, "tuckshelf tests", "to drive the pointer");
    if (wl_display_roundtrip(display) < 0) return std::fprintf(stderr, "virtual_pointer: refused\n"), 1;
    if (rate > 0) return move(display, Pointer{nullptr, globals.fake}, rate, seconds, dx, dy);
    std::puts("ready");
    std::fflush(stdout);
    return hold(display, globals.fake);
  }
  if (!globals.manager)
    return std::fprintf(stderr, "virtual_pointer: neither zwlr_virtual_pointer_manager_v1 nor fake input\n"), 1;
  zwlr_virtual_pointer_v1* pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
  if (wl_display_roundtrip(display) < 0) return std::fprintf(stderr, "virtual_pointer: refused\n"), 1;
  if (rate > 0) return move(display, Pointer{pointer, nullptr}, rate, seconds, dx, dy);
  std::puts("ready");
  std::fflush(stdout);
  return hold(display, nullptr);
}
