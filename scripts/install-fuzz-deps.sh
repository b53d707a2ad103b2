#!/bin/sh
# Installs what `make fuzz` needs beyond the build: clang and its runtime
# libraries, which hold libFuzzer and the sanitizers. Only missing packages
# are installed, so a prepared machine pays nothing.
set -e
PACKAGES="clang-14 libclang-rt-14-dev"

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
