#!/bin/sh
# Runs the program on the current desktop (Wayland or X11); without one,
# takes the tour on a virtual X display instead.
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
  echo "No desktop to run on: taking the tour on a virtual display instead."
  exec python3 "$(dirname "$0")/tour.py" "$1"
fi
exec "$1"
