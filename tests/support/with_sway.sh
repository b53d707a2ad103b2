#!/bin/sh
# Runs a command as a client of a private headless sway and stops the
# compositor afterwards. sway refuses root, so under root it runs as
# nobody; the command keeps the caller's user and a runtime directory of
# its own, and reaches the compositor's socket by absolute path.
# Usage: with_sway.sh COMMAND [ARGS...]
set -u
base=$(mktemp -d /tmp/tuckshelf-sway.XXXXXX)
chmod 0755 "$base"
mkdir -m 0700 "$base/server" "$base/client"
cat >"$base/config" <<CONFIG
output HEADLESS-1 mode 1920x1080 pos 0 0
xwayland disable
CONFIG
chmod 0644 "$base/config"

as_server=""
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$base/server"
  as_server="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
env -i PATH=/usr/bin:/bin HOME="$base/server" XDG_RUNTIME_DIR="$base/server" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  $as_server sway -c "$base/config" >"$base/sway.log" 2>&1 &
sway_pid=$!
trap 'kill $sway_pid 2>/dev/null; wait $sway_pid 2>/dev/null; rm -rf "$base"' EXIT INT TERM

i=0
until [ -S "$base/server/wayland-1" ] && ls "$base"/server/sway-ipc.*.sock >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 200 ] || ! kill -0 $sway_pid 2>/dev/null; then
    echo "with_sway: sway did not start" >&2; cat "$base/sway.log" >&2; exit 1
  fi
  sleep 0.05
done

unset DISPLAY
WAYLAND_DISPLAY="$base/server/wayland-1" SWAYSOCK=$(ls "$base"/server/sway-ipc.*.sock) \
  XDG_RUNTIME_DIR="$base/client" QT_QPA_PLATFORM=wayland "$@"
