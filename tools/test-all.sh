#!/usr/bin/env bash
# usage: bash tools/test-all.sh
# Installs what is missing (tools/setup.sh), then builds and runs every test in four CMake
# workflows: native, native-asan (the native build with sanitizers), fuzz (libFuzzer targets) and
# windows (the cross build, its tests and end-to-end scenarios under Wine, and the demo). About 25
# minutes on two cores, most of it the windows workflow. One workflow alone:
# cmake --workflow --preset native
#   -h, --help   this help
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/options.sh
source tools/options.sh
SplitOptions -- "$@"
bash tools/setup.sh
for preset in native native-asan fuzz windows; do
    echo "=== workflow $preset"
    cmake --workflow --preset "$preset"
done
echo "=== all workflows passed"
