# Shared by tools/demo.sh and tools/replug.sh: the demo's Wine prefix and program paths.
# shellcheck shell=bash
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export LC_ALL=C.UTF-8
# The prefix of tools/run.sh, so that tools/replug.sh reaches the program that run.sh started.
export WINEPREFIX="${WINEPREFIX:-$root/build/windows/wineprefix-run}"
# HALVERN_BUILD: another build tree of the windows preset (the test of the demo gives its own).
build="${HALVERN_BUILD:-$root/build/windows}"
program="$build/win32/HalvernUpdater.exe"
simctl="$build/sim/wine/HalvernSimCtl.exe"
uidriver="$build/tests/e2e/HalvernUiDriver.exe"
# shellcheck source=tools/wine-prefix.sh
source "$root/tools/wine-prefix.sh"
EnsureWinePrefix
