# Wraps CMake: `make test` installs what is missing, then runs every test under the sanitizers.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps test build-test bench fuzz release run clean

all: build-test

# Installs the Debian packages the build needs; does nothing when they are all present.
deps:
	tools/install-deps

build/test/build.ninja:
	cmake -S . -B build/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer"

build-test: build/test/build.ninja
	cmake --build build/test -j $(JOBS)

test: deps
	$(MAKE) build-test
	cd build/test && ctest --output-on-failure -j $(JOBS)

build/bench/build.ninja:
	cmake -S . -B build/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF -DVANTREL_BENCH=ON

# Runs every benchmark program to the end (and the instruction count when valgrind is present),
# then fails naming those that missed a goal.
bench: deps build/bench/build.ninja
	cmake --build build/bench -j $(JOBS)
	@missed=""; \
	for b in build/bench/bench/bench_*; do echo "== $$b"; $$b || missed="$$missed $${b##*/}"; done; \
	if command -v valgrind >/dev/null; then echo "== tools/bench-draw-instructions"; \
	  tools/bench-draw-instructions || missed="$$missed bench-draw-instructions"; \
	  echo "== tools/bench-duplication-instructions"; \
	  tools/bench-duplication-instructions || missed="$$missed bench-duplication-instructions"; \
	  echo "== tools/bench-inventory-instructions"; \
	  tools/bench-inventory-instructions || missed="$$missed bench-inventory-instructions"; fi; \
	if [ -n "$$missed" ]; then echo "missed their goals:$$missed"; exit 1; fi

FUZZ_SECONDS ?= 60

build/fuzz/build.ninja:
	cmake -S . -B build/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF -DVANTREL_FUZZ=ON \
	  -DVANTREL_SANITIZE=ON -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16 \
	  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fno-omit-frame-pointer"

# Each fuzzer runs FUZZ_SECONDS on a scratch corpus seeded from fuzz/corpus/<target>.
fuzz: deps build/fuzz/build.ninja
	cmake --build build/fuzz -j $(JOBS)
	for f in build/fuzz/fuzz/fuzz_*; do n=$${f##*/fuzz_}; mkdir -p build/fuzz/corpus/$$n; \
	  echo "== $$n"; $$f -max_total_time=$(FUZZ_SECONDS) -malloc_limit_mb=256 \
	  build/fuzz/corpus/$$n fuzz/corpus/$$n || exit 1; done

build/release/build.ninja:
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF

# The demo program, optimised, without tests or benchmarks.
release: deps build/release/build.ninja
	@cmake --build build/release -j $(JOBS) --target Halcyrendo || { \
	  echo "Halcyrendo was not built; the configure step names any classes its form still lacks:"; \
	  cmake -S . -B build/release 2>&1 | grep Halcyrendo; exit 1; }

# Starts the demo: a window on a desktop; without a display (or with HEADLESS=1) 60 frames off
# screen, saved as build/release/halcyrendo.png.
HEADLESS ?=
run: release
	@if [ -n "$(HEADLESS)" ] || { [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; }; then \
	  VANTREL_HEADLESS=1 VANTREL_SCREENSHOT=build/release/halcyrendo.png build/release/Halcyrendo; \
	else \
	  build/release/Halcyrendo; \
	fi

clean:
	rm -rf build
