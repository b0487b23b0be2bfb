# Shared by tools/demo.sh and tools/replug.sh: the demo's Wine prefix and program paths.
# shellcheck shell=bash
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LC_ALL=C.UTF-8
# The prefix of tools/run.sh, so that tools/replug.sh reaches the program that run.sh started.
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix-run}"
build="$root/build/windows"
program="$build/win32/HalvernUpdater.exe"
simctl="$build/sim/wine/HalvernSimCtl.exe"
uidriver="$build/tests/e2e/HalvernUiDriver.exe"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)"
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1
            # Wine draws the title bars itself (there is no window manager inside Xvfb).
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi
