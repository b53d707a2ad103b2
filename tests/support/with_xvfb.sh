#!/bin/sh
# Runs a command on a private Xvfb display and stops the server afterwards.
# Usage: with_xvfb.sh COMMAND [ARGS...]
set -u
display=""
for n in $(seq 100 400); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "with_xvfb: no free display" >&2; exit 1; }

Xvfb ":$display" -screen 0 1920x1080x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null' EXIT INT TERM

# Wait for the server to accept clients, up to 10 s.
i=0
until DISPLAY=":$display" xdpyinfo >/dev/null 2>&1; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 $xvfb_pid 2>/dev/null; then echo "with_xvfb: Xvfb did not start" >&2; exit 1; fi
  sleep 0.1
done

DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
