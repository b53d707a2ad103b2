#!/bin/sh
# Installs what `make bench` needs beyond the build: CopyQ, the peer it is
# compared with (with the plugins it recommends, which let it keep images),
# and the tools that drive both programs (python3-xlib: the XTEST and
# DAMAGE probe of bench/bench_open_probe.py). Only missing packages are
# installed, so a prepared machine pays nothing.
set -e
PACKAGES="copyq copyq-plugins xvfb xclip xdotool x11-utils imagemagick python3 python3-xlib"

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
