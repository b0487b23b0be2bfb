#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine (as root, or through sudo).
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev googletest libbenchmark-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
    wine64 xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core python3
    osslsigncode openssl
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
