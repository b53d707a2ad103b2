#!/bin/sh
# What `make fuzz` needs beyond the build: clang and its runtime libraries,
# which hold libFuzzer and the sanitizers.
exec "$(dirname "$0")/install-deps.sh" clang-14 libclang-rt-14-dev
