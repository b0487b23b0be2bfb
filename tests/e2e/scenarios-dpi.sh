# shellcheck shell=bash
# The dialog at the display's DPI (Wine's LogPixels): sourced by run-scenario.sh beside
# scenarios.sh. The ctest entries (tests/e2e/CMakeLists.txt) give these scenarios a prefix of their own, so the
# DPI set here never reaches the other scenarios.

LOOKPROBE="$HALVERN_BUILD/tests/e2e/HalvernLookProbe.exe"

look() { wine "$LOOKPROBE" "Z:${PROGRAM//\//\\}" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# check_look <dpi> <name>: the logo at its size and place for this DPI, no key colour on screen,
# the notice window's text and every label's text not cut off.
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
    check_labels "$dpi" "$name" "$probe"
    noticeLines[$dpi-$name]=$lines
    noticeVisible[$dpi-$name]=$visible
    local lines96=${noticeLines[96-$name]} visible96=${noticeVisible[96-$name]}
    [ "$visible" -ge "$visible96" ] || fail "the notice shows $visible lines, $visible96 at 96 DPI"
    if [ "$lines96" -le "$visible96" ] && [ "$lines" -gt "$visible" ]; then
        fail "the notice shows $visible of its $lines lines; at 96 DPI all of them"
    fi
}

declare -A noticeLines noticeVisible

# check_labels <dpi> <name> <probe>: the four labels (three rows and the notice window's heading)
# each drawn on screen as its whole text in the dialog's font, and that text, drawn and advanced,
# within 95 % of the label's width: room for a font a little wider than Wine's Tahoma.
check_labels() {
    local dpi="$1" name="$2" probe="$3" id text ink advance width count=0
    for id in $(value_of "$probe" labels); do
        text=$(value_of "$probe" "label.$id.text")
        ink=$(value_of "$probe" "label.$id.inkWidth")
        advance=$(value_of "$probe" "label.$id.textWidth")
        width=$(value_of "$probe" "label.$id.width")
        figure "dpi $dpi ($name): label \"$text\" text $ink (advance $advance) of $width pixels"
        expect_value "$probe" "label.$id.differing" 0
        [ $((ink > advance ? ink : advance)) -le $((width * 95 / 100)) ] ||
            fail "label $id: its text takes $ink (advance $advance) of $width pixels at $dpi DPI"
        count=$((count + 1))
    done
    [ "$count" -eq 4 ] || fail "$count labels measured, expected 4"
}

# check_progress <dpi>: "Update" on the ready unit, whose 800th block is refused so that the run
# ends early; meanwhile, with a tenth of the image written, the progress window's bar at least 25
# pixels high at 96 DPI, scaled, and a screenshot of the window.
check_progress() {
    local dpi="$1" progress blocks start=$SECONDS
    ui click 1002 || fail "could not click Update"
    # The unit counts the blocks it has taken: the run is measured where it happens.
    while blocks=$(ctl state | sed -n 's/^command_0x1B=//p') && [ "${blocks:-0}" -lt 175 ]; do
        [ $((SECONDS - start)) -lt 60 ] || { fail "fewer than 175 blocks after 60 s"; return; }
        sleep 0.1
    done
    progress=$(ui progress 5000) || { fail "no progress window"; return; }
    local width height clientWidth clientHeight place
    width=$(value_of "$progress" width)
    height=$(value_of "$progress" height)
    clientWidth=$(value_of "$progress" clientWidth)
    clientHeight=$(value_of "$progress" clientHeight)
    figure "dpi $dpi: progress window $width x $height, bar's client area" \
        "$clientWidth x $clientHeight"
    place="${width}x${height}+$(value_of "$progress" left)+$(value_of "$progress" top)"
    import -window root -crop "$place" +repage "$ARTIFACTS/dpi-$dpi-progress.png" 2>/dev/null ||
        fail "no screenshot of the progress window"
    [ $((clientHeight * 96)) -ge $((25 * dpi)) ] ||
        fail "the bar is $clientHeight pixels high at $dpi DPI, less than $((25 * dpi)) / 96"
    ui box 60000 >/dev/null || fail "no failure box after the refused block"
    ui answer 1 5000 >/dev/null || fail "could not close the box"
}

# One pass at a DPI: the dialog without a unit, then with a unit ready; at the DPI under test also
# an update under way.
look_pass() {
    local dpi="$1" tested="$2"
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
        fail "could not set $dpi DPI"
    start_program
    settle "$(msg 40017)"
    shot "dpi-$dpi-no-unit"
    check_look "$dpi" no-unit
    ctl plug fault=0x1B:error:0x77:800 >/dev/null || fail "plug failed"
    settle "$(msg 40000 | cut -c1-40)"
    shot "dpi-$dpi-ready"
    check_look "$dpi" ready
    [ "$dpi" -ne "$tested" ] || check_progress "$dpi"
    stop_program
    ctl unplug-all >/dev/null
}

# 96 DPI first, as the measure of the notice window, then the DPI under test.
dpi_scenario() {
    look_pass 96 "$1"
    [ "$1" -eq 96 ] || look_pass "$1" "$1"
}
scenario_dpi_96() { dpi_scenario 96; }
scenario_dpi_144() { dpi_scenario 144; }
scenario_dpi_192() { dpi_scenario 192; }
