#!/usr/bin/env bash
# Drives the Windows vantrel.scr under Wine on a private X server, as the platform starts it: the
# modes of the command line, the desktop capture, the close rules, the preview inside another
# program's window, the registry setting and the trace file.
# Usage: saver_wine_e2e.sh VANTREL.SCR PREVIEW_PARENT.EXE XDESK
set -u
scr=$1
parent_exe=$2
xdesk=$3
work=$(mktemp -d)
xvfb_pid=
parent_pid=
cleanup() {
    [ -n "$parent_pid" ] && kill "$parent_pid" 2>/dev/null
    wineserver -k 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "$0")/../support/private_xvfb.sh"
start_private_xvfb 800x600x24 || exit 1
# A red desktop: the mosaic made from its capture is red too.
"$xdesk" paint ff3030 || { echo "cannot paint the root of $DISPLAY"; exit 1; }

export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >"$work/wineboot.log" 2>&1 || { echo "wineboot failed"; cat "$work/wineboot.log"; exit 1; }
wineserver -p # one server for every run below: each start is then quick

prog="$work/prog"
data="$work/data"
mkdir -p "$prog" "$data"
cp "$scr" "$prog/vantrel.scr"
cp "$(dirname "$scr")/vantrel.dat" "$prog/" && cp "$prog/vantrel.dat" "$data/"
key='HKCU\Software\tumo3d\Screensavers\Terravane'

screensaver_window() { xdotool search --name '^SCREENSAVER$' 2>/dev/null | head -n 1; }
# Runs the program with the arguments and waits for its end; 0 when it ended by itself in time.
run_quick() {
    wine "$prog/vantrel.scr" "$@" >"$work/out" 2>&1 &
    pid=$!
    ended_within 30 || { stop_program; return 1; }
    test "$code" -eq 0
}
# Starts the show and waits for the first shown frame in the trace of folder $1.
start_show() {
    rm -f "$1/vantrel.log"
    wine "$prog/vantrel.scr" /s >"$work/out" 2>&1 &
    pid=$!
    for _ in $(seq 600); do
        grep -q "first frame shown" "$1/vantrel.log" 2>/dev/null && return 0
        alive || break
        sleep 0.1
    done
    echo "the show did not start"; cat "$work/out"; cat "$1/vantrel.log" 2>/dev/null
    return 1
}

# Modes that show nothing end at once with 0 and leave no trace.
for args in "" "/c" "/c:1234" "/a" "/p" "/p 0" "/p:1234" "register_scrsaver"; do
    # shellcheck disable=SC2086 # the words of the command line
    check "'$args' ends at once with 0" run_quick $args
done
check "no mode wrote a trace" test ! -e "$prog/vantrel.log"
check "no mode opened a window" test -z "$(screensaver_window)"

# The show: the captured red desktop on screen, a click in the grace period dropped, a key ends it.
start_show "$prog" && {
    sleep 0.5
    xdotool click 1
    sleep 1
    check "a click at 0.5 s leaves the show running" alive
    win=$(screensaver_window)
    check "the show has its window" test -n "$win"
    if [ -n "$win" ]; then
        "$xdesk" shot "$work/shot1.png"
        sleep 0.5
        "$xdesk" shot "$work/shot2.png"
        check "the screen changes from frame to frame" bash -c "! cmp -s '$work/shot1.png' '$work/shot2.png'"
        red=$("$xdesk" hue "$win" ff3030)
        check "the captured desktop is on screen ($red per mille red)" test "${red:-0}" -gt 100
    fi
    xdotool key a
    check "a key ends the show" ended_within 10
    check "exit code 0 after a key" test "${code:-1}" -eq 0
    for line in "fxOpenTraces (filename:vantrel.log)" "OpenGL info:" "renderer:" "start-up:" \
        "(beside the program)" "frames per second" "show ended" "end of traces"; do
        check "the trace holds '$line'" grep -qF "$line" "$prog/vantrel.log"
    done
    check "the capture reported no failure" bash -c "! grep -q 'dd7' '$prog/vantrel.log'"
    stop_program
}

# After the grace period a one-pixel move ends the show.
start_show "$prog" && {
    sleep 4.5
    xdotool mousemove_relative 1 0
    check "a one-pixel move after 4 s ends the show" ended_within 10
    stop_program
}

# The registry value "path" moves the data folder, the trace file with it.
wine reg add "$key" /v path /t REG_SZ /d "$(winepath -w "$data")" /f >/dev/null 2>&1
start_show "$data" && {
    check "the setting names the data folder" grep -q "(from the setting)" "$data/vantrel.log"
    xdotool key Escape
    check "Escape ends the show" ended_within 10
    stop_program
}
wine reg delete "$key" /f >/dev/null 2>&1

# For a preview check that failed: how the preview ended, whether its parent still runs, and
# the end of what the preview printed (Wine reports a crash there). Brief: a failed run's log
# keeps only its end.
describe_preview() {
    local state="running"
    alive || { ended_within 1; state="ended with code $code"; }
    echo "--- the preview is $state; its parent is $(kill -0 "$parent_pid" 2>/dev/null && echo running || echo gone)"
    grep -m 1 "Unhandled" "$work/out" || tail -n 3 "$work/out"
}

# The preview draws inside another program's window and ends with it.
mkfifo "$work/parent_in"
wine "$parent_exe" <"$work/parent_in" >"$work/parent_out" 2>&1 &
parent_pid=$!
exec 5>"$work/parent_in"
for _ in $(seq 300); do [ -s "$work/parent_out" ] && break; sleep 0.1; done
handle=$(head -n 1 "$work/parent_out" | tr -d '\r')
check "the parent program gave its window" test -n "$handle"
if [ -n "$handle" ]; then
    wine "$prog/vantrel.scr" /p "$handle" 5>&- >"$work/out" 2>&1 &
    pid=$!
    # Wine draws GL in a child of another program's window into an X window of its own, the
    # parent's client size at +0+0 under a 1x1 holder, and does not show it inside the parent:
    # the preview's pictures are read from there.
    drawn=0
    for _ in $(seq 60); do
        for xwin in $(xwininfo -root -tree | awk '/ 320x240\+0\+0 /{print $1}'); do
            n=$("$xdesk" colours "$xwin" 2>/dev/null)
            [ "${n:-0}" -gt "$drawn" ] && drawn=$n
        done
        [ "$drawn" -gt 20 ] && break
        alive || break
        sleep 0.5
    done
    check "the preview draws at the parent's size ($drawn colours)" test "$drawn" -gt 20 ||
        echo "--- X windows of the parent's size: $(xwininfo -root -tree | grep -c ' 320x240+')"
    check "the preview is still running" alive || describe_preview
    exec 5>&-
    check "the preview ends with its parent" ended_within 15 || describe_preview
    check "exit code 0 after the parent went" test "${code:-1}" -eq 0 || describe_preview
    stop_program
fi
exec 5>&- 2>/dev/null

echo "saver_wine_e2e: $passed passed, $failed failed"
test "$failed" -eq 0
