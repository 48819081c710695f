#!/usr/bin/env bash
# Builds the example host module the three ways a module engineer consumes Merivane
# Basics, runs each build and compares its output with examples/host_module/expected.txt:
#   1. add_subdirectory() of this source tree (the library built inside the consumer),
#   2. find_package(MerivaneBasics) against a fresh `cmake --install` prefix,
#   3. pkg-config (merivane-basics.pc) against the same prefix.
# Usage: check-consumers.sh <configured library build folder> <work folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
library_build=$1
work=$(mkdir -p "$2" && cd "$2" && pwd)
example=$here/host_module
prefix=$work/prefix

fail() { echo "check-consumers: $*" >&2; exit 1; }
# quiet <log> <command>...: runs the command into the log; on failure shows the log's end.
quiet() {
    local log=$1
    shift
    "$@" >>"$log" 2>&1 || { tail -n 30 "$log" >&2; fail "failed: $* (log: $log)"; }
}

# Runs a build of the example with a registry and event file of its own and checks its
# output.
run_example() {
    local name=$1 program=$2
    rm -f "$work/$name.db" "$work/$name.events"
    MERIVANE_REGISTRY=$work/$name.db MERIVANE_EVENT_LOG=$work/$name.events \
        "$program" >"$work/$name.out" || fail "$name: the example failed: $(cat "$work/$name.out")"
    diff -u "$example/expected.txt" "$work/$name.out" || fail "$name: unexpected output"
    echo "check-consumers: $name: ok"
}

# 1. As a subproject, configured the way a consumer without GoogleTest would: none of
#    the project's tests, tools or output folders may appear in the consumer's tree.
rm -rf "$work/subdirectory" "$work"/*.log
quiet "$work/subdirectory.log" cmake -S "$example" -B "$work/subdirectory" -G Ninja \
    -DMERIVANE_BASICS_SOURCE_DIR="$source_dir" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    --no-warn-unused-cli
quiet "$work/subdirectory.log" cmake --build "$work/subdirectory"
for unwanted in bin lib merivane-basics/tests merivane-basics/tools; do
    [ ! -e "$work/subdirectory/$unwanted" ] || fail "subdirectory: the subproject wrote $unwanted"
done
[ -f "$work/subdirectory/merivane-basics/basics/MV120Mbs100.so" ] &&
    [ -f "$work/subdirectory/merivane-basics/basics/MerivanePerformanceCounters.ini" ] ||
    fail "subdirectory: the library or its data files are not in the subproject's folder"
run_example subdirectory "$work/subdirectory/host_module"

# 2. Against an installed prefix, found with find_package.
rm -rf "$prefix" "$work/find-package"
quiet "$work/install.log" cmake --install "$library_build" --prefix "$prefix"
if grep -rl --binary-files=without-match "$(cd "$library_build" && pwd)" "$prefix" >/dev/null; then
    fail "install: the installed tree names the build folder"
fi
quiet "$work/find-package.log" cmake -S "$example" -B "$work/find-package" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix"
quiet "$work/find-package.log" cmake --build "$work/find-package"
run_example find-package "$work/find-package/host_module"

# 3. Against the same prefix, with pkg-config and the compiler alone.
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name merivane-basics.pc)")
libdir=$(pkg-config --variable=libdir merivane-basics)
# shellcheck disable=SC2046
"${CXX:-c++}" -std=c++17 -o "$work/pkg-config-host_module" "$example/host_module.cpp" \
    $(pkg-config --cflags --libs merivane-basics) -Wl,-rpath,"$libdir"
run_example pkg-config "$work/pkg-config-host_module"
