#!/bin/sh
# Installs what `make bench` needs beyond the build: CopyQ as the peer it
# is compared with, and the tools that drive both programs. Only missing
# packages are installed, so a prepared machine pays nothing.
set -e
PACKAGES="copyq xvfb xclip xdotool x11-utils imagemagick procps python3"

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
