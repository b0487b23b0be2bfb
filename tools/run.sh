#!/usr/bin/env bash
# usage: bash tools/run.sh [--no-unit] [key=value...]
# Installs what is missing, builds HalvernUpdater.exe and the simulated programming unit (windows
# preset), plugs a simulated TESSAVO with a controller ready for the update into Wine's HID stack
# and starts the program under Wine in the build tree's prefix: press "Update" and watch the flash;
# `bash tools/replug.sh` pulls the cable and plugs it in again. Without a display it runs inside
# Xvfb, saves a picture of the dialog to build/screenshots/ once it has painted and then closes the
# program the way the close box would; it ends with the program's exit code.
#   --no-unit    start without a unit plugged in
#   key=value    options of the simulated unit, in any order: pid=2 (a MERROWIN), cfw=0x0408 (the
#                controller has 4.8 already), boot=1, state=2, fault=0x1E:error:0x0E55, ...
#                (all of them: README.md, "The simulated unit")
#   -h, --help   this help
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"

# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions --inside-xvfb --no-unit key=value -- "$@"
inside=""
if HasOption --inside-xvfb; then inside=1; fi
plug_unit=1
if HasOption --no-unit; then plug_unit=""; fi
if [ -z "$inside" ]; then
    bash tools/setup.sh
    cmake --preset windows
    cmake --build --preset windows --target HalvernUpdater HalvernSimCtl
fi

# The prefix, the program and the unit's controller, shared with tools/replug.sh and tools/demo.sh.
# shellcheck source=tools/demo-env.sh
source "$root/tools/demo-env.sh"
# shellcheck source=tools/screenshots.sh
source "$root/tools/screenshots.sh"
# The dialog's caption is the product name and version of the program's version resource, as
# the build wrote them.
version_value() {
    x86_64-w64-mingw32-windres -i "$program" -O rc | sed -n "s/^ *VALUE \"$1\", \"\(.*\)\"\r\?\$/\1/p"
}
caption="$(version_value ProductName) $(version_value ProductVersion)"

unplug_all() { wine "$simctl" unplug-all >/dev/null 2>&1 || true; }

if [ -z "${DISPLAY:-}" ] && [ -z "$inside" ]; then
    # A wineserver of this prefix left from a run without a display (tools/replug.sh) would keep
    # the program from opening its window inside Xvfb.
    wineserver -k >/dev/null 2>&1 || true
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$script_file" --inside-xvfb "$@"
fi
unplug_all
if [ -n "$plug_unit" ]; then
    wine "$simctl" plug "${unit_options[@]}" | tr -d '\r'
fi
if [ -z "$inside" ]; then
    echo "Starting the program. Unplug and plug in again: bash tools/replug.sh"
    status=0
    wine "$program" || status=$?
    unplug_all
    exit "$status"
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
mkdir -p "$root/build/screenshots"
shot="$root/build/screenshots/HalvernUpdater-$(date -u +%Y%m%d-%H%M%S).png"
ShotProgram "$shot"
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
unplug_all
wineserver -w
echo "HalvernUpdater.exe ended with exit code $status"
exit "$status"
