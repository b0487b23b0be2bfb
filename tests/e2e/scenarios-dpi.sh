# shellcheck shell=bash
# The dialog at the display's DPI (Wine's LogPixels): sourced by run-scenario.sh beside
# scenarios.sh. The ctest entries (tests/e2e/CMakeLists.txt) give these scenarios a prefix of their own, so the
# DPI set here never reaches the other scenarios.

LOOKPROBE="$HALVERN_BUILD/tests/e2e/HalvernLookProbe.exe"

look() { wine "$LOOKPROBE" "Z:${PROGRAM//\//\\}" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

value_of() { sed -n "s/^$2=//p" <<<"$1" | head -1; }

# check_look <dpi> <name>: the logo at its size and place for this DPI, no key colour on screen,
# the notice window's text not cut off.
check_look() {
    local dpi="$1" name="$2" probe
    probe=$(look 10000) || { fail "no look measured: $probe"; return; }
    echo "$probe" >"$ARTIFACTS/look-$name.txt"
    local width height left top right
    width=$(value_of "$probe" logo.width)
    height=$(value_of "$probe" logo.height)
    left=$(value_of "$probe" logo.left)
    top=$(value_of "$probe" logo.top)
    right=$((left + width))
    expect_value "$probe" dpi "$dpi"
    # Half the bitmap's width at 96 DPI, scaled; less only where the dialog leaves less room.
    local cap=$(((182 * dpi + 48) / 96)) space
    space=$(($(value_of "$probe" gap) - (10 * dpi + 48) / 96))
    local want=$((cap < space ? cap : space))
    figure "dpi $dpi ($name): logo ${width} x ${height} at ($left, $top), free space $space"
    [ "$width" = "$want" ] || fail "logo $width pixels wide at $dpi DPI, expected $want"
    expect_value "$probe" logo.mismatchedPixels 0
    expect_value "$probe" keyPixels 0
    [ "$left" -gt "$(value_of "$probe" group.right)" ] || fail "the logo overlaps the group box"
    [ "$right" -le "$(value_of "$probe" client.width)" ] || fail "the logo leaves the dialog"
    if [ "$top" -lt 0 ] || [ $((top + height)) -gt "$(value_of "$probe" notice.top)" ]; then
        fail "the logo is not between the caption and the notice window"
    fi
    # The notice window: every line wrapped inside it, as many lines to be seen as at 96 DPI, and
    # a text that was wholly visible at 96 DPI wholly visible here too.
    local lines visible
    lines=$(value_of "$probe" notice.lines)
    visible=$(value_of "$probe" notice.visibleLines)
    figure "dpi $dpi ($name): notice $lines lines, $visible visible, line height $(value_of "$probe" notice.lineHeight)"
    [ "$(value_of "$probe" notice.widestLastChar)" -lt "$(value_of "$probe" notice.clientWidth)" ] ||
        fail "a notice line runs past the window's right edge"
    noticeLines[$dpi-$name]=$lines
    noticeVisible[$dpi-$name]=$visible
    local lines96=${noticeLines[96-$name]} visible96=${noticeVisible[96-$name]}
    [ "$visible" -ge "$visible96" ] || fail "the notice shows $visible lines, $visible96 at 96 DPI"
    if [ "$lines96" -le "$visible96" ] && [ "$lines" -gt "$visible" ]; then
        fail "the notice shows $visible of its $lines lines; at 96 DPI all of them"
    fi
}

declare -A noticeLines noticeVisible

# One pass at a DPI: the dialog without a unit, then with a unit ready.
look_pass() {
    local dpi="$1"
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
        fail "could not set $dpi DPI"
    start_program
    settle "$(msg 40017)"
    shot "dpi-$dpi-no-unit"
    check_look "$dpi" no-unit
    ctl plug >/dev/null || fail "plug failed"
    settle "$(msg 40000 | cut -c1-40)"
    shot "dpi-$dpi-ready"
    check_look "$dpi" ready
    stop_program
    ctl unplug-all >/dev/null
}

# 96 DPI first, as the measure of the notice window, then the DPI under test.
dpi_scenario() {
    look_pass 96
    [ "$1" -eq 96 ] || look_pass "$1"
}
scenario_dpi_96() { dpi_scenario 96; }
scenario_dpi_144() { dpi_scenario 144; }
scenario_dpi_192() { dpi_scenario 192; }
