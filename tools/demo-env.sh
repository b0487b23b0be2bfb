# Shared by tools/demo.sh and tools/replug.sh: the demo's Wine prefix and program paths.
# shellcheck shell=bash
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LC_ALL=C.UTF-8
export WINEPREFIX="${HALVERN_DEMO_PREFIX:-$root/build/demo/wineprefix}"
build="$root/build/windows"
program="$build/win32/HalvernUpdater.exe"
simctl="$build/sim/wine/HalvernSimCtl.exe"
uidriver="$build/tests/e2e/HalvernUiDriver.exe"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the demo's Wine prefix $WINEPREFIX (once, about 15 s)"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi
