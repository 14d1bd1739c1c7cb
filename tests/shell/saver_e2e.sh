#!/usr/bin/env bash
# Drives the real vantrel on a private X server with synthetic input: the close rules, the
# preview hand-over, signals and the command line as a user meets them.
# Usage: saver_e2e.sh VANTREL XDESK
set -u
vantrel=$1
xdesk=$2
work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "$0")/../support/private_xvfb.sh"
start_private_xvfb 800x600x24 || exit 1
"$xdesk" paint || { echo "cannot paint the root of $DISPLAY"; exit 1; }
data="$work/data"
mkdir -p "$data"

run() { "$vantrel" "$@" >"$work/out" 2>"$work/err"; echo $?; }
start_show() {
    rm -f "$data/vantrel.log"
    "$vantrel" --data "$data" "$@" /s >"$work/out" 2>"$work/err" &
    pid=$!
    for _ in $(seq 300); do
        grep -q "data folder:" "$data/vantrel.log" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "the show did not start"; cat "$work/err"
    return 1
}

# A click in the grace period is dropped; a key ends the show at once.
start_show && {
    sleep 0.5
    xdotool click 1
    sleep 0.8
    check "click at 0.5 s leaves the show running" alive
    xdotool key a
    check "a key ends the show at once" ended_within 2
    check "exit code 0 after a key" test "${code:-1}" -eq 0
    check "trace holds the set-up" grep -q "OpenGL info" "$data/vantrel.log"
    check "trace names the data folder" grep -q "data folder: $data (from --data)" "$data/vantrel.log"
    stop_program
}

# After the grace period: the cursor put back where it is changes nothing, a click ends it.
start_show && {
    sleep 4.3
    eval "$(xdotool getmouselocation --shell)"
    xdotool mousemove "$X" "$Y"
    xdotool mousemove "$X" "$Y"
    sleep 0.8
    check "a mouse move to the same place leaves the show running" alive
    xdotool click 1
    check "a click after 4 s ends the show" ended_within 2
    stop_program
}

# After the grace period a one-pixel move ends it.
start_show && {
    sleep 4.3
    xdotool mousemove_relative 1 0
    check "a one-pixel move after 4 s ends the show" ended_within 2
    stop_program
}

# A screen-saver manager ends its savers with SIGTERM. This one draws at most 5 frames a second.
start_show --max-fps 5 && {
    sleep 3
    kill -TERM "$pid"
    check "SIGTERM ends the show" ended_within 5
    check "exit code 0 after SIGTERM" test "${code:-1}" -eq 0
    check "trace file closed cleanly" grep -q "end of traces" "$data/vantrel.log"
    rate=$(grep -o "[0-9.]* frames per second" "$data/vantrel.log" | cut -d' ' -f1)
    check "--max-fps 5 caps the frame rate (saw ${rate:-none})" awk -v r="${rate:-99}" 'BEGIN { exit !(r > 2 && r <= 5.2) }'
    stop_program
}

# A data folder that cannot take the trace file: the trace goes to the user's state folder.
XDG_STATE_HOME="$work/state" "$vantrel" --data /proc /s >"$work/out" 2>"$work/err" &
pid=$!
state="$work/state/vantrel/vantrel.log"
for _ in $(seq 300); do grep -q "data folder:" "$state" 2>/dev/null && break; sleep 0.1; done
check "a read-only data folder moves the trace" grep -q "data folder: /proc (from --data)" "$state"
kill -TERM "$pid" 2>/dev/null
check "and the show still ends on SIGTERM" ended_within 5
stop_program

# For a preview that outlived its parent: whether the parent is really gone, then the program.
describe_parent_and_program() {
    xwininfo -id "$parent" >/dev/null 2>&1 && echo "--- the parent window $parent still exists"
    describe_program "$data/vantrel.log"
}

# Preview: drawn into the window it is handed; ends with that window.
coproc PARENT { "$xdesk" window 200x150; }
read -r parent <&"${PARENT[0]}"
"$vantrel" --data "$data" /p "$parent" >"$work/out" 2>"$work/err" &
pid=$!
sleep 2
check "preview runs inside its parent" alive
exec {PARENT[1]}>&-
# Generous: a sanitizer build's teardown and leak check may take seconds on a loaded machine.
check "preview ends when its parent goes away" ended_within 15 || describe_parent_and_program
check "preview exit code 0" test "${code:-1}" -eq 0
stop_program

# A parent that goes while the preview is still starting ends it as well, at any moment.
for delay in 0 0.05 0.2; do
    coproc PARENT { "$xdesk" window 200x150; }
    read -r parent <&"${PARENT[0]}"
    "$vantrel" --data "$data" /p "$parent" >"$work/out" 2>"$work/err" &
    pid=$!
    code=
    sleep "$delay"
    exec {PARENT[1]}>&-
    check "preview whose parent goes after ${delay} s ends" ended_within 15 || describe_parent_and_program
    check "and exits with 0" test "${code:-1}" -eq 0
    stop_program
done

# The screen-saver manager's conventions: its window in the environment, a resize, a signal.
coproc MANAGER { "$xdesk" window 320x240; }
read -r managed <&"${MANAGER[0]}"
rm -f "$data/vantrel.log"
XSCREENSAVER_WINDOW=$managed "$vantrel" --data "$data" -root >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 300); do grep -q "drawing in window" "$data/vantrel.log" 2>/dev/null && break; sleep 0.1; done
sleep 1.5
check "the show draws in the manager's window" test "$("$xdesk" colours "$managed")" -gt 16
check "the trace names the window" grep -q "drawing in window $(printf '0x%x' "$managed")" "$data/vantrel.log"
xdotool windowsize "$managed" 400 300
sleep 1
check "the show follows a resize" grep -q "window size 400x300" "$data/vantrel.log"
kill -TERM "$pid"
check "SIGTERM ends the managed show" ended_within 5
check "exit code 0 in the manager's window" test "${code:-1}" -eq 0
stop_program
exec {MANAGER[1]}>&-
check "-window-id needs a window" test "$(run -window-id nothing)" -eq 2

# The command line as users type it.
check "/p without a number exits 0" test "$(run /p)" -eq 0
check "/p 0 exits 0" test "$(run /p 0)" -eq 0
check "/p with no such window exits 0" test "$(run /p 123456789)" -eq 0
check "/a exits 0" test "$(run /a)" -eq 0
check "register_scrsaver starts no show" test "$(run register_scrsaver)" -eq 0
check "/c says where the setting lives" test "$(XDG_CONFIG_HOME=$work/cfg run /c)" -eq 0
check "/c names the settings file" grep -q "$work/cfg/tumo3d/Screensavers/Terravane" "$work/out"
check "no arguments is configuration" test "$(run)" -eq 0
check "--help exits 0" test "$(run --help)" -eq 0
check "--version exits 0" test "$(run --version)" -eq 0
check "an unknown option is an error" test "$(run --frobnicate)" -eq 2
check "the error names the option" grep -q "unknown option --frobnicate" "$work/err"
check "a missing data folder is an error" test "$(run --data "$work/nowhere" /s)" -eq 2
check "no display is an error" test "$(DISPLAY= run /s)" -eq 1
check "no display says so" grep -q "cannot open the X display" "$work/err"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
