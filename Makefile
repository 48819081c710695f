# Front door: `make demo` and `make test` set up, build and run on a fresh machine.
SHELL := /bin/bash
DEB_PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev libsystemd-dev python3 zlib1g-dev libabsl-dev clang-format \
  pkg-config abigail-tools dpkg-dev file lintian \
  libcli11-dev libcpp-httplib-dev nlohmann-json3-dev python3-prometheus-client prometheus help2man \
  clang llvm-14 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64
PRESET_TESTS := test-dev test-asan test-release test-tsan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps maybe-deps configure build demo test $(PRESET_TESTS) bench fuzz fuzz-build fuzz-smoke coverage format format-check clean \
  package test-package test-examples abi-baseline test-windows build-win32

all: build

# Installs the Debian packages the build needs, when any is missing (root only).
deps:
	@missing=""; for p in $(DEB_PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -z "$$missing" ]; then echo "deps: all build packages present"; \
	elif [ "$$(id -u)" = 0 ]; then echo "deps: installing$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	else echo "deps: missing$$missing (run 'sudo make deps')"; exit 1; fi

# As root: installs what is missing. As another user: names what is missing and stops.
maybe-deps:
	@$(MAKE) --no-print-directory deps

configure: maybe-deps
	cmake --preset dev

build: configure
	cmake --build --preset dev -j $(JOBS)

# The demo needs the tool and the library only.
demo: configure
	cmake --build --preset dev -j $(JOBS) --target mvbasics-tool
	./build/dev/bin/mvbasics demo

# Every test in the debug build, under AddressSanitizer + UndefinedBehaviorSanitizer,
# and in the optimised build (faults that only optimisation shows); the thread tests
# under ThreadSanitizer.
$(PRESET_TESTS): test-%: maybe-deps
	cmake --preset $*
	cmake --build --preset $* -j $(JOBS)
	ctest --preset $*

test: format-check $(PRESET_TESTS) test-examples test-package

# The Windows DLL (MV120Mbs100.dll) cross-built with MinGW-w64 and its tests run under
# Wine (cmake/test-windows.sh); the 32-bit DLL is built too (no 32-bit Wine here).
test-windows: maybe-deps build-win32
	cmake --preset win64
	cmake --build --preset win64 -j $(JOBS)
	cmake/test-windows.sh

build-win32: maybe-deps
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)

# Debian packages of the library, its development files and the tool (build/package/packages).
package: maybe-deps
	cmake --preset package
	cmake --build --preset package -j $(JOBS)
	cd build/package && cpack

# The packages' contents, and lintian without errors (the overrides name their reasons).
test-package: package
	@for deb in build/package/packages/*.deb; do echo "== $$deb"; dpkg-deb -c "$$deb"; done
	packaging/check-packages.sh build/package/packages

# The example host module built as a subproject, with find_package and with pkg-config.
test-examples: package
	examples/check-consumers.sh build/package build/examples

# Regenerates the ABI baseline after a deliberate change of the exported API.
abi-baseline: configure
	cmake --build --preset dev -j $(JOBS) --target abi-baseline

# Every benchmark program, five repetitions each, then one table of library against peer.
BENCH_FLAGS ?= --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
bench: maybe-deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] || continue; \
	  "$$b" $(BENCH_FLAGS) --benchmark_out="$$b.json" --benchmark_out_format=json || exit 1; \
	done
	@python3 bench/report.py build/release/bench/bench_*.json

# The libFuzzer targets (clang, ASan + UBSan) in build/fuzz. `make fuzz` runs each for
# FUZZ_SECONDS (default 300), `make fuzz-smoke` for a few seconds each (CI); see fuzz/run.sh.
fuzz-build: maybe-deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DMVB_BUILD_FUZZ=ON -DMVB_BUILD_TESTS=OFF
	cmake --build build/fuzz -j $(JOBS) --target fuzz_targets

fuzz: fuzz-build
	JOBS=$(JOBS) fuzz/run.sh build/fuzz/fuzz $(or $(FUZZ_SECONDS),300)

fuzz-smoke: fuzz-build
	JOBS=$(JOBS) fuzz/run.sh build/fuzz/fuzz $(or $(FUZZ_SECONDS),8)

# Clang source-based coverage of the tests (build/coverage, -O0, no debug information):
# line and branch coverage per subsystem of basics/src, failing below the bars. Left out:
# frame_unload, whose checks that an unload hands every heap block back do not hold with
# the profile runtime in the process.
COVERAGE_LINE_BAR ?= 95
COVERAGE_BRANCH_BAR ?= 85
coverage: maybe-deps
	cmake --preset coverage
	cmake --build --preset coverage -j $(JOBS)
	rm -rf build/coverage/profiles
	ctest --preset coverage -E '^frame_unload$$'
	python3 cmake/coverage_report.py build/coverage . $(COVERAGE_LINE_BAR) $(COVERAGE_BRANCH_BAR)

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

# Fails (first, and in seconds) when a tracked C++ file is not as `make format` leaves it.
format-check:
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build
