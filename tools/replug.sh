#!/usr/bin/env bash
# Unplugs the demo's simulated unit and plugs it in again, as a user pulling the USB cable would;
# the running program (tools/run.sh or tools/demo.sh) sees the removal and the arrival.
#   bash tools/replug.sh [key=value...]   options for the unit plugged in again (as for demo.sh)
#   bash tools/replug.sh --unplug         only unplug it
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
source tools/demo-env.sh
wine "$simctl" unplug-all | tr -d '\r'
if [ "${1:-}" = "--unplug" ]; then
    exit 0
fi
sleep 1
wine "$simctl" plug "$@" | tr -d '\r'
