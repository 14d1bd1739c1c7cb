#!/usr/bin/env bash
# Checks the 32-bit Windows build as it would ship: what the executables are, which DLLs they
# need (only the system's), and the resources the platform reads from the screen saver.
# Usage: windows_product_test.sh BUILD_FOLDER (the one `make windows` fills)
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../support/private_xvfb.sh"

scr="$build/vantrel.scr"
check "vantrel.scr is a 32-bit Windows GUI program" bash -c "file '$scr' | grep -q 'PE32 executable (GUI) Intel 80386'"
check "fxpack.exe is a 32-bit Windows console program" \
    bash -c "file '$build/fxpack.exe' | grep -q 'PE32 executable (console) Intel 80386'"
check "the package lies beside them" test -s "$build/vantrel.dat"

# Every DLL either program needs must come with Windows itself.
system_dlls='^(advapi32|comdlg32|ddraw|gdi32|glu32|kernel32|msvcrt|ole32|oleaut32|opengl32|shell32|shlwapi|user32|windowscodecs|winmm)\.dll$'
for exe in "$scr" "$build/fxpack.exe"; do
    i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' >"$work/dlls"
    check "$(basename "$exe") names its DLLs" test -s "$work/dlls"
    check "$(basename "$exe") needs only system DLLs ($(grep -Ev "$system_dlls" "$work/dlls" | tr '\n' ' '))" \
        bash -c "! grep -Eqv '$system_dlls' '$work/dlls'"
done

# String 1: the name in the platform's list of screen savers.
wrestool -x --raw --type=6 --name=1 "$scr" >"$work/strings" 2>/dev/null
check "string 1 is \"Terravane\"" bash -c "iconv -f UTF-16LE -t UTF-8 '$work/strings' | tr -d '\000-\037' | grep -q '^Terravane$'"

# Icon group 101 with 16, 32 and 48 pixels in 32-bit colour; icon 100 for the window class.
wrestool -x --type=14 --name=101 -o "$work/group101.ico" "$scr" 2>/dev/null
icotool -l "$work/group101.ico" >"$work/icons" 2>/dev/null
for size in 16 32 48; do
    check "icon group 101 holds ${size} x ${size} in 32-bit colour" \
        grep -q -- "--width=$size --height=$size --bit-depth=32" "$work/icons"
done
check "icon group 101 holds three icons" test "$(wc -l <"$work/icons")" -eq 3
check "icon group 100 is there for the window class" bash -c "wrestool -l --type=14 --name=100 '$scr' | grep -q group_icon"

echo "windows_product_test: $passed passed, $failed failed"
test "$failed" -eq 0
