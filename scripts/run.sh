#!/usr/bin/env bash
# Plays the show. With a display: full screen on it until a key or the mouse ends it. Without
# one: on a private X server with a painted desktop for 20 s, a screenshot every 2 s under
# build/run/, then the frame rate.
# Usage: scripts/run.sh BUILD_FOLDER
set -u
build=${1:-build/release}
vantrel="$build/vantrel"
xdesk="$build/xdesk"
data="$build"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$vantrel" --data "$data" /s
fi

out="$build/run"
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
exec 3>"$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
exec 3>&-
[ -s "$work/displayfd" ] || { echo "make run: cannot start Xvfb"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/displayfd")"
echo "No display: playing the show on a private X server ($DISPLAY, 1024x768) for 20 s."
"$xdesk" paint /usr/share/xplanet/images/earth.jpg 2>/dev/null || "$xdesk" paint
"$vantrel" --data "$data" /s &
show=$!
for i in $(seq -w 2 2 20); do
    sleep 2
    "$xdesk" shot "$out/screen-${i}s.png" || true
done
kill -TERM $show
wait $show
status=$?
log="$data/vantrel.log"
[ -w "$data" ] || log="${XDG_STATE_HOME:-$HOME/.local/state}/vantrel/vantrel.log"
echo "Screenshots: $out/screen-02s.png ... screen-20s.png"
grep -o "[0-9]* frames in .*" "$log" | tail -n 1
exit $status
