#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: the emulator of the windows preset.
# WINEPREFIX names the build tree's private prefix (set by CTest); it is created once, under a lock.
# Without a display the program gets a private Xvfb, and the Wine processes of that prefix are
# ended with it, so no later run talks to a display that is gone.
set -u
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# No debugger on a crash: with winedbg attached the exit code of a crashed program is sometimes 0,
# so a crashing test could pass. Without it the crash ends the program with a failing code.
case "$WINEDLLOVERRIDES" in
    *winedbg*) ;;
    *) WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d" ;;
esac
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-halvern}"

# Should winedbg run after all (overridden above), it must not wait for someone to close its crash
# dialog: nobody sees it in Xvfb, and the test would hang until its time-out.
prefix_ready() {
    [ -f "$WINEPREFIX/system.reg" ] && grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null
}
if ! prefix_ready; then
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if ! prefix_ready; then
            if [ ! -f "$WINEPREFIX/system.reg" ]; then
                wineboot -i >/dev/null 2>&1
            fi
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi

if [ -z "${DISPLAY:-}" ]; then
    HALVERN_OWN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

wine "$@"
rc=$?
if [ -n "${HALVERN_OWN_XVFB:-}" ]; then
    wineserver -k >/dev/null 2>&1
fi
exit $rc
