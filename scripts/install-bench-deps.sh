#!/bin/sh
# What `make bench` needs beyond the build: CopyQ, the peer it is compared
# with (with the plugins that let it keep images), and the tools that drive
# both programs (python3-xlib: the XTEST and DAMAGE probes in bench/;
# libxcb-xtest0-dev: bench_pointer_motion, the 1000 Hz pointer mover).
exec "$(dirname "$0")/install-deps.sh" copyq copyq-plugins xvfb xclip xdotool x11-utils imagemagick python3 python3-xlib libxcb-xtest0-dev
