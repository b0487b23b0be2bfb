#!/usr/bin/env bash
# Installs what is missing, builds HalvernUpdater.exe (windows preset, the program only) and
# starts it under Wine in the build tree's prefix. Without a display it runs inside Xvfb, saves a
# screenshot of the dialog to build/screenshots/ and then closes the program the way the close
# box would.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

if [ "${1:-}" != "--inside-xvfb" ]; then
    bash tools/setup.sh
    cmake --preset windows
    cmake --build --preset windows --target HalvernUpdater
fi

export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# A prefix of its own beside the tests' one: here Wine draws the title bars itself (there is no
# window manager inside Xvfb), so the screenshot shows the caption and the close box.
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix-run}"
program="$root/build/windows/win32/HalvernUpdater.exe"
caption="ORVALDA HALVERN 160 Firmware Updater 4.8"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX (once, about 15 s)"
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wineboot -i >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            wineserver -w
        fi
    ) 9>"$WINEPREFIX.lock"
fi

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--inside-xvfb" ]; then
    exec wine "$program"
fi
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb
fi

# Inside Xvfb: start the program, wait (bounded) for its dialog, take the screenshot, close it.
wine "$program" &
program_pid=$!
for _ in $(seq 1 600); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\""; then break; fi
    if ! kill -0 "$program_pid" 2>/dev/null; then echo "the program ended early" >&2; exit 1; fi
    sleep 0.1
done
if ! xwininfo -root -tree 2>/dev/null | grep -qF "\"$caption\""; then
    echo "no window \"$caption\" within 60 s" >&2
    wineserver -k || true
    exit 1
fi
sleep 2 # let the dialog finish its first paint
mkdir -p "$root/build/screenshots"
shot="$root/build/screenshots/HalvernUpdater-$(date -u +%Y%m%d-%H%M%S).png"
import -window root "$shot"
echo "Screenshot: $shot"

# taskkill without /F sends WM_CLOSE: the dialog ends as after a click on its close box.
wine taskkill /IM HalvernUpdater.exe >/dev/null 2>&1 || true
for _ in $(seq 1 100); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$program_pid" 2>/dev/null; then
    echo "the program did not end within 10 s; ending Wine" >&2
    wineserver -k || true
    exit 1
fi
wait "$program_pid"
status=$?
wineserver -w
echo "HalvernUpdater.exe ended with exit code $status"
exit "$status"
