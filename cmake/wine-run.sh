#!/bin/sh
# Runs one Windows program of the cross build under Wine, headless: its own Wine prefix
# inside the build folder (MVB_WINEPREFIX, else build/win64/wineprefix beside this
# script's project), no display, no Wine debug channels.
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${MVB_WINEPREFIX:-$here/build/win64/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
exec timeout "${MVB_WINE_TIMEOUT:-300}" wine "$@"
