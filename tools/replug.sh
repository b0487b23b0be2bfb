#!/usr/bin/env bash
# Unplugs the demo's simulated unit and plugs it in again, as a user pulling the USB cable would;
# the running program (tools/run.sh or tools/demo.sh) sees the removal and the arrival.
#   bash tools/replug.sh [key=value...]   options for the unit plugged in again (as for demo.sh)
#   bash tools/replug.sh --unplug         only unplug it
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
# Options in any order; what is not an option of this script goes to the unit.
unplug_only=""
unit_options=()
for arg in "$@"; do
    case "$arg" in
        --unplug) unplug_only=1 ;;
        --*)
            echo "unknown option $arg; usage: bash tools/replug.sh [--unplug] [key=value...]" >&2
            exit 2
            ;;
        *) unit_options+=("$arg") ;;
    esac
done
source tools/demo-env.sh
wine "$simctl" unplug-all | tr -d '\r'
if [ -n "$unplug_only" ]; then
    exit 0
fi
sleep 1 # as long as a user takes to plug the cable in again
wine "$simctl" plug "${unit_options[@]}" | tr -d '\r'
