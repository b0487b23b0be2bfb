# shellcheck shell=bash
# Sourced by tools/run.sh and tools/demo.sh inside Xvfb: pictures of the program's windows (the
# dialog, and the progress window or a message box where one is open), taken once they have
# painted. Inside that Xvfb only Wine's windows are shown, so the shown top-level windows are
# the program's; Wine draws their frames and captions itself (tools/wine-prefix.sh).

# The rectangle around the shown top-level windows, with a small margin, as WxH+X+Y for
# ImageMagick's -crop; nothing when no window is shown.
ProgramArea() {
    local id
    xwininfo -root -children 2>/dev/null | grep -o '^ *0x[0-9a-f]*' | while read -r id; do
        xwininfo -id "$id" 2>/dev/null | awk '
            /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
            /Width:/ { w = $NF } /Height:/ { h = $NF } /Map State: IsViewable/ { shown = 1 }
            END { if (shown && w > 20 && h > 20) print x, y, w, h }'
    done | awk -v margin=8 '
        { if (n++ == 0 || $1 < l) l = $1; if (n == 1 || $2 < t) t = $2
          if (n == 1 || $1 + $3 > r) r = $1 + $3; if (n == 1 || $2 + $4 > b) b = $2 + $4 }
        END { if (n) { l -= margin; t -= margin; if (l < 0) l = 0; if (t < 0) t = 0
                       printf "%dx%d+%d+%d\n", r + margin - l, b + margin - t, l, t } }'
}

# ShotProgram <file.png>: the program's windows once they have painted: two captures a moment
# apart are the same and show more than a background (bounded: 10 s; then as they are).
ShotProgram() {
    local file=$1 area frame previous="" current colours
    frame=$(mktemp --suffix=.ppm)
    for _ in $(seq 1 40); do
        current=""
        area=$(ProgramArea || true)
        if [ -n "$area" ] && import -window root -crop "$area" +repage "$frame" 2>/dev/null; then
            read -r colours current < <(identify -format '%k %#\n' "$frame" 2>/dev/null) || true
            if [ "${colours:-0}" -le 16 ]; then current=""; fi
        fi
        if [ -n "$current" ] && [ "$area $current" = "$previous" ]; then
            break
        fi
        previous=${current:+$area $current}
        sleep 0.25
    done
    if [ -z "$current" ] || [ "$area $current" != "$previous" ]; then
        echo "the windows did not settle within 10 s; taking them as they are" >&2
        area=$(ProgramArea || true)
        import -window root ${area:+-crop "$area" +repage} "$frame" || true
    fi
    convert "$frame" "$file"
    rm -f "$frame"
}
