# Tuckshelf: `make run` runs the program, `make test` builds and runs every test.
# Both install the Debian packages they need first.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build build-asan run test test-newest bench bench-newest install package clean fuzz

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTUCKSHELF_SANITIZE=ON -DTUCKSHELF_BENCH=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)/tuckshelf

# The sanitizer build runs the logic, widget and platform tests; the plain
# build runs everything, the real program under Xvfb included, and its
# summary comes last.
test: build build-asan
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp ctest --output-on-failure -L 'unit|widgets|platform|leak' -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same on Debian testing, the newest Qt and compositors, in a chroot
# outside the checkout (scripts/lab.sh; not part of `make test` or CI).
test-newest:
	@scripts/lab.sh test

bench-newest:
	@scripts/lab.sh bench

# `make bench` prints the in-process figures, then runs the real program
# beside CopyQ, each on private Xvfb servers with fresh homes, and ends with
# a table of both, each figure beside its target (bench/run_bench.py; about
# twenty-five minutes; the figures on headless sway, KWin and GNOME Shell
# among them).
bench: build
	@scripts/install-bench-deps.sh
	@echo "== bench_history"; $(BUILD)/bench/bench_history
	@python3 bench/run_bench.py --build $(BUILD)

# `make fuzz` builds the libFuzzer targets of tests/fuzz/ with clang (ASan
# and UBSan) into FUZZ_BUILD and runs each for FUZZ_RUNS runs or
# FUZZ_SECONDS seconds, whichever ends first; a finding stops it.
FUZZ_BUILD   ?= build-fuzz
FUZZ_RUNS    ?= 10000000
FUZZ_SECONDS ?= 1800

fuzz: deps
	@scripts/install-fuzz-deps.sh
	test -f $(FUZZ_BUILD)/build.ninja || CXX=clang++-14 cmake -S tests/fuzz -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	tests/fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_RUNS) $(FUZZ_SECONDS)

# `make install` copies the program, its menu and autostart entries, icon,
# metadata and manual page below PREFIX (and DESTDIR, for staging); with
# PREFIX=/usr the autostart entry goes to /etc/xdg/autostart. The umask keeps
# the directories it creates (and those in the package) readable by all.
PREFIX ?= /usr/local

install: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --target tuckshelf -j $(JOBS)
	umask 022 && DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# `make package` builds $(BUILD)/tuckshelf_<version>-<revision>_<arch>.deb.
package: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --target tuckshelf -j $(JOBS)
	cd $(BUILD) && umask 022 && cpack --config CPackConfig.cmake -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
