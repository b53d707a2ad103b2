#!/bin/sh
# Runs the program on the current X display.
if [ -z "$DISPLAY" ]; then
  echo "tuckshelf: no X display (DISPLAY is not set); run it inside an X11 session." >&2
  exit 1
fi
exec "$1"
