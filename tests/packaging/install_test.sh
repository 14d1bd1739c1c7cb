#!/usr/bin/env bash
# Installs the build with DESTDIR into a scratch folder and runs the installed show the way the
# screen-saver manager does; builds the Debian package and checks what it holds and says.
# Usage: install_test.sh BUILD_FOLDER XDESK
set -u
build=$(cd "$1" && pwd)
xdesk=$2
work=$(mktemp -d)
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/../support/private_xvfb.sh"

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
root="$work/root"
DESTDIR="$root" cmake --install "$build" >"$work/install.log" 2>&1
check "cmake --install with DESTDIR" test $? -eq 0
saver="$root$prefix/libexec/xscreensaver/vantrel"
check "the show lies where the manager looks for savers" test -x "$saver"
check "fxpack is on the PATH" test -x "$root$prefix/bin/fxpack"
check "the package lies in the data folder" test -s "$root$prefix/share/vantrel/vantrel.dat"
check "the manager's description is installed" test -s "$root$prefix/share/xscreensaver/config/vantrel.xml"
check "the manual pages are installed" test -s "$root$prefix/share/man/man6/vantrel.6" -a -s "$root$prefix/share/man/man1/fxpack.1"
check "nothing was written outside DESTDIR" test -z "$(grep -E "Installing|Up-to-date" "$work/install.log" | grep -v ": $root/")"

# The manager's description: well-formed, with what the manager reads.
xml="$root$prefix/share/xscreensaver/config/vantrel.xml"
check "vantrel.xml is well-formed" xmllint --noout "$xml"
check "it names the saver" test "$(xmllint --xpath 'string(/screensaver/@name)' "$xml")" = vantrel
check "it asks for OpenGL" test "$(xmllint --xpath 'string(/screensaver/@gl)' "$xml")" = yes
check "its command runs on the manager's window" test "$(xmllint --xpath 'string(/screensaver/command/@arg)' "$xml")" = -root
check "it offers the frame-rate cap" test "$(xmllint --xpath 'string(//number[@id="maxfps"]/@arg)' "$xml")" = "--max-fps %"
check "it offers the data folder" test "$(xmllint --xpath 'string(//file[@id="data"]/@arg)' "$xml")" = "--data %"
check "it describes the show" test -n "$(xmllint --xpath 'normalize-space(//_description)' "$xml")"

# The installed show in a window the test hands over, as the manager does.
start_private_xvfb 640x480x24 || exit 1
"$xdesk" paint
coproc MANAGER { "$xdesk" window 320x240; }
read -r managed <&"${MANAGER[0]}"
state="$work/state"
XDG_STATE_HOME="$state" XSCREENSAVER_WINDOW=$managed "$saver" --data "$root$prefix/share/vantrel" -root \
    >"$work/out" 2>"$work/err" &
pid=$!
log="$state/vantrel/vantrel.log"
[ -w "$root$prefix/share/vantrel" ] && log="$root$prefix/share/vantrel/vantrel.log"
for _ in $(seq 300); do grep -q "drawing in window" "$log" 2>/dev/null && break; sleep 0.1; done
sleep 1.5
check "the installed show draws in the manager's window" test "$("$xdesk" colours "$managed")" -gt 16
xdotool windowsize "$managed" 480 360
sleep 1
check "it follows a resize" grep -q "window size 480x360" "$log"
kill -TERM "$pid"
wait "$pid"
check "SIGTERM ends it with exit 0" test $? -eq 0
exec {MANAGER[1]}>&-

# The Debian package of the same build.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1)
deb=$(ls "$work"/vantrel_*.deb 2>/dev/null | head -n 1)
check "cpack makes a .deb" test -n "$deb"
if [ -n "$deb" ]; then
    dpkg-deb -c "$deb" | awk '{print $6}' >"$work/files"
    for f in "libexec/xscreensaver/vantrel" "bin/fxpack" "share/vantrel/vantrel.dat" \
        "share/xscreensaver/config/vantrel.xml" "share/man/man6/vantrel.6" "share/man/man1/fxpack.1"; do
        check "the .deb holds $f" grep -q "^\./${prefix#/}/$f\$" "$work/files"
    done
    check "package name" test "$(dpkg-deb -f "$deb" Package)" = vantrel
    check "version from the project" test "$(dpkg-deb -f "$deb" Version)" = "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
    check "depends on the picture library it opens at run time" grep -q libdevil1c2 <(dpkg-deb -f "$deb" Depends)
    check "depends on what the program links" grep -q libx11-6 <(dpkg-deb -f "$deb" Depends)
    check "has a description" test -n "$(dpkg-deb -f "$deb" Description)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
