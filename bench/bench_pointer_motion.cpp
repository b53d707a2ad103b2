// Moves the pointer the way a fast mouse does: relative XTEST motion at a
// steady rate, around a small circle, so that it ends where it began.
//
//   DISPLAY=:N bench_pointer_motion RATE SECONDS RADIUS [X Y]
//
// With X Y, the pointer first jumps (absolute motion) to the circle's start,
// RADIUS right of (X, Y), the circle's centre; without, the circle starts
// where the pointer is. Each step is about 2 px, so that none rounds to no
// motion at all. Steps are paced against absolute deadlines of the
// monotonic clock, and every 50th is followed by a round trip, so the X
// server has handled each move close to its time and none wait in a
// buffer. Prints the moves sent, the time they took, the rate, and the
// longest gap between two moves.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <numbers>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

double seconds(const timespec& t) { return double(t.tv_sec) + double(t.tv_nsec) / 1e9; }

timespec now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t;
}

timespec plusNs(timespec t, long long ns) {
  const long long total = t.tv_nsec + ns;
  t.tv_sec += time_t(total / 1000000000LL);
  t.tv_nsec = long(total % 1000000000LL);
  return t;
}

void roundTrip(xcb_connection_t* c) { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

void move(xcb_connection_t* c, xcb_window_t root, bool relative, int x, int y) {
  xcb_test_fake_input(c, XCB_MOTION_NOTIFY, relative ? 1 : 0, XCB_CURRENT_TIME, relative ? XCB_NONE : root,
                      std::int16_t(x), std::int16_t(y), 0);
  xcb_flush(c);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::fprintf(stderr, "usage: DISPLAY=:N %s RATE SECONDS RADIUS [X Y]\n", argv[0]);
    return 2;
  }
  const double rate = std::atof(argv[1]);
  const double duration = std::atof(argv[2]);
  const double radius = std::atof(argv[3]);
  if (rate <= 0 || duration <= 0 || radius < 1) {
    std::fprintf(stderr, "RATE, SECONDS and RADIUS must be positive (RADIUS at least 1 px)\n");
    return 2;
  }

  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "cannot reach the X display\n");
    return 1;
  }
  const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(c, &xcb_test_id);
  if (!xtest || !xtest->present) {
    std::fprintf(stderr, "the X server lacks XTEST\n");
    return 1;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  if (argc == 6) {
    move(c, root, false, int(std::lround(std::atof(argv[4]) + radius)), std::atoi(argv[5]));
    roundTrip(c);
  }

  const int perLap = std::max(8, int(2 * std::numbers::pi * radius / 2));
  const long long periodNs = std::llround(1e9 / rate);
  const long long moves = std::llround(rate * duration);
  // Positions relative to the start, rounded; each step is the difference
  // between two of them, so rounding never accumulates.
  long lastX = 0, lastY = 0;
  double longestGap = 0;
  timespec deadline = now();
  const timespec start = deadline;
  timespec previous = start;
  for (long long i = 1; i <= moves; ++i) {
    deadline = plusNs(deadline, periodNs);
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    const double angle = 2 * std::numbers::pi * double(i % perLap) / perLap;
    const long x = std::lround(radius * (std::cos(angle) - 1));
    const long y = std::lround(radius * std::sin(angle));
    move(c, root, true, int(x - lastX), int(y - lastY));
    lastX = x;
    lastY = y;
    if (i % 50 == 0) roundTrip(c);
    const timespec sent = now();
    longestGap = std::max(longestGap, seconds(sent) - seconds(previous));
    previous = sent;
  }
  roundTrip(c);
  const double took = seconds(now()) - seconds(start);
  std::printf("moves: %lld\n", moves);
  std::printf("seconds: %.3f\n", took);
  std::printf("rate: %.1f moves/s\n", double(moves) / took);
  std::printf("longest gap: %.2f ms\n", longestGap * 1000);
  std::printf("circle: %.0f px radius, %d moves a lap\n", radius, perLap);
  xcb_disconnect(c);
  return 0;
}
