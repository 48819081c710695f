# Front door: `make demo` and `make test` set up, build and run on a fresh machine.
SHELL := /bin/bash
DEB_PACKAGES := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev zlib1g-dev clang-format
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps maybe-deps configure build demo test test-dev test-asan bench fuzz format format-check clean

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

maybe-deps:
	@if [ "$$(id -u)" = 0 ]; then $(MAKE) --no-print-directory deps; fi

configure: maybe-deps
	cmake --preset dev

build: configure
	cmake --build --preset dev -j $(JOBS)

demo: build
	./build/dev/bin/mvbasics demo

test-dev: maybe-deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)
	ctest --preset dev

test-asan: maybe-deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan

test: format-check test-dev test-asan

bench: maybe-deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

fuzz: maybe-deps
	CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMVB_BUILD_FUZZ=ON -DMVB_BUILD_TESTS=OFF
	cmake --build build/fuzz -j $(JOBS) --target fuzz_targets

format:
	git ls-files '*.h' '*.cpp' | xargs clang-format -i

# Fails (first, and in seconds) when a tracked C++ file is not as `make format` leaves it.
format-check:
	git ls-files '*.h' '*.cpp' | xargs clang-format --dry-run -Werror

clean:
	rm -rf build
