# Gridlark: the two set-up commands.
#   make run   installs what is missing, builds, starts the program on the bundled sample session
#   make test  installs what is missing, builds, runs every test (then the plain C++ libraries
#              once more under AddressSanitizer and UndefinedBehaviorSanitizer)
#   make fuzz  builds the fuzz preset and runs every fuzz target for FUZZ_SECONDS (default 60)
#              each; new inputs and findings stay in build/fuzz/fuzz-runs/
JOBS ?= $(shell nproc)
SAMPLE ?= resources/samples/sample.gld
TEST_TIMEOUT ?= 300
FUZZ_SECONDS ?= 60

.PHONY: run test deps build build-ci build-asan bench fuzz clean

deps:
	@scripts/install-deps

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

run: build
	@if [ -f "$(SAMPLE)" ]; then build/dev/app/gridlark "$(SAMPLE)"; else build/dev/app/gridlark; fi

build-ci: deps
	cmake --preset ci
	cmake --build --preset ci -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

test: build-ci build-asan
	QT_QPA_PLATFORM=offscreen ctest --test-dir build/ci --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)
	ctest --test-dir build/asan --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)

bench: deps
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && "$$b" 2>/dev/null; done

FUZZ_TARGETS := $(notdir $(basename $(wildcard fuzz/*.cmake)))

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target $(FUZZ_TARGETS)
	fuzz/run_fuzz.sh build/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf build
