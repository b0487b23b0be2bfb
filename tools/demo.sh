#!/usr/bin/env bash
# The demo: builds the program and the simulated programming unit, plugs a simulated TESSAVO with a
# controller ready for the update (firmware 4.7) into the Wine prefix of tools/run.sh
# (build/windows/wineprefix-run) and starts the program, which finds the unit through Wine's HID
# stack.
#   bash tools/demo.sh [key=value...]     unit options, e.g. pid=2 (MERROWIN), cfw=0x0408, boot=1
# With a display the program opens there: press "Update" and watch the flash; meanwhile
# `bash tools/replug.sh` unplugs the unit and plugs it in again. Without a display the demo runs
# in Xvfb by itself: it presses "Update", waits for the end and saves screenshots to build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions "bash tools/demo.sh [key=value...]" --inside-xvfb -- "$@"
inside=""
if HasOption --inside-xvfb; then inside=1; fi
if [ -z "$inside" ]; then
    bash tools/setup.sh
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target HalvernUpdater HalvernSimCtl HalvernUiDriver
fi

source tools/demo-env.sh

if [ -z "${DISPLAY:-}" ] && [ -z "$inside" ]; then
    wineserver -k >/dev/null 2>&1 || true
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" --inside-xvfb "$@"
fi

wine "$simctl" unplug-all >/dev/null 2>&1 || true
wine "$simctl" plug "${unit_options[@]}"

if [ -z "$inside" ]; then
    echo "Starting the program; press \"Update\". Unplug and plug in again: bash tools/replug.sh"
    wine "$program" || true
    wine "$simctl" unplug-all >/dev/null 2>&1 || true
    exit 0
fi

# Inside Xvfb: the whole flash, watched by the UI driver, with screenshots.
mkdir -p "$root/build/demo"
wine "$program" >/dev/null 2>&1 &
program_pid=$!
ui() { wine "$uidriver" "$@" | tr -d '\r'; }
ui wait-text 40004 "bereit zum Update" 30000 >/dev/null
import -window root "$root/build/demo/1-ready.png"
ui click 1002
# The "writing" picture once the unit holds a quarter of the image (bounded: 120 s); should the
# update end before, when its progress window has gone, the picture shows the end.
image_bytes=$(sed -n 's/.*CarriedFirmwareSize = \([0-9]*\);/\1/p' "$build/generated/FirmwareVersion.h")
deadline=$((SECONDS + 120))
seen=""
while [ "$SECONDS" -lt "$deadline" ]; do
    written=$(wine "$simctl" state | tr -d '\r' | sed -n 's/^flashHighWater=//p')
    if [ "${written:-0}" -ge $((image_bytes / 4)) ]; then break; fi
    if ui progress 0 >/dev/null 2>&1; then
        seen=1
    elif [ -n "$seen" ]; then
        break
    fi
    sleep 0.2
done
import -window root "$root/build/demo/2-writing.png"
if ui wait-text 40004 "erfolgreich" 120000 >/dev/null; then
    echo "The update completed."
else
    echo "The update did not complete; see the screenshots." >&2
fi
import -window root "$root/build/demo/3-done.png"
wine "$simctl" state | tr -d '\r' | grep -E '^(exchanges|flashHighWater|command_0x1B)='
ui close 10000 || kill "$program_pid"
wait "$program_pid" || true
wine "$simctl" unplug-all >/dev/null 2>&1 || true
wineserver -w
echo "Screenshots: $root/build/demo/"
