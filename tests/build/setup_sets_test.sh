#!/usr/bin/env bash
# Every package set the Makefile and CI ask scripts/setup.sh for must exist. Run without dpkg on
# the PATH, setup.sh only lists a set's packages, so this installs nothing.
set -u
root=${1:?usage: setup_sets_test.sh REPOSITORY}
setup="$root/scripts/setup.sh"
bash_path=$(command -v bash)
failed=0

list() { # set name (empty for the default) -> the packages listed, on stdout; the status returned
    PATH=/nonexistent "$bash_path" "$setup" ${1:+"$1"} 2>&1
}

sets=$(grep -hoE 'setup\.sh( [a-z]+)?' "$root/Makefile" "$root/.ci/run" | awk '{print $2}' | sort -u)
for name in "" $sets; do
    out=$(list "$name"); rc=$?
    if [ $rc -ne 0 ] || ! grep -q 'build-essential\|mingw' <<<"$out"; then
        echo "FAIL: setup.sh '${name:-(default)}' exited $rc: $out"
        failed=1
    fi
done

# make bench measures the show against its peers: that set must bring them and the linux set.
out=$(list bench)
for p in xscreensaver-gl libmeshoptimizer-dev libtinyobjloader-dev; do
    grep -qw -- "$p" <<<"$out" || { echo "FAIL: setup.sh bench does not list $p"; failed=1; }
done

out=$(list nonsense); rc=$?
if [ $rc -ne 2 ] || ! grep -q "unknown package set 'nonsense'" <<<"$out"; then
    echo "FAIL: an unknown set should exit 2 naming it, got $rc: $out"
    failed=1
fi

[ $failed -eq 0 ] && echo "setup_sets_test: every set the Makefile and CI use exists"
exit $failed
