# Entry points; CMake presets do the work.
PRESET ?= default
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps build demo test test-asan test-tsan fuzz bench format clean test-windows \
        package package-deb package-windows test-package test-size mutants

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

# ThreadSanitizer only matters where threads meet: the worker, the link, the command line's
# download, the window with its worker, the tile fetches and the geotagging threads. Only those
# tests are built and run.
TSAN_TARGETS ?= protocol_tests link_tests cli_tests sync_tests window_link_tests qt_window_tests \
                geotag_tests qt_map_tests qt_geotag_dialog_tests
TSAN_LABELS ?= link|protocol|threaded|qt
# The program under window managers is not one of those targets (ASan runs it).
TSAN_SKIP_LABELS ?= window

test-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target $(TSAN_TARGETS)
	ctest --preset tsan -j $(JOBS) -L '$(TSAN_LABELS)' -LE '$(TSAN_SKIP_LABELS)'

# Each fuzz target for FUZZ_SECONDS on a scratch copy of its seed corpus.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS) --target fuzzers
	FUZZ_SECONDS=$(FUZZ_SECONDS) ./fuzz/run.sh build/fuzz

# Test lines against code lines, per test folder; fails above a third.
test-size:
	./tools/test-size

# Injects each fault of tools/mutants.list into a scratch copy and reports which tests catch it.
mutants: deps
	./tools/mutants --report build/mutants-report.md

bench: build
	./bench/run.sh

format:
	find track export archive cli tools tests bench protocol serial sim app platform link fuzz -name '*.cpp' -o -name '*.h' 2>/dev/null | xargs clang-format -i

clean:
	rm -rf build out

# Windows programs cross-built with MinGW-w64, their tests run under Wine.
test-windows:
	./scripts/test-windows.sh

# Packages in out/package: the .deb from the default build (CPack) and, from the Windows cross
# build, a per-user installer (NSIS) and a zip. Only the programs and their data are built.
PACKAGE_DIR := $(CURDIR)/out/package

package: package-deb package-windows

package-deb: deps
	./scripts/install-package-deps.sh
	cmake --preset default
	cmake --build --preset default -j $(JOBS) --target quorvel quorvel-cli quorvel-sim quorvel_install_data
	cd build/default && cpack -G DEB -B cpack
	mkdir -p $(PACKAGE_DIR)
	cp build/default/cpack/quorvel_*.deb $(PACKAGE_DIR)/

package-windows:
	./scripts/install-windows-deps.sh
	cmake --preset windows -DQUORVEL_PACKAGE_DIR=$(PACKAGE_DIR)
	cmake --build --preset windows -j $(JOBS) --target windows_installer

# The packages themselves: the .deb unpacked and checked (lintian, the desktop entry, AppStream,
# the installed programs), the installer run silently under Wine and then uninstalled.
test-package: package
	./tests/package/deb_test.sh $(PACKAGE_DIR)
	./tests/package/windows_installer_test.sh $(PACKAGE_DIR)
