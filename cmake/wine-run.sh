#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine: the emulator of the windows preset.
# WINEPREFIX names the build tree's private prefix (set by CTest); tools/wine-prefix.sh makes it.
# Without a display the program gets a private Xvfb, and the Wine processes of that prefix are
# ended with it, so no later run talks to a display that is gone.
set -u
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# No debugger on a crash: with winedbg attached the exit code of a crashed program is sometimes 0,
# so a crashing test could pass. Without it the crash ends the program with a failing code.
case "$WINEDLLOVERRIDES" in
    *winedbg*) ;;
    *) WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d" ;;
esac
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-halvern}"

# shellcheck source=tools/wine-prefix.sh
source "$(dirname "$(readlink -f "$0")")/../tools/wine-prefix.sh"
EnsureWinePrefix

if [ -z "${DISPLAY:-}" ]; then
    HALVERN_OWN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

# One session of a prefix at a time: every session ends with `wineserver -k`, which ends every
# process of that prefix, also the test of another session that found this session's wineserver
# running and ran on it (two test commands in one build tree at once). That test ended at once,
# its buffered output lost and its exit code whatever the kill left (0 seen). So a session waits
# for the one before it; the lock is held by flock alone (-o), not by the Wine processes.
if [ -n "${HALVERN_OWN_XVFB:-}" ] && [ "${HALVERN_SESSION_LOCKED:-}" != "$WINEPREFIX" ]; then
    HALVERN_SESSION_LOCKED="$WINEPREFIX" exec flock -o "$WINEPREFIX.session.lock" "$0" "$@"
fi

# A session of our own is started first, with the output of Wine's own processes apart: Wine's
# device host (winedevice.exe) now and then crashes while it sets up its devices (a page fault at
# 0x8 in ntoskrnl's IoCreateDevice, before the program's main runs), and that report must not
# read as a crash of the program under test. It is kept in the prefix's session log.
session_log="$WINEPREFIX-session.log"
if [ -n "${HALVERN_OWN_XVFB:-}" ]; then
    wineserver -p10
    wine wineboot >"$session_log" 2>&1
fi
wine "$@"
rc=$?
if [ -n "${HALVERN_OWN_XVFB:-}" ]; then
    wineserver -k >/dev/null 2>&1
    if grep -q "Unhandled" "$session_log"; then
        echo "Wine's own session crashed (not the program under test), see $session_log" >&2
    fi
fi
exit $rc
