#!/usr/bin/env bash
# usage: bash tools/demo.sh [--no-build] [--xvfb] [key=value...]
# The demo: builds the program and the simulated programming unit (windows preset), plugs a
# simulated TESSAVO with a controller ready for the update (firmware 4.7) into the Wine prefix of
# tools/run.sh (build/windows/wineprefix-run) and starts the program, which finds the unit through
# Wine's HID stack.
# With a display the program opens there: press "Update" and watch the flash; meanwhile
# `bash tools/replug.sh` unplugs the unit and plugs it in again.
# Without a display (or with --xvfb) the demo runs in Xvfb by itself: it presses "Update", answers
# "Ja" where the program asks before it overwrites an equal or newer firmware (cfw=0x0408), waits
# for the end and saves pictures of the program's windows to build/demo/, which then holds this
# run's pictures only:
#   1-ready.png      the dialog: the unit ready for the update, the installed versions
#   2-question.png   only where the program asks: the question over the dialog
#   N-writing.png    the dialog and its progress window while the blocks are written
#   N-done.png       the end: the success notice and the controller on 4.8; or N-failed.png,
#                    the failure box (or N-not-ready.png, the notice when the unit is not ready)
# It prints the time of the update (the click on "Update" to the success notice) and of the whole
# demo, and ends with 0 only when the update completed: the success notice shows and the unit
# holds the whole image; otherwise with 1.
#   --no-build   use the program and the unit as built already (build/windows)
#   --xvfb       run by itself in Xvfb even where there is a display
#   key=value    options of the simulated unit, e.g. pid=2 (a MERROWIN), cfw=0x0408, boot=1
#                (all of them: README.md, "The simulated unit")
#   -h, --help   this help
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
export HALVERN_DEMO_STARTED="${HALVERN_DEMO_STARTED:-$(date +%s)}"

# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions --inside-xvfb --no-build --xvfb key=value -- "$@"
inside=""
if HasOption --inside-xvfb; then inside=1; fi
if [ -z "$inside" ] && ! HasOption --no-build; then
    bash tools/setup.sh
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target HalvernUpdater HalvernSimCtl HalvernUiDriver
fi

# shellcheck source=tools/demo-env.sh
source tools/demo-env.sh
# shellcheck source=tools/screenshots.sh
source tools/screenshots.sh
for file in "$program" "$simctl" "$uidriver"; do
    if [ ! -f "$file" ]; then
        echo "no $file: build the windows preset first (without --no-build the demo does)" >&2
        exit 1
    fi
done

if { [ -z "${DISPLAY:-}" ] || HasOption --xvfb; } && [ -z "$inside" ]; then
    wineserver -k >/dev/null 2>&1 || true
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$script_file" --inside-xvfb "$@"
fi

wine "$simctl" unplug-all >/dev/null 2>&1 || true
wine "$simctl" plug "${unit_options[@]}"

if [ -z "$inside" ]; then
    echo "Starting the program; press \"Update\". Unplug and plug in again: bash tools/replug.sh"
    wine "$program" || true
    wine "$simctl" unplug-all >/dev/null 2>&1 || true
    exit 0
fi

# Inside Xvfb: the whole flash, watched by the UI driver, with pictures.
ui() { wine "$uidriver" "$@" | tr -d '\r'; }
pictures="$root/build/demo"
rm -rf "$pictures"
mkdir -p "$pictures"
count=0
picture() {
    count=$((count + 1))
    ShotProgram "$pictures/$count-$1.png"
    echo "Picture $count-$1.png: $2"
}
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

wine "$program" >/dev/null 2>&1 &
program_pid=$!
# Whatever the outcome: an open box answered, the program closed, the unit unplugged.
stop() {
    if kill -0 "$program_pid" 2>/dev/null; then
        ui answer 1 1000 >/dev/null 2>&1 || true
        ui close 10000 >/dev/null 2>&1 || kill "$program_pid" 2>/dev/null || true
    fi
    wait "$program_pid" 2>/dev/null || true
    wine "$simctl" unplug-all >/dev/null 2>&1 || true
    wineserver -k >/dev/null 2>&1 || true
    echo "Pictures: $pictures/"
    echo "Demo: $(($(date +%s) - HALVERN_DEMO_STARTED)) s in all"
}
trap stop EXIT
notice() { ui dump 5000 | sed -n 's/^control\.40004\.text=//p' | sed 's/\\r\\n/\n/g'; }

# The dialog shows the outcome of its first look for the unit (bounded: 30 s; every notice that
# look can show names the Programmiereinheit); ready is the notice that says so, with "Update"
# enabled.
ui wait-text 40004 Programmiereinheit 30000 >/dev/null 2>&1 || true
dump=$(ui dump 1000 2>/dev/null || true)
if ! grep -q '^control\.40004\.text=.*erkannt und bereit zum Update' <<<"$dump" ||
    ! grep -qx 'control\.1002\.enabled=1' <<<"$dump"; then
    picture not-ready "the dialog's notice: the unit is not ready"
    echo "The unit is not ready for the update: $(notice)" >&2
    exit 1
fi
picture ready "the dialog with the unit ready for the update"
ui click 1002 >/dev/null
started=$(now)
# Before it overwrites an equal or newer firmware the program asks (Yes/No); the demo says Yes.
# A box with OK only is a failure, which the end below reports.
if box=$(ui box 3000 2>/dev/null) && grep -qx 'buttonIds=6,7' <<<"$box"; then
    picture question "the question before an equal or newer firmware is overwritten"
    ui answer 6 5000 >/dev/null
    started=$(now)
fi

# The "writing" picture once the unit holds a quarter of the image (bounded: 120 s). The progress
# window comes after the erase and its pause (about 5 s).
image_bytes=$(sed -n 's/.*CarriedFirmwareSize = \([0-9]*\);/\1/p' "$build/generated/FirmwareVersion.h")
for _ in $(seq 1 20); do
    if ui progress 1000 >/dev/null 2>&1 || ! ui no-box 0 >/dev/null 2>&1; then break; fi
done
if ui progress 0 >/dev/null 2>&1; then
    deadline=$((SECONDS + 120))
    while [ "$SECONDS" -lt "$deadline" ] && ui progress 0 >/dev/null 2>&1; do
        written=$(wine "$simctl" state | tr -d '\r' | sed -n 's/^flashHighWater=//p')
        if [ "${written:-0}" -ge $((image_bytes / 4)) ]; then
            picture writing "the progress window over the dialog while the blocks are written"
            break
        fi
        sleep 0.2
    done
fi

# The end: the success notice, or a failure box (bounded: the flash takes about 40 s).
ui no-progress 150000 >/dev/null 2>&1 || true
outcome=""
for _ in $(seq 1 20); do
    if ui wait-text 40004 "erfolgreich" 1000 >/dev/null 2>&1; then
        outcome=completed
        break
    fi
    if box=$(ui box 500 2>/dev/null); then
        outcome=failed
        break
    fi
done
ended=$(now)
state=$(wine "$simctl" state flash="$pictures/flash.bin" | tr -d '\r')
grep -E '^(exchanges|flashHighWater|command_0x1B)=' <<<"$state"
# The truth is in the unit: the whole image, byte for byte.
image=$(sed -n 's/^HALVERN_FIRMWARE_IMAGE:[A-Z]*=//p' "$build/CMakeCache.txt")
flashed=""
if [ "$(sed -n 's/^flashHighWater=//p' <<<"$state")" = "$image_bytes" ] &&
    cmp -s -n "$image_bytes" "$image" "$pictures/flash.bin"; then
    flashed=1
fi
rm -f "$pictures/flash.bin"
case "$outcome" in
    completed) picture "done" "the success notice, the controller on 4.8" ;;
    failed) picture failed "the failure box over the dialog" ;;
    *) picture end "the dialog as the update left it" ;;
esac
if [ "$outcome" = completed ] && [ -n "$flashed" ]; then
    echo "The update completed in $(seconds "$started" "$ended") s (the click on \"Update\" to the" \
        "success notice); the unit holds the whole image."
    exit 0
fi
echo "The update did not complete after $(seconds "$started" "$ended") s." >&2
if [ "$outcome" = failed ]; then
    sed -n 's/^text=/The program reports: /p' <<<"$box" | sed 's/\\r\\n/\n/g' >&2
elif [ "$outcome" = completed ]; then
    echo "The program reports success, but the unit does not hold the image." >&2
else
    echo "Neither the success notice nor a failure box; the notice: $(notice)" >&2
fi
exit 1
