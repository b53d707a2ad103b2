#!/bin/sh
# Runs a command on a private Xvfb and stops the server afterwards.
# Usage: with_xvfb.sh COMMAND [ARGS...]
set -u
reported=$(mktemp)
# Xvfb picks a free display number and writes it once it accepts clients.
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$reported" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null; rm -f "$reported"' EXIT INT TERM

i=0
until [ -s "$reported" ]; do
  i=$((i + 1))
  if [ $i -gt 200 ] || ! kill -0 $xvfb_pid 2>/dev/null; then echo "with_xvfb: Xvfb did not start" >&2; exit 1; fi
  sleep 0.05
done
display=$(head -n1 "$reported")

DISPLAY=":$display" QT_QPA_PLATFORM=xcb "$@"
