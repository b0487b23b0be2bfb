#!/usr/bin/env bash
# usage: bash tools/setup.sh
# Installs what the project needs and is missing on a Debian 12 machine (as root, or through
# sudo): CMake, Ninja, g++, clang, GoogleTest, Google Benchmark, MinGW-w64, Wine, Xvfb, xdotool,
# ImageMagick, osslsigncode, OpenSSL. Nothing to do when all of it is there; the other scripts
# run it first.
#   -h, --help   this help
set -euo pipefail
# shellcheck source=tools/options.sh
source "$(dirname "$0")/options.sh"
SplitOptions -- "$@"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    wine64 xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core python3
    osslsigncode openssl time
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
    $SUDO apt-get update
    # With the recommended packages: Wine then brings its fonts, which the dialog tests read.
    $SUDO apt-get install -y "${missing[@]}"
fi
