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

# ThreadSanitizer only matters where threads meet: the worker, the link, the window with its
# worker. Only those tests are built and run.
TSAN_TARGETS ?= protocol_tests link_tests link_session_tests cli_link_tests window_link_tests \
                fault_matrix_tests stray_zero_tests qt_window_tests
TSAN_LABELS ?= link|protocol|threaded|qt

test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target $(TSAN_TARGETS)
	ctest --preset tsan -j $(JOBS) -L '$(TSAN_LABELS)'

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
