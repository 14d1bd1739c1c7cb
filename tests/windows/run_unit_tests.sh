#!/bin/bash
# Runs every cross-built test program of BUILD_DIR under Wine and fails when any test fails.
# Assumes DISPLAY names an X server and WINEPREFIX a prepared prefix (make test-windows sets both).
# Usage: run_unit_tests.sh BUILD_DIR
set -u
build=${1:?usage: run_unit_tests.sh BUILD_DIR}
here=$(cd "$(dirname "$0")" && pwd)
tests="$build/tests"
[ -d "$tests" ] || { echo "run_unit_tests: no folder $tests" >&2; exit 2; }
: "${DISPLAY:?run_unit_tests: DISPLAY must name an X server}"
: "${WINEPREFIX:?run_unit_tests: WINEPREFIX must be set}"
export WINEDEBUG=${WINEDEBUG:--all}
wine=$(command -v wine || command -v wine64) || { echo "run_unit_tests: wine is not installed" >&2; exit 2; }

# Cases excluded per program, from linux_only_cases.txt.
excluded() {
    awk -v prog="$1" '$1 == prog { printf "%s%s", sep, $2; sep = ":" }' "$here/linux_only_cases.txt"
}

shopt -s nullglob
programs=("$tests"/test_*.exe)
[ ${#programs[@]} -gt 0 ] || { echo "run_unit_tests: no test programs in $tests" >&2; exit 2; }
failed=()
for exe in "${programs[@]}"; do
    name=$(basename "$exe" .exe)
    filter=$(excluded "$name")
    args=()
    [ -n "$filter" ] && args+=("--gtest_filter=-$filter")
    echo "== $name ${args[*]:-}"
    log=$(mktemp)
    # A program that crashes or hangs fails as surely as one whose test fails.
    (cd "$tests" && timeout 600 "$wine" "./$name.exe" "${args[@]}") >"$log" 2>&1
    status=$?
    grep -E '^\[  (PASSED|FAILED|SKIPPED) |^\[==========\] [0-9]+ tests' "$log"
    if [ $status -ne 0 ] || ! grep -q '^\[  PASSED  \]' "$log" || grep -q '^\[  FAILED  \]' "$log"; then
        echo "-- $name failed (status $status); its output:"
        cat "$log"
        failed+=("$name")
    fi
    rm -f "$log"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "run_unit_tests: FAILED: ${failed[*]}"
    exit 1
fi
echo "run_unit_tests: all ${#programs[@]} programs passed"
