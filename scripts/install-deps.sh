#!/bin/sh
# Installs the Debian packages that building, running and testing need,
# or the packages named as arguments, but only those that are missing, so a
# prepared machine pays nothing.
set -e
DEFAULT_PACKAGES="cmake ninja-build g++ pkg-config python3
qt6-base-dev libgl-dev libgtest-dev libgmock-dev
libxcb1-dev libxcb-xfixes0-dev libxcb-shape0-dev libxcb-xinput-dev libxcb-xkb-dev
libxkbcommon-dev libxkbcommon-x11-dev
xvfb xclip xdotool x11-xserver-utils x11-utils imagemagick procps
fonts-noto-color-emoji fonts-dejavu-core
dpkg-dev file desktop-file-utils appstream
libwayland-dev libwayland-bin wayland-protocols qt6-wayland
qt6-base-private-dev sway wl-clipboard grim xwayland wev
kwin-wayland plasma-wayland-protocols dbus
gnome-shell libglib2.0-bin
wtype at-spi2-core python3-pyatspi
python3-pyqt6 python3-gi gir1.2-gtk-3.0"

PACKAGES="${*:-$DEFAULT_PACKAGES}"
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
