# Wraps CMake: `make test` runs every test under the sanitizers, `make run` runs the demo.
JOBS ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all test build-test bench fuzz release clean

all: build-test

build/test/build.ninja:
	cmake -S . -B build/test $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON \
	  -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer"

build-test: build/test/build.ninja
	cmake --build build/test -j $(JOBS)

test: build-test
	cd build/test && ctest --output-on-failure -j $(JOBS)

build/bench/build.ninja:
	cmake -S . -B build/bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF -DVANTREL_BENCH=ON

bench: build/bench/build.ninja
	cmake --build build/bench -j $(JOBS)
	for b in build/bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf build
