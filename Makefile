# Entry points; CMake presets do the work.
PRESET ?= default
JOBS ?= $(shell nproc)

.PHONY: deps build demo test test-asan test-tsan bench format clean

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

bench: build
	./bench/run.sh

format:
	find track export cli tools tests bench protocol serial sim app -name '*.cpp' -o -name '*.h' 2>/dev/null | xargs clang-format -i

clean:
	rm -rf build out
