#!/usr/bin/env bash
# usage: bash tools/replug.sh [--unplug] [key=value...]
# Unplugs the simulated unit of tools/run.sh or tools/demo.sh and plugs it in again after a
# second, as a user pulling the USB cable would; the running program sees the removal and the
# arrival. Run it in a second terminal while the program runs.
#   --unplug     only unplug it
#   key=value    options of the unit plugged in again (as for run.sh; README.md, "The simulated
#                unit")
#   -h, --help   this help
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions --unplug key=value -- "$@"
source tools/demo-env.sh
wine "$simctl" unplug-all | tr -d '\r'
if HasOption --unplug; then
    exit 0
fi
sleep 1 # as long as a user takes to plug the cable in again
wine "$simctl" plug "${unit_options[@]}" | tr -d '\r'
