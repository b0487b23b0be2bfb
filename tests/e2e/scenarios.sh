# End-to-end scenarios: sourced by run-scenario.sh, which provides PROGRAM, SIMCTL, UIDRV, STRESS,
# PLANTED, IMAGE, CARRIED_VERSION, CARRIED_TEXT, ARTIFACTS, HALVERN_SOURCE, scenario and the
# failures counter. Each scenario_<name> starts the real program against simulated units plugged
# into the Windows HID stack and checks what the user sees (texts, enabled states, message boxes)
# and what the unit received. Every scenario_<name>() written at the start of a line is a ctest
# entry e2e_<name>, in the order of this file (tests/e2e/CMakeLists.txt reads them from here);
# helpers carry other names.

# --- helpers ---------------------------------------------------------------------------------

ctl() { wine "$SIMCTL" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
ui() { wine "$UIDRV" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

fail() {
    echo "FAIL [$scenario]: $*" >&2
    failures=$((failures + 1))
}

# A catalogue text as the UI driver prints it (line breaks as the two characters \r and \n): the
# literal of messages.def read as the compiler reads it, escapes and all.
msg() {
    python3 - "$1" "$HALVERN_SOURCE/resources/messages.def" <<'EOF'
import ast, re, sys
wanted, path = sys.argv[1], sys.argv[2]
entry = re.compile(r'^MESSAGE\(\s*(\d+)\s*,\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\)\s*$')
for line in open(path, encoding="utf-8"):
    found = entry.match(line)
    if found and found.group(1) == wanted:
        text = ast.literal_eval(found.group(2))
        sys.stdout.buffer.write(text.replace("\r", "\\r").replace("\n", "\\n").encode() + b"\n")
        sys.exit(0)
sys.exit(f"no message {wanted} in {path}")
EOF
}
status_notice() { printf '%s\\r\\n\\r\\n%s' "$(msg "$1")" "$(msg 40001)"; }

# expect_value <output> <key> <value>: the output holds the line key=value.
expect_value() {
    if ! grep -qxF -- "$2=$3" <<<"$1"; then
        fail "expected $2=$3, got: $(grep -F -- "$2=" <<<"$1" | head -1 | cut -c1-300)"
    fi
}

# expect_prefix <output> <key> <prefix>: the line key=... starts with prefix.
expect_prefix() {
    local line
    line=$(grep -F -- "$2=" <<<"$1" | head -1)
    if [ "${line#"$2=$3"}" = "$line" ]; then
        fail "expected $2 to start with $3, got: $(cut -c1-300 <<<"$line")"
    fi
}

value_of() { sed -n "s/^$2=//p" <<<"$1" | head -1; }

# A measured figure: printed, and kept in the scenario's figures.txt.
figure() { echo "$*" | tee -a "$ARTIFACTS/figures.txt"; }

shot() { import -window root "$ARTIFACTS/$1.png" 2>/dev/null || fail "no screenshot $1"; }

start_program() {
    wine "$PROGRAM" >/dev/null 2>&1 &
    program_pid=$!
}

program_running() { [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; }

stop_program() {
    if program_running; then
        ui close 10000 >/dev/null || kill "$program_pid" 2>/dev/null
    fi
    if [ -n "$program_pid" ]; then
        wait "$program_pid" 2>/dev/null
    fi
    program_pid=""
}

# The centre on screen of a control of the dialog (0: the dialog itself), as "x y".
control_centre() {
    local r
    r=$(ui rect "$1") || { fail "no rectangle of control $1"; return 1; }
    echo "$((($(value_of "$r" left) + $(value_of "$r" right)) / 2))" \
        "$((($(value_of "$r" top) + $(value_of "$r" bottom)) / 2))"
}

# Waits up to $1 s for the program to end by itself, with exit code 0 ($2: what should end it).
program_ends() {
    local until=$((SECONDS + $1)) code
    while program_running && [ "$SECONDS" -lt "$until" ]; do sleep 0.05; done
    if program_running; then
        fail "$2 does not end the program"
        return 1
    fi
    wait "$program_pid"
    code=$?
    program_pid=""
    [ "$code" -eq 0 ] || fail "exit code $code"
}

# The dialog once the program has settled on a notice; prints nothing, returns the dump in DUMP.
settle() {
    ui wait-text 40004 "$1" 20000 >/dev/null || fail "notice never started with: $1"
    DUMP=$(ui dump 5000) || fail "no dialog to read"
}

expect_panel_empty() {
    expect_value "$DUMP" control.40013.text "0.0.0"
    expect_value "$DUMP" control.40014.text "0.0.0"
    expect_value "$DUMP" control.40015.text "0.0.0"
    expect_value "$DUMP" control.40013.enabled 0
    expect_value "$DUMP" control.40011.enabled 0
}

# Unit state as key=value lines, with the request log and flash written to the artefacts.
unit_state() { ctl state "$@" log="$ARTIFACTS/log.txt" flash="$ARTIFACTS/flash.bin"; }

# --- start-up states --------------------------------------------------------------------------

scenario_no_unit() {
    start_program
    settle "$(msg 40017)"
    shot no-unit
    expect_value "$DUMP" control.40004.text "$(status_notice 40017)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_value "$DUMP" control.40010.text "Programmiereinheit"
    expect_panel_empty
}

ready_check() { # <pid> <product name>
    ctl plug pid="$1" >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    shot "ready-$2"
    expect_value "$DUMP" control.40004.text "$(msg 40000)"
    expect_value "$DUMP" control.1002.enabled 1
    expect_value "$DUMP" control.40010.text "$2"
    expect_value "$DUMP" control.40013.text "2.1"
    expect_value "$DUMP" control.40014.text "1.2"
    expect_value "$DUMP" control.40015.text "4.7"
    expect_value "$DUMP" control.40015.enabled 1
    local state
    state=$(ctl state pid="$1")
    # Identify, ReadControllerInfo, ReadControllerType: nothing else before the user acts.
    expect_value "$state" exchanges 3
    expect_value "$state" command_0x08 1
    expect_value "$state" command_0x1D 1
    expect_value "$state" command_0x22 1
}

scenario_ready_tessavo() { ready_check 1 TESSAVO; }
scenario_ready_merrowin() { ready_check 2 MERROWIN; }

scenario_boot_mode() {
    ctl plug boot=1 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40015)"
    shot boot-mode
    expect_value "$DUMP" control.40004.text "$(status_notice 40015)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_panel_empty
}

scenario_no_controller() {
    ctl plug state=2 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40016)"
    shot no-controller
    expect_value "$DUMP" control.40004.text "$(status_notice 40016)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_panel_empty
}

scenario_incompatible() {
    ctl plug ctype=0x0C0C80A1 >/dev/null || fail "plug failed"
    start_program
    local box
    box=$(ui box 20000) || fail "no incompatible box"
    shot incompatible-box
    expect_value "$box" caption "$(msg 40033)"
    expect_value "$box" text "$(msg 40034 | sed 's/%s/HALVERN 160/')"
    expect_value "$box" icon information
    expect_value "$box" buttonIds 1 # OK
    # The dialog is on screen before the first look at the unit, so the box comes over it.
    expect_value "$box" dialogVisible 1
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40035)"
    shot incompatible-notice
    expect_value "$DUMP" visible 1
    expect_value "$DUMP" control.40004.text "$(status_notice 40035)"
    expect_value "$DUMP" control.1002.enabled 0
}

# --- device events ------------------------------------------------------------------------------

scenario_arrival_and_removal() {
    start_program
    settle "$(msg 40017)"
    ctl plug >/dev/null || fail "plug failed"
    settle "$(msg 40000 | cut -c1-40)"
    shot arrival-ready
    expect_value "$DUMP" control.1002.enabled 1
    expect_value "$DUMP" control.40015.text "4.7"
    ctl unplug >/dev/null || fail "unplug failed"
    settle "$(msg 40020)"
    shot removal
    expect_value "$DUMP" control.40004.text "$(status_notice 40020)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_value "$DUMP" control.40010.text "TESSAVO" # the last product name stays
    expect_panel_empty
    # Plugged in again, the unit is found again.
    ctl plug >/dev/null || fail "replug failed"
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.1002.enabled 1
}

# A unit that never answers: the window comes first and stays alive over the whole wait; plugged
# in while the program is idle, a real click on "Beenden" during the wait ends the program at
# once. Two units: when the one in use is pulled, the other is found.
scenario_silent_unit_and_second_unit() {
    ctl plug fault=0x08:noanswer >/dev/null || fail "plug of the silent unit failed"
    local begin watch
    start_program
    # Started together with the program: its time to a visible dialog includes Wine's start.
    watch=$(ui watch-dialog 12000) || fail "no visible dialog"
    figure "silent unit at start: dialog visible $(value_of "$watch" visibleAfterMs) ms after \
the start, taken for hung $(value_of "$watch" hung) of $(value_of "$watch" samples) samples \
(longest $(value_of "$watch" longestHungMs) ms) over the next 12 s"
    expect_value "$watch" noticeEmptyWhenVisible 1
    expect_value "$watch" hung 0
    settle "$(msg 40017)"
    stop_program
    ctl unplug >/dev/null

    start_program
    settle "$(msg 40017)"
    ctl plug fault=0x08:noanswer >/dev/null || fail "plug of the silent unit failed"
    sleep 1.5
    local quit
    quit=$(control_centre 2)
    begin=$(date +%s.%N)
    # shellcheck disable=SC2086
    xdotool mousemove $quit click 1 || fail "xdotool failed"
    program_ends 8 "a click on Beenden during the wait" &&
        figure "$(printf 'click on Beenden during the wait for a silent unit: ended after %.2f s' \
            "$(echo "$(date +%s.%N) - $begin" | bc)")"
    ctl unplug >/dev/null

    ctl plug pid=1 >/dev/null || fail "plug of the TESSAVO failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.40010.text "TESSAVO"
    # The first look at the unit comes from the dialog's queue once; posted again by another
    # program (WM_APP + 1), it looks at nothing.
    local identified
    identified=$(ctl state pid=1 | sed -n 's/^command_0x08=//p')
    ui post 0x8001 || fail "could not post to the dialog"
    sleep 0.5
    expect_value "$(ctl state pid=1)" command_0x08 "$identified"
    ctl plug pid=2 >/dev/null || fail "plug of the MERROWIN failed"
    ctl unplug pid=1 >/dev/null || fail "unplug of the TESSAVO failed"
    ui wait-text 40010 MERROWIN 20000 >/dev/null || fail "the second unit was not found"
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.1002.enabled 1
    ctl unplug pid=2 >/dev/null
}

# Pulled during the 4 s after the erase: the run stops at once and says that the unit is gone.
scenario_pull_during_erase_pause() {
    ctl plug >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    local until=$((SECONDS + 30))
    until [ "$(ctl state | sed -n 's/^command_0x1E=//p')" = 1 ] || [ "$SECONDS" -ge "$until" ]; do
        sleep 0.1
    done
    sleep 1.5
    local begin end box
    begin=$(date +%s.%N)
    ctl unplug >/dev/null || fail "unplug failed"
    box=$(ui box 10000) || fail "no failure box"
    end=$(date +%s.%N)
    figure "$(printf 'pull during the erase pause: failure box %.2f s after the unplug' \
        "$(echo "$end - $begin" | bc)")"
    expect_value "$box" caption "$(msg 40002)"
    expect_prefix "$box" text "$(msg 40022)"
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40030)"
    if grep -q '^command_0x1[BF]=' <<<"$(ctl state)"; then fail "requests after the pull"; fi
}

# Keyboard only (real keys through the X server), focus and names read from another process as
# a screen reader reads them: the focus never ends on no control, the notice scrolls by keys.
scenario_keyboard_and_screen_reader() {
    start_program
    settle "$(msg 40017)"
    ui wait-focus 2 >/dev/null || fail "the focus does not start on Beenden"
    local names order
    names=$(ui names) || fail "no accessible dialog"
    order=$(sed -n 's/^child=\(-\?[0-9]*\) .*/\1/p' <<<"$names" | tr '\n' ' ')
    [ "$order" = "2 1002 40007 40010 40013 1005 40014 40011 40015 -1 40004 " ] ||
        fail "a screen reader reads the controls in the order $order"
    expect_value "$names" child "40004 Hinweisfenster:"
    figure "screen reader reads: $(sed -n 's/^child=-\?[0-9]* //p' <<<"$names" | paste -sd '|')"
    # "Update" is disabled: Tab goes on to the notice, whose 19 lines do not all show.
    xdotool key Tab || fail "xdotool failed"
    ui wait-focus 40004 5000 >/dev/null || fail "Tab does not reach the notice"
    expect_value "$(ui top-line 40004)" topLine 0 # not scrolled to its end by a selection
    xdotool key Next sleep 0.3 key Next || fail "xdotool failed"
    sleep 0.5
    local top
    top=$(ui top-line 40004)
    [ "$(value_of "$top" topLine)" -gt 0 ] || fail "Page Down does not scroll the notice"
    figure "notice after two Page Downs: line $(value_of "$top" topLine) on top:" \
        "$(value_of "$top" topText)"
    # A unit arrives, "Update" takes the focus by Tab (from the notice round to it) and the unit
    # is pulled: the focus goes to "Beenden".
    ctl plug >/dev/null || fail "plug failed"
    settle "$(msg 40000 | cut -c1-40)"
    xdotool key shift+Tab || fail "xdotool failed"
    ui wait-focus 1002 5000 >/dev/null || fail "Shift+Tab does not reach Update"
    ctl unplug >/dev/null || fail "unplug failed"
    settle "$(msg 40020)"
    local focus
    focus=$(ui wait-focus 2 5000) || fail "the focus is not on Beenden after the removal"
    figure "focus after the removal: $focus"
    # Again, and Space on "Update" runs a whole update; then Escape ends the program.
    ctl plug >/dev/null || fail "replug failed"
    settle "$(msg 40000 | cut -c1-40)"
    xdotool key Tab || fail "xdotool failed"
    ui wait-focus 1002 5000 >/dev/null || fail "Tab does not reach Update"
    xdotool key space || fail "xdotool failed"
    ui wait-text 40004 "$(msg 40032 | cut -c1-40)" 120000 >/dev/null ||
        fail "the update did not complete"
    focus=$(ui wait-focus 2 5000) || fail "the focus is not on Beenden after the success"
    figure "focus after the success: $focus"
    # The version question is open while the unit is replaced by a slow one (2 s a reply): Enter
    # answers the box while the program waits for the new unit. "Ja" then holds for nothing, and
    # the new unit is found again once the failure box is closed.
    ctl unplug-all >/dev/null
    ctl plug cfw="$CARRIED_VERSION" >/dev/null || fail "plug failed"
    settle "$(msg 40000 | cut -c1-40)"
    xdotool key Tab || fail "xdotool failed"
    ui wait-focus 1002 5000 >/dev/null || fail "Tab does not reach Update"
    xdotool key space || fail "xdotool failed"
    ui box 10000 >/dev/null || fail "no version question"
    ctl unplug >/dev/null
    ctl plug pid=2 delay=2000 racefix=0 >/dev/null || fail "plug of the slow unit failed"
    sleep 1
    xdotool key Return || fail "xdotool failed"
    ui box-gone 1500 >/dev/null || fail "Enter does not answer the question during a wait"
    expect_prefix "$(ui box 15000)" text "$(msg 40022)"
    ui answer 1 5000 >/dev/null || fail "could not close the failure box"
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.40010.text MERROWIN
    xdotool key Escape || fail "xdotool failed"
    program_ends 10 "Escape"
}

scenario_foreign_device() {
    start_program
    settle "$(msg 40017)"
    # Another vendor's HID device arrives: discovery runs, finds nothing, nothing changes.
    ctl plug vid=0x1A2B pid=3 >/dev/null || fail "plug of the foreign device failed"
    ui no-box 1500 >/dev/null || fail "a box appeared for a foreign device"
    DUMP=$(ui dump 5000)
    expect_value "$DUMP" control.40004.text "$(status_notice 40017)"
    expect_value "$DUMP" control.1002.enabled 0
    local foreign
    foreign=$(ctl state vid=0x1A2B pid=3)
    expect_value "$foreign" exchanges 0 # never written to: it is not a unit
    # The unit arrives while the foreign device stays; then the foreign device goes away.
    ctl plug >/dev/null || fail "plug of the unit failed"
    settle "$(msg 40000 | cut -c1-40)"
    ctl unplug vid=0x1A2B pid=3 >/dev/null || fail "unplug of the foreign device failed"
    ui no-box 1000 >/dev/null || fail "a box appeared on the foreign removal"
    DUMP=$(ui dump 5000)
    shot foreign-removed-unit-stays
    expect_value "$DUMP" control.40004.text "$(msg 40000)"
    expect_value "$DUMP" control.1002.enabled 1
    # The unit still answers: its removal is noticed as the open unit's.
    ctl unplug >/dev/null || fail "unplug of the unit failed"
    settle "$(msg 40020)"
}

# --- updates --------------------------------------------------------------------------------------

# Requests of a complete update after identification, checked against the carried image.
check_full_update_log() {
    local state="$1"
    local blocks=$((($(stat -c %s "$IMAGE") + 47) / 48))
    expect_value "$state" command_0x1B "$blocks"
    expect_value "$state" command_0x1E 1
    expect_value "$state" command_0x1F 1
    expect_value "$state" command_0x0B 2 # lock on, lock off
    expect_value "$state" command_0x20 2 # protection off, on
    expect_value "$state" systemLocked 0
    expect_value "$state" writeProtected 1
    if ! cmp -s "$ARTIFACTS/flash.bin" "$IMAGE"; then
        fail "the controller's flash differs from the carried image"
    fi
    # Order: identification, lock, protection off, erase, address, the blocks, protection on,
    # lock off.
    local order
    order=$(awk '{print $3}' "$ARTIFACTS/log.txt" | uniq | tr '\n' ' ')
    if [ "$order" != "08 1D 22 0B 20 1E 1F 1B 20 0B " ]; then
        fail "request order: $order"
    fi
}

# Processor time (user and system) that process $1 has used so far, in seconds.
cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.2f", ($12 + $13) / hz }' \
        "/proc/$1/stat"
}

# The whole flash (a helper of the scenarios below); options after the name go to the unit.
full_update() {
    ctl plug "$@" >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    local begin end progress cpuBegin programCpu
    cpuBegin=$(cpu_seconds "$program_pid")
    begin=$(date +%s.%N)
    ui click 1002 || fail "could not click Update"
    progress=$(ui progress 15000) || fail "no progress window"
    expect_value "$progress" title "$(msg 40029)"
    sleep 10
    shot full-update-progress
    ui wait-text 40004 "$(msg 40032 | cut -c1-40)" 120000 >/dev/null ||
        fail "the update did not complete"
    end=$(date +%s.%N)
    programCpu=$(echo "$(cpu_seconds "$program_pid") - $cpuBegin" | bc)
    settle "$(msg 40032 | cut -c1-40)"
    shot full-update-done
    ui no-progress 2000 >/dev/null || fail "the progress window is still there"
    expect_value "$DUMP" control.40004.text "$(msg 40032)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_value "$DUMP" control.40015.text "$CARRIED_TEXT"
    check_full_update_log "$(unit_state)"
    local wall floor=$((5080 + 20 * (($(stat -c %s "$IMAGE") + 47) / 48)))
    wall=$(echo "$end - $begin" | bc)
    figure "$(printf 'full update: %.2f s wall, %.3f times the %.3f s pause floor' "$wall" \
        "$(echo "$wall * 1000 / $floor" | bc -l)" "$(echo "$floor / 1000" | bc -l)")"
    compare_with_reference_client
}

# The same unit updated once more, by the reference client (the update's requests and pauses and
# nothing else): its requests must be the program's byte for byte, and the program's time from
# lock to unlock, as the unit received them, is set against the client's and the pause floor.
compare_with_reference_client() {
    stop_program # its handle would queue the client's replies too
    local reference clientCpu
    reference=$(/usr/bin/time -f '%U %S' -o "$ARTIFACTS/reference-cpu.txt" \
        wine "$SIMCTL" reference image="$IMAGE" 2>&1 | tr -d '\r') ||
        fail "the reference client failed: $reference"
    clientCpu=$(awk '{ printf "%.2f", $1 + $2 }' "$ARTIFACTS/reference-cpu.txt")
    figure "$(printf 'processor time of the update: program %s s, reference client %s s, ratio %.2f' \
        "$programCpu" "$clientCpu" "$(echo "$programCpu / $clientCpu" | bc -l)") (goal: <= 1.5)"
    local all="$ARTIFACTS/log-with-reference.txt"
    ctl state log="$all" flash="$ARTIFACTS/flash-reference.bin" >/dev/null ||
        fail "no unit state after the reference client"
    if ! cmp -s "$ARTIFACTS/flash-reference.bin" "$IMAGE"; then
        fail "the reference client's flash differs from the carried image"
    fi
    # The last two updates in the unit's log: the program's, then the client's.
    local pace count program client floor
    pace=$(ctl pace) || fail "no pace"
    count=$(sed -n 's/^updates=//p' <<<"$pace")
    if [ "${count:-0}" -lt 2 ]; then
        fail "expected the program's and the client's update, got: $(tr '\n' ' ' <<<"$pace")"
        return
    fi
    pace_of() { sed -n "s/^update\.$1\.$2=//p" <<<"$pace"; }
    program=$(pace_of $((count - 1)) lockToUnlockMs)
    client=$(pace_of "$count" lockToUnlockMs)
    # Requests from lock to unlock, byte for byte the same.
    local range first last
    range=$(pace_of "$count" requests)
    first=${range%-*}
    last=${range#*-}
    if ! cmp -s <(tail -n $((last - first + 1)) "$ARTIFACTS/log.txt") \
        <(sed -n "$((first + 1)),$((last + 1))p" "$all"); then
        fail "the reference client's requests differ from the program's"
    fi
    # Pauses from lock to unlock: 20, 20, the erase's 1000, 4000, 20, 20, and 20 per block.
    floor=$((5080 + 20 * (($(stat -c %s "$IMAGE") + 47) / 48)))
    if [ -z "$program" ] || [ -z "$client" ] || [ "${client%.*}" -le 0 ]; then
        fail "no lock-to-unlock times in: $(tr '\n' ' ' <<<"$pace")"
        return
    fi
    figure "$(printf 'lock to unlock: program %.3f s, reference client %.3f s, pause floor %.3f s' \
        "$(echo "$program / 1000" | bc -l)" "$(echo "$client / 1000" | bc -l)" \
        "$(echo "$floor / 1000" | bc -l)")"
    figure "$(printf 'program / reference client: %.4f (goal: <= 1.005, median of three %s' \
        "$(echo "$program / $client" | bc -l)" "updates); program / pause floor:") $(printf '%.4f' \
        "$(echo "$program / $floor" | bc -l)")"
    # The median gap is the cost of one block as it usually goes, free of the outliers that a
    # busy machine puts into either run.
    local programGap clientGap
    programGap=$(pace_of $((count - 1)) medianBlockGapMs)
    clientGap=$(pace_of "$count" medianBlockGapMs)
    figure "$(printf 'median gap between blocks: program %s ms, reference client %s ms, ratio %.4f' \
        "$programGap" "$clientGap" "$(echo "$programGap / $clientGap" | bc -l)")"
    # Where the time from lock to unlock goes, phase by phase, and what the program adds to each.
    awk -v p="$(pace_of $((count - 1)) phasesMs)" -v c="$(pace_of "$count" phasesMs)" 'BEGIN {
        split("lock to erase|erase and its pause|address to first block|the blocks|" \
            "last block to unlock", name, "|")
        split(p, program, " "); split(c, client, " ")
        for (i = 1; i <= 5; i++)
            printf "phase %-24s program %9.3f ms, client %9.3f ms, program - client %8.3f ms\n",
                name[i] ":", program[i], client[i], program[i] - client[i]
    }' | while IFS= read -r line; do figure "$line"; done
}

# Three complete updates in a row, each on a unit fresh from the box (a unit plugged again with
# the same options would keep its flashed controller and ask the version question).
scenario_full_update_three_times() {
    local run
    for run in 1 2 3; do
        figure "run $run of 3"
        full_update unitinfo=$run
        stop_program
        ctl unplug-all >/dev/null
    done
}

# The unit's driver lets the host meet Wine's read race, as a real unit's would: the program's
# reads, posted before their requests, must still get every reply.
scenario_full_update_unfixed_driver() { full_update racefix=0; }

# During a whole flash the system never takes the program for hung; a logoff is refused; what the
# user clicks and types meanwhile (a real click on the disabled "Beenden", a click on the close
# box, Escape) and the closes another program sends are dropped, so the program stays open with
# the success notice.
scenario_alive_during_update() {
    ctl plug >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui hung-watch 120000 >"$ARTIFACTS/hung-watch.txt" &
    local watcher=$! position=0 until=$((SECONDS + 60))
    ui click 1002 || fail "could not click Update"
    while [ "$position" -lt 50 ] && [ "$SECONDS" -lt "$until" ]; do
        position=$(ui progress 15000 | sed -n 's/^position=//p')
        position=${position:-0}
    done
    [ "$position" -ge 50 ] || fail "the bar never reached half way"
    DUMP=$(ui dump 5000) || fail "no dialog to read during the flash"
    expect_value "$DUMP" control.2.enabled 0
    expect_value "$DUMP" control.1002.enabled 0
    expect_value "$(ui end-session)" answer 0
    # What another program could send meanwhile: closes, system commands, the window menu and a
    # press on the close box, each answered at once without effect; the progress window stays.
    local closes
    closes=$(ui send-closes) || fail "could not send the closes"
    expect_value "$closes" delivered 8
    expect_value "$closes" progressKept 1
    local quit dialog
    quit=$(control_centre 2) && dialog=$(ui rect 0) || fail "no rectangles to click"
    # shellcheck disable=SC2086
    xdotool mousemove $quit click 1 sleep 0.3 key Escape sleep 0.3 \
        mousemove $(($(value_of "$dialog" right) - 12)) $(($(value_of "$dialog" top) + 12)) \
        click 1 || fail "xdotool failed"
    shot alive-during-update-clicked
    ui wait-text 40004 "$(msg 40032 | cut -c1-40)" 120000 >/dev/null ||
        fail "the update did not complete"
    wait "$watcher" || fail "the hung watch did not see the progress window end"
    local watch
    watch=$(cat "$ARTIFACTS/hung-watch.txt")
    figure "taken for hung during the flash: $(value_of "$watch" hung) of $(value_of "$watch" \
        samples) samples, longest stretch $(value_of "$watch" longestHungMs) ms"
    expect_value "$watch" hung 0
    sleep 2
    program_running || { fail "the program ended: input given during the flash was replayed"; return; }
    settle "$(msg 40032 | cut -c1-40)"
    expect_value "$DUMP" control.2.enabled 1
    expect_value "$(ui end-session)" answer 1
    check_full_update_log "$(unit_state)"
    ui close 10000 >/dev/null || fail "the program did not close"
    program_ends 10 "Beenden"
}

# --- lost replies -----------------------------------------------------------------------------

# Two busy loops for the duration of a command, as a loaded machine.
while_busy() {
    local busy=() status
    ( while :; do :; done ) &
    busy+=($!)
    ( while :; do :; done ) &
    busy+=($!)
    "$@"
    status=$?
    kill "${busy[@]}" 2>/dev/null
    wait "${busy[@]}" 2>/dev/null
    return "$status"
}

# exchange_stress <read order> <unit options...>: 3,000 paced exchanges while the machine is
# busy; no reply may be lost.
exchange_stress() {
    local order="$1" out
    shift
    ctl plug "$@" >/dev/null || fail "plug failed"
    out=$(while_busy wine "$STRESS" "$order" 3000 1000 2>&1 | tr -d '\r') ||
        fail "exchanges failed or lost: $out"
    figure "paced exchanges, read $order, unit $*: $(tr '\n' ' ' <<<"$out")"
    expect_value "$out" lost 0
    expect_value "$out" failed 0
}

# The program's reads, posted before the request, against a driver that leaves the race open.
scenario_stress_posted_reads() { exchange_stress posted racefix=0; }
# A client that reads only after its write, against the driver that holds each write until its
# reply has been taken (the simulated unit's own fix).
scenario_stress_reads_after_write() { exchange_stress after racefix=1; }

scenario_version_question_no() {
    ctl plug cfw="$CARRIED_VERSION" >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    local box
    box=$(ui box 10000) || fail "no version question"
    shot version-question
    expect_value "$box" caption "$(msg 40025)"
    expect_value "$box" text "$(msg 40023)"
    expect_value "$box" icon warning
    expect_value "$box" buttonIds "6,7" # Yes, No
    ui answer 7 5000 >/dev/null || fail "could not answer No"
    ui no-progress 1000 >/dev/null
    DUMP=$(ui dump 5000)
    expect_value "$DUMP" control.40004.text "$(msg 40000)"
    expect_value "$DUMP" control.1002.enabled 1
    local state
    state=$(ctl state)
    expect_value "$state" exchanges 3 # nothing sent after identification
}

scenario_version_question_yes() {
    # Yes goes on into the update; its first block is refused, which ends the run quickly.
    ctl plug cfw=0x0500 fault=0x1B:error:0x77:1 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    ui answer 6 10000 >/dev/null || fail "could not answer Yes"
    local box
    box=$(ui box 20000) || fail "no failure box"
    shot version-yes-failed-block
    expect_value "$box" caption "$(msg 40002)"
    expect_prefix "$box" text "$(msg 40009)\\r\\nDas System meldet Fehlercode 0x00000077-0x"
    local state
    state=$(ctl state)
    expect_value "$state" command_0x1E 1
    expect_value "$state" command_0x1B 1
    ui answer 1 5000 >/dev/null
}

scenario_erase_fails() {
    ctl plug fault=0x1E:error:0x0E55 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    local box
    box=$(ui box 20000) || fail "no failure box"
    shot erase-fails
    expect_value "$box" caption "$(msg 40002)"
    expect_prefix "$box" text "$(msg 40028)\\r\\nDas System meldet Fehlercode 0x00000e55-0x"
    expect_value "$box" icon error
    expect_value "$box" buttonIds 1 # OK
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40030)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_panel_empty
    local state
    state=$(ctl state)
    if grep -q '^command_0x1[BF]=' <<<"$state"; then fail "requests after the failed erase"; fi
}

# Starts an update and pulls the unit out at its 107th request: the 100th block finds it gone (3
# identification and 4 preparing requests come before), and the device node is removed as a real
# unplug would.
update_then_unplug_at_block_100() {
    ctl plug unplugat=107 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    ctl unplug-at 107 timeout=60000 >/dev/null || fail "the unplug at exchange 107 failed"
}

scenario_unplug_during_blocks() {
    update_then_unplug_at_block_100
    local box
    box=$(ui box 20000) || fail "no failure box"
    shot unplug-during-blocks
    expect_value "$box" caption "$(msg 40002)"
    # The write fails because the unit is gone: the report says so, with the block's code line.
    expect_prefix "$box" text "$(msg 40022)\\r\\nDas System meldet Fehlercode 0xfffffffe-0x"
    expect_value "$box" icon error
    ui no-progress 1000 >/dev/null || fail "the progress window outlived the failure"
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40030)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_panel_empty
    ui wait-focus 2 5000 >/dev/null || fail "the focus is not on Beenden after the failure"
    local state
    state=$(ctl state)
    expect_value "$state" present 0
    expect_value "$state" exchanges 107 # nothing after the failed block
    expect_value "$state" command_0x1B 99 # the 100th was not taken
}

scenario_unit_stops_answering() {
    # The 50th block is taken but never answered: the program must give up after its I/O bound.
    ctl plug fault=0x1B:noanswer:0:50 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    local box begin end
    begin=$(date +%s.%N)
    box=$(ui box 60000) || fail "no failure box: the program hangs"
    end=$(date +%s.%N)
    shot unit-stops-answering
    expect_value "$box" caption "$(msg 40002)"
    expect_prefix "$box" text "$(msg 40009)\\r\\nDas System meldet Fehlercode 0xfffffffd-0x"
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40030)"
    expect_value "$DUMP" control.1002.enabled 0
    figure "$(printf 'unanswered request: failure box %.1f s after the click' \
        "$(echo "$end - $begin" | bc)")"
    # The program is still responsive: the unit is plugged in again and found.
    ctl unplug >/dev/null
    ctl plug >/dev/null || fail "replug failed"
    settle "$(msg 40000 | cut -c1-40)"
}

# --- figures ---------------------------------------------------------------------------------------

# Exchange time through the stack, and the program's handles and windows before and after 100
# plug/unplug cycles of the open unit. A leak of one handle per cycle or more fails the scenario.
# (GDI and USER object counts are printed too, but Wine's GetGuiResources always answers 0.)
scenario_plug_cycles() {
    ctl plug >/dev/null || fail "plug failed"
    local probe cycles first
    probe=$(ctl probe 1000) || fail "probe failed"
    expect_prefix "$probe" written 59 # Wine counts the report ID byte out of the written length
    figure "exchange through the stack: $(grep -E '^exchanges=' <<<"$probe")"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    first=$(ctl state | sed -n 's/^command_0x08=//p')
    local before after
    before=$(ui resources) || fail "no resource counts"
    # Each arrival must be identified (3 requests) before the next unplug.
    cycles=$(ctl cycles 100 await=3) || fail "the cycles failed: $cycles"
    figure "plug cycles: $cycles"
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.1002.enabled 1
    after=$(ui resources) || fail "no resource counts"
    figure "before 100 cycles: $(tr '\n' ' ' <<<"$before")"
    figure "after 100 cycles:  $(tr '\n' ' ' <<<"$after")"
    local key b a
    for key in handles windows; do
        b=$(sed -n "s/^$key=//p" <<<"$before")
        a=$(sed -n "s/^$key=//p" <<<"$after")
        if [ -z "$a" ] || [ -z "$b" ] || [ "$b" -le 0 ] || [ "$a" -ge $((b + 50)) ]; then
            fail "$key grew from $b to $a over 100 cycles"
        fi
    done
    # One identification per arrival, nothing more: 100 more Identify requests.
    expect_value "$(ctl state)" command_0x08 $((first + 100))
}

# A unit whose reports are longer, then shorter, than the 60 bytes of a real unit: the lengths
# reach the program through HidP_GetCaps; whatever it makes of them, it must neither crash nor hang.
scenario_odd_report_lengths() {
    local lengths
    for lengths in "in=65 out=65" "in=33 out=33"; do
        # shellcheck disable=SC2086
        ctl plug $lengths >/dev/null || fail "plug with $lengths failed"
        local probe
        probe=$(ctl probe 0 2>/dev/null | grep -i 'vid=0x21B8')
        if ! grep -qF "$lengths" <<<"$probe"; then
            fail "capabilities for $lengths: $probe"
        fi
        start_program
        DUMP=$(ui dump 20000) || fail "no dialog with $lengths"
        sleep 2
        program_running || fail "the program ended with $lengths"
        shot "lengths-${lengths// /-}"
        ui dump 5000 >/dev/null || fail "the dialog does not answer with $lengths"
        stop_program
        ctl unplug-all >/dev/null
    done
}

# --- refusals, recovery, one program at a time ----------------------------------------------------

# The requests of the given commands that the unit received; "" when none.
count_of() { sed -n "s/^command_$2=//p" <<<"$1"; }

# After a refused step: the box with the step's message and its code line, closed, then notice
# 40030, "Update" off, the panel empty.
expect_refused_run() { # <message id> <code line values> <screenshot>
    local box
    box=$(ui box 60000) || fail "no failure box"
    shot "$3"
    expect_value "$box" caption "$(msg 40002)"
    expect_value "$box" text "$(msg "$1")\\r\\nDas System meldet Fehlercode 0x$2"
    expect_value "$box" icon error
    ui no-progress 2000 >/dev/null || fail "the progress window outlived the failure"
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40030)"
    expect_value "$DUMP" control.40004.text "$(msg 40030)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_panel_empty
}

scenario_block_refused_without_code() {
    # The 500th block is refused by an error reply whose code is 0.
    ctl plug fault=0x1B:error:0:500 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    expect_refused_run 40009 "ff000000-0x00000000" block-refused-without-code
    local state
    state=$(ctl state)
    expect_value "$state" command_0x1B 500 # nothing after the refused block
    expect_value "$state" command_0x20 1   # no closing commands
    expect_value "$state" command_0x0B 1
}

scenario_lock_refused() {
    # The unit refuses the lock (marker 0xFF, code 0x1234) yet echoes the flag.
    ctl plug fault=0x0B:error:0x1234 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    expect_refused_run 40026 "00001234-0x00000000" lock-refused
    local state
    state=$(ctl state)
    expect_value "$state" exchanges 4 # identification and the lock, nothing else
    expect_value "$state" writeProtected 1
    [ -z "$(count_of "$state" 0x1E)$(count_of "$state" 0x20)" ] || fail "requests after the lock"
}

scenario_info_refused_on_newer() {
    # The controller holds 4.9, and the unit refuses its info read with a code whose 16 bits are 0.
    ctl plug cfw=0x0409 fault=0x1D:error:0x00010000 >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40017)"
    shot info-refused
    expect_value "$DUMP" control.40004.text "$(status_notice 40017)"
    expect_value "$DUMP" control.1002.enabled 0
    expect_panel_empty
    local state
    state=$(ctl state)
    expect_value "$state" exchanges 2 # Identify and the refused info read: nothing written
    expect_value "$state" command_0x1D 1
}

scenario_second_start() {
    ctl plug >/dev/null || fail "plug failed"
    start_program
    settle "$(msg 40000 | cut -c1-40)"
    ui click 1002 || fail "could not click Update"
    ui progress 15000 >/dev/null || fail "no progress window"
    # A second copy while the first one writes: it shows the first and ends with 0.
    second_copy_ends
    expect_value "$(ui dialogs)" dialogs 1
    figure "second start: ended after about $((waited * 100)) ms"
    # The first copy goes on undisturbed, and the unit saw one identification.
    ui wait-text 40004 "$(msg 40032 | cut -c1-40)" 120000 >/dev/null ||
        fail "the update did not complete"
    settle "$(msg 40032 | cut -c1-40)"
    expect_value "$(ui dialogs)" dialogs 1
    check_full_update_log "$(unit_state)"
    expect_value "$(ctl state)" command_0x08 1
    # A start while the first copy is closing (its dialog gone, the name held 3 s more): the new
    # copy runs once the name is free. A name that cannot be created at all stops nothing.
    stop_program
    local hold started
    for hold in 3000 "10000 event"; do
        # shellcheck disable=SC2086
        hold_name $hold
        started=$(date +%s%N)
        start_program
        DUMP=$(ui dump 20000) || fail "no dialog from a start while the name was held ($hold)"
        started=$((($(date +%s%N) - started) / 1000000))
        figure "start while the name is held ($hold): dialog after $started ms"
        expect_value "$(ui dialogs)" dialogs 1
        wait "$holder"
        stop_program
    done
    # A copy of another user (or with other rights) holds a mutex that this one may not open: the
    # name is held and no window of its holder shows here, so the new copy says so in a box,
    # sends nothing and ends with 0 once the box is closed.
    local exchanges
    exchanges=$(ctl state | sed -n 's/^exchanges=//p')
    hold_name 20000 denied
    second_copy_ends "$(msg 40038)"
    expect_value "$(ctl state)" exchanges "$exchanges"
    wait "$holder"
}

# Starts a copy of the program and waits up to 30 s for it to end by itself with 0 (waited: in
# tenths of a second); with a text, the copy first shows a box with that text, which is closed.
second_copy_ends() { # [box text]
    local second rc box
    waited=0
    wine "$PROGRAM" >/dev/null 2>&1 &
    second=$!
    if [ -n "${1:-}" ]; then
        box=$(ui box 20000) || fail "the second copy showed no box"
        expect_value "$box" text "$1"
        ui answer 1 5000 >/dev/null || fail "could not close the second copy's box"
    fi
    while kill -0 "$second" 2>/dev/null && [ "$waited" -lt 300 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$second" 2>/dev/null; then
        fail "the second copy still runs after 30 s"
        kill "$second" 2>/dev/null
    fi
    wait "$second"
    rc=$?
    [ "$rc" -eq 0 ] || fail "the second copy ended with $rc"
}

# Holds the program's single-copy name in the background (pid in holder), as a closing copy.
hold_name() { # <ms> [event]
    wine "$UIDRV" hold-name "$@" >"$ARTIFACTS/held.txt" 2>&1 &
    holder=$!
    for _ in $(seq 200); do grep -q held=1 "$ARTIFACTS/held.txt" && return; sleep 0.1; done
    fail "the name could not be held"
}

scenario_recovery_after_unplug() {
    # The unit is pulled out during the blocks, the box answered; the same unit is plugged in
    # again and "Update" pressed once more.
    update_then_unplug_at_block_100
    ui box 20000 >/dev/null || fail "no failure box"
    ui answer 1 5000 >/dev/null || fail "could not close the box"
    settle "$(msg 40030)"
    ctl plug unplugat=107 >/dev/null || fail "replug failed" # the same unit: its flash is kept
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.1002.enabled 1
    ui click 1002 || fail "could not click Update again"
    ui wait-text 40004 "$(msg 40032 | cut -c1-40)" 120000 >/dev/null ||
        fail "the second run did not complete"
    settle "$(msg 40032 | cut -c1-40)"
    shot recovery-done
    expect_value "$DUMP" control.40015.text "$CARRIED_TEXT"
    local state blocks=$((($(stat -c %s "$IMAGE") + 47) / 48))
    state=$(unit_state)
    expect_value "$state" command_0x1B $((99 + blocks))
    expect_value "$state" writeProtected 1
    expect_value "$state" systemLocked 0
    cmp -s "$ARTIFACTS/flash.bin" "$IMAGE" || fail "the controller's flash differs from the image"
}

# --- libraries beside the program ---------------------------------------------------------------

# The names of the libraries of Windows that a program file names, in its import table or elsewhere
# (ASCII or UTF-16), in lower case, one line each.
library_names() {
    python3 - "$1" <<'PY' |
import re, sys
data = open(sys.argv[1], "rb").read()
names = re.compile(r"(?<![A-Za-z0-9_.-])[A-Za-z0-9_-]+\.dll", re.I)
texts = [data.decode("latin-1")] + [data[at:].decode("utf-16-le", "replace") for at in (0, 1)]
for text in texts:
    print("\n".join(names.findall(text)))
PY
        tr '[:upper:]' '[:lower:]' | sort -u |
        while read -r name; do [ ! -f "$WINEPREFIX/drive_c/windows/system32/$name" ] || echo "$name"; done
}

scenario_planted_libraries() {
    # A copy of the program in a download folder, beside it a library under each name that the
    # program uses, each leaving a marker when loaded. With n,b Wine prefers a library in the
    # program's folder, as Windows does for every name that is not a KnownDLL; Wine knows no
    # KnownDLLs, so those (always taken from the system folder by Windows) are not planted.
    local folder="$ARTIFACTS/downloads" names name
    mkdir -p "$folder"
    cp "$PROGRAM" "$folder/"
    names=$(library_names "$PROGRAM" |
        grep -vxFf <(bash "$HALVERN_SOURCE/cmake/check-imports.sh" --known-dlls))
    [ -n "$names" ] || fail "no library names read from the program"
    for name in $names; do cp "$PLANTED" "$folder/$name"; done
    figure "planted: $(paste -sd ' ' <<<"$names")"
    ctl plug >/dev/null || fail "plug failed"
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(sed 's/\.dll$//' <<<"$names" | paste -sd ,)=n,b" \
        wine "$folder/HalvernUpdater.exe" >/dev/null 2>&1 &
    program_pid=$!
    settle "$(msg 40000 | cut -c1-40)"
    expect_value "$DUMP" control.1002.enabled 1
    ui close 10000 >/dev/null || fail "the program did not close"
    program_ends 10 "closing"
    local loaded
    loaded=$(cd "$folder" && ls -- *.loaded 2>/dev/null | paste -sd ' ')
    figure "loaded from the program's folder: ${loaded:-none}"
    [ -z "$loaded" ] || fail "libraries planted beside the program were loaded: $loaded"
}
