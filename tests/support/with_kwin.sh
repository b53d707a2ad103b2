#!/bin/sh
# Runs a command as a client of a private KWin (virtual outputs, on a
# private session bus) and stops the compositor afterwards. KWin starts
# from a copy of its binary: the packaged one has file capabilities, which
# a program outside a real session may not use.
# Usage: with_kwin.sh COMMAND [ARGS...]
set -u
base=$(mktemp -d /tmp/tuckshelf-kwin.XXXXXX)
mkdir -m 0700 "$base/server" "$base/client" "$base/home"
cp /usr/bin/kwin_wayland "$base/kwin_wayland"
dbus-daemon --session --nofork --print-address=3 3>"$base/bus" >/dev/null 2>&1 &
bus_pid=$!
kwin_pid=""
trap 'kill $kwin_pid $bus_pid 2>/dev/null; wait $kwin_pid $bus_pid 2>/dev/null; rm -rf "$base"' EXIT INT TERM
i=0
until [ -s "$base/bus" ]; do
  i=$((i + 1))
  [ $i -gt 200 ] && { echo "with_kwin: no session bus" >&2; exit 1; }
  sleep 0.05
done
env -i PATH=/usr/bin:/bin HOME="$base/home" XDG_RUNTIME_DIR="$base/server" \
  DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$base/bus")" \
  "$base/kwin_wayland" --virtual --socket wayland-kwin --width 1920 --height 1080 \
  --no-lockscreen --no-global-shortcuts --no-kactivities >"$base/kwin.log" 2>&1 &
kwin_pid=$!

i=0
until [ -S "$base/server/wayland-kwin" ]; do
  i=$((i + 1))
  if [ $i -gt 200 ] || ! kill -0 $kwin_pid 2>/dev/null; then
    echo "with_kwin: KWin did not start" >&2; cat "$base/kwin.log" >&2; exit 1
  fi
  sleep 0.05
done

unset DISPLAY
WAYLAND_DISPLAY="$base/server/wayland-kwin" XDG_RUNTIME_DIR="$base/client" TMPDIR="$base/client" \
  QT_QPA_PLATFORM=wayland "$@"
