# Sourced by the tests that drive real programs: starts a private X server that keeps a painted
# root after its painter leaves, exports DISPLAY, and stops it on exit. Needs $work (a scratch
# folder the caller removes).
start_private_xvfb() { # SIZE, e.g. 800x600x24
    exec 3>"$work/displayfd"
    Xvfb -displayfd 3 -screen 0 "$1" -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
    exec 3>&-
    [ -s "$work/displayfd" ] || { echo "cannot start Xvfb"; cat "$work/xvfb.log"; return 1; }
    export DISPLAY=":$(head -n 1 "$work/displayfd")"
}

passed=0
failed=0
check() { # NAME CONDITION...
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        return 1
    fi
}

# The program under test runs in the background as $pid.
alive() { kill -0 "$pid" 2>/dev/null; }
# Waits up to $1 seconds for the program to end; leaves its exit code in $code.
ended_within() {
    local tenths=$(($1 * 10))
    for _ in $(seq "$tenths"); do
        if ! alive; then
            wait "$pid"
            code=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}
stop_program() { alive && kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; }
# Prints what the program is doing, for a check that found it still running: its threads' states
# and, where gdb is installed, their stacks; then its error output and the trace file TRACE.
describe_program() { # [TRACE]
    alive || return 0
    echo "--- $pid still running:"
    for task in /proc/"$pid"/task/*; do
        echo "thread ${task##*/}: $(awk '{ print $3 }' "$task/stat" 2>/dev/null) in $(cat "$task/wchan" 2>/dev/null)"
    done
    if command -v gdb >/dev/null; then
        timeout 30 gdb -p "$pid" -batch -ex "thread apply all bt 12" 2>/dev/null | grep -E "^#|^Thread"
    fi
    echo "--- its error output:"
    tail -n 20 "$work/err"
    if [ -n "${1:-}" ] && [ -s "$1" ]; then
        echo "--- the end of $1:"
        tail -n 20 "$1"
    fi
}
