# Entry points; CMake presets do the work.
PRESET ?= default
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps build demo test test-asan test-tsan fuzz bench format clean test-windows

deps:
	./scripts/install-deps.sh

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)

demo: build
	./scripts/demo.sh

test: build
	ctest --preset $(PRESET) -j $(JOBS)

test-asan:
	$(MAKE) test PRESET=asan

test-tsan:
	$(MAKE) test PRESET=tsan

# Each fuzz target for FUZZ_SECONDS on a scratch copy of its seed corpus.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) ./fuzz/run.sh build/fuzz

bench: build
	./bench/run.sh

format:
	find track export cli tools tests bench protocol serial sim app -name '*.cpp' -o -name '*.h' 2>/dev/null | xargs clang-format -i

clean:
	rm -rf build out

# Windows programs cross-built with MinGW-w64, their tests run under Wine.
test-windows:
	./scripts/test-windows.sh
