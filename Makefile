# Gridlark: the two set-up commands.
#   make run   installs what is missing, builds the program only, starts it on the bundled
#              sample session
#   make test  installs what is missing, builds, runs every test (then once more under
#              AddressSanitizer and UndefinedBehaviorSanitizer, which build only what the tests run)
#   make test-fast  the ci configuration only: builds it and runs its tests
#   make install    builds the release configuration's program and installs it under PREFIX
#                   (default /usr/local, through sudo when PREFIX is not writable);
#                   make uninstall removes what it placed
#   make package    builds the Debian package build/release/package/gridlark_<version>_<arch>.deb
#                   and checks that it holds what make install places
#   make fuzz  builds the fuzz preset and runs every fuzz target for FUZZ_SECONDS (default 60)
#              each; new inputs and findings stay in build/fuzz/fuzz-runs/
#   make tsan  builds the tsan preset (ThreadSanitizer, no GUI) and runs the plain C++ libraries'
#              tests under it; not part of make test
JOBS ?= $(shell nproc)
SAMPLE ?= resources/samples/sample.gld
TEST_TIMEOUT ?= 300
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
# Installing into a folder the user cannot write goes through sudo (unless already root).
SUDO = $(shell if [ "$$(id -u)" -eq 0 ] || [ -w "$(PREFIX)" ]; then :; else echo sudo; fi)

.PHONY: run test deps build build-ci build-asan bench fuzz clean
.PHONY: build-app test-fast build-release install uninstall package

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

build-app: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS) --target gridlark

run: build-app
	@if [ -f "$(SAMPLE)" ]; then build/dev/app/gridlark "$(SAMPLE)"; else build/dev/app/gridlark; fi

build-ci: deps
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

test: build-ci build-asan
	QT_QPA_PLATFORM=offscreen ctest --test-dir build/ci --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)
	QT_QPA_PLATFORM=offscreen ctest --test-dir build/asan --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)

test-fast: build-ci
	QT_QPA_PLATFORM=offscreen ctest --test-dir build/ci --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)

build-release: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target gridlark

install: build-release
	$(SUDO) cmake --install build/release --prefix "$(PREFIX)"

uninstall:
	$(SUDO) cmake -DMANIFEST=build/release/install_manifest.txt -DPREFIX="$(PREFIX)" -P cmake/Uninstall.cmake

package: build-release
	scripts/package build/release

bench: deps
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && "$$b" 2>/dev/null; done

FUZZ_TARGETS := $(notdir $(basename $(wildcard fuzz/*.cmake)))

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	fuzz/run_fuzz.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Every report stops its test (halt_on_error); a lock-order report shows both acquisitions.
# The suppressions list holds only third-party libraries' own reports.
TSAN_OPTIONS_MAKE = halt_on_error=1 second_deadlock_stack=1 suppressions=$(CURDIR)/scripts/tsan-suppressions.txt

.PHONY: tsan build-tsan
build-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)

tsan: build-tsan
	TSAN_OPTIONS="$(TSAN_OPTIONS_MAKE)" ctest --test-dir build/tsan --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)

clean:
	rm -rf build
