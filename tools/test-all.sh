#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native build, the native build
# with sanitizers, the fuzz targets, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
for preset in native native-asan fuzz windows; do
    echo "=== workflow $preset"
    cmake --workflow --preset "$preset"
done
echo "=== all workflows passed"
