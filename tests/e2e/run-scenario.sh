#!/usr/bin/env bash
# Runs one end-to-end scenario (tests/e2e/scenarios.sh) inside its own Xvfb, with the program, the
# simulated unit's controller and the UI driver on one wineserver.
#   run-scenario.sh <scenario>
# Environment: HALVERN_BUILD (the windows build tree), HALVERN_SOURCE (the repository),
# WINEPREFIX (the scenarios' prefix; created once). Screenshots and read-back files land in
# $HALVERN_BUILD/e2e-artifacts/<scenario>/.
set -u
scenario="${1:?scenario name}"
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL=C.UTF-8 # arguments and output in UTF-8 (the German texts)
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
: "${HALVERN_BUILD:?}" "${HALVERN_SOURCE:?}" "${WINEPREFIX:?}"

if [ -z "${HALVERN_INSIDE_XVFB:-}" ]; then
    # shellcheck source=tools/wine-prefix.sh
    source "$HALVERN_SOURCE/tools/wine-prefix.sh"
    EnsureWinePrefix
    # One session of a prefix at a time, as in cmake/wine-run.sh: the wineserver -k below and at
    # the end would end the processes of a scenario that runs in it meanwhile.
    if [ "${HALVERN_SESSION_LOCKED:-}" != "$WINEPREFIX" ]; then
        HALVERN_SESSION_LOCKED="$WINEPREFIX" exec flock -o "$WINEPREFIX.session.lock" bash "$0" "$@"
    fi
    # A wineserver of this prefix left from an earlier run talks to a display that is gone.
    wineserver -k >/dev/null 2>&1
    HALVERN_INSIDE_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

here="$(cd "$(dirname "$0")" && pwd)"
PROGRAM="$HALVERN_BUILD/win32/HalvernUpdater.exe"
SIMCTL="$HALVERN_BUILD/sim/wine/HalvernSimCtl.exe"
UIDRV="$HALVERN_BUILD/tests/e2e/HalvernUiDriver.exe"
STRESS="$HALVERN_BUILD/tests/e2e/HalvernExchangeStress.exe"
PLANTED="$HALVERN_BUILD/tests/e2e/HalvernPlantedLibrary.dll"
# The carried image and its version as the build was configured (the stand-in 4.8 by default).
IMAGE="${HALVERN_CARRIED_IMAGE:-$HALVERN_SOURCE/resources/firmware/stand-in-0408.bin}"
CARRIED_VERSION="${HALVERN_CARRIED_VERSION:-0x0408}"
CARRIED_TEXT=$(printf '%d.%d' $((CARRIED_VERSION >> 8)) $((CARRIED_VERSION & 0xFF)))
ARTIFACTS="$HALVERN_BUILD/e2e-artifacts/$scenario"
rm -rf "$ARTIFACTS"
mkdir -p "$ARTIFACTS"
failures=0
program_pid=""

# shellcheck source=tests/e2e/scenarios.sh
source "$here/scenarios.sh"
# Further blocks of scenarios, one file each.
for block in "$here"/scenarios-*.sh; do
    # shellcheck source=/dev/null
    [ -f "$block" ] && source "$block"
done

if ! declare -F "scenario_$scenario" >/dev/null; then
    echo "unknown scenario $scenario" >&2
    exit 2
fi

wine "$SIMCTL" unplug-all >/dev/null 2>&1
started=$(date +%s.%N)
"scenario_$scenario"
ended=$(date +%s.%N)
stop_program
wine "$SIMCTL" unplug-all >/dev/null 2>&1
wineserver -k >/dev/null 2>&1
printf 'scenario %s: %.1f s, %d failure(s)\n' "$scenario" "$(echo "$ended - $started" | bc)" \
    "$failures" | tee -a "$ARTIFACTS/figures.txt"
[ "$failures" -eq 0 ]
