# shellcheck shell=bash
# Sourced by the demo scripts and the end-to-end scenarios: makes sure the Wine prefix in
# $WINEPREFIX exists, creating it once under a lock. Wine draws the title bars itself there (there
# is no window manager inside Xvfb), so screenshots show the captions of the dialog, the boxes and
# the progress window.
EnsureWinePrefix() {
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)" >&2
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
}
