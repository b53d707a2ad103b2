#!/bin/sh
# Runs the program on the current X display; without one, takes the tour
# on a virtual display instead.
if [ -z "$DISPLAY" ]; then
  echo "No X display: taking the tour on a virtual display instead."
  exec python3 "$(dirname "$0")/tour.py" "$1"
fi
exec "$1"
