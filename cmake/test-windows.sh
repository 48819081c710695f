#!/usr/bin/env bash
# Runs the Windows build's tests under Wine (make test-windows): one Wine prefix inside
# the build folder, made before the first test (so parallel tests never race to make
# it), one Wine server kept alive for all of them and stopped at the end, whatever the
# result.
set -euo pipefail
cd "$(dirname "$0")/.."
export WINEPREFIX="$PWD/build/win64/wineprefix"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
start=$(date +%s)
mkdir -p "$WINEPREFIX"
wineserver -p >/dev/null 2>&1 </dev/null || true  # (one may be running already)
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
cmake/wine-run.sh cmd /c exit >/dev/null 2>&1 || true
echo "test-windows: Wine prefix ready in $(($(date +%s) - start)) s ($WINEPREFIX)"
ctest --preset win64 "$@"
