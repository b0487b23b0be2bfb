#!/usr/bin/env bash
# Unplugs the demo's simulated unit and plugs it in again, as a user pulling the USB cable would;
# the running program (tools/run.sh or tools/demo.sh) sees the removal and the arrival.
#   bash tools/replug.sh [key=value...]   options for the unit plugged in again (as for demo.sh)
#   bash tools/replug.sh --unplug         only unplug it
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions "bash tools/replug.sh [--unplug] [key=value...]" --unplug -- "$@"
source tools/demo-env.sh
wine "$simctl" unplug-all | tr -d '\r'
if HasOption --unplug; then
    exit 0
fi
sleep 1 # as long as a user takes to plug the cable in again
wine "$simctl" plug "${unit_options[@]}" | tr -d '\r'
