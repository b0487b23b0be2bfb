# shellcheck shell=bash
# The one way this project makes a Wine prefix. Sourced by cmake/wine-run.sh (the test binaries),
# the end-to-end scenarios and the demo scripts: EnsureWinePrefix makes sure the prefix in
# $WINEPREFIX exists and is set up, creating it once under a lock, so that parallel first runs
# wait for each other. A prefix made before a setting was added gets the setting on its next use.
# Settings:
# - WineDbg shows no crash dialog: nobody sees it in Xvfb, and a crashed program would hang until
#   its time-out instead of ending with a failing code.
# - Wine draws the title bars itself (X11 driver Managed=N): there is no window manager inside
#   Xvfb, so screenshots show the captions of the dialog, the boxes and the progress window.

WinePrefixReady() {
    [ -f "$WINEPREFIX/system.reg" ] &&
        grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null &&
        grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null
}

EnsureWinePrefix() {
    : "${WINEPREFIX:?}"
    WinePrefixReady && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if ! WinePrefixReady; then
            if [ ! -f "$WINEPREFIX/system.reg" ]; then
                echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)" >&2
                wineboot -i >/dev/null 2>&1
            fi
            wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
                >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            # The registry reaches user.reg when the wineserver ends.
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
}
