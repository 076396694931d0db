#!/usr/bin/env bash
# Builds the 64-bit Kestrova.exe and runs it under 64-bit Wine with the
# built-in test pattern, from build/run/ (its Kestrova.ini and Kestrova.tmr
# are written there). The 64-bit exe runs on every x86-64 host, also on one
# that cannot run 32-bit programs.
#
# With a usable $DISPLAY, Kestrova opens there (inside Wine's 1024x768
# virtual desktop window) and this script ends when Kestrova does, with its
# exit code. Without one, Kestrova runs in a private Xvfb: the script saves
# a screenshot to build/run/kestrova-screenshot.png, prints its path, closes
# Kestrova and cleans up.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" x64
# shellcheck source=scripts/wine-env.sh
export KESTROVA_ARCH=x64
source "$root/scripts/wine-env.sh"
kestrova_prepare_prefix || exit 1

run_dir="$root/build/run"
mkdir -p "$run_dir"
cp "$root/build/x64/Kestrova.exe" "$root/build/x64/Kestrova.html" "$run_dir/"
kdriver=$(find "$root/build/x64" -name kdriver.exe -not -path '*/CMakeFiles/*' | head -n 1)
[ -n "$kdriver" ] && cp "$kdriver" "$run_dir/"
cd "$run_dir"

export KESTROVA_TESTPATTERN=1 LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
unset LANGUAGE

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "run: starting Kestrova on $DISPLAY"
    status=0
    "$KESTROVA_WINE" Kestrova.exe "$@" || status=$?
    echo "run: Kestrova ended with exit code $status"
    exit "$status"
fi

echo "run: no usable display (DISPLAY='${DISPLAY:-}'): running headless in Xvfb"
[ -n "$kdriver" ] || { echo "run: kdriver.exe was not built" >&2; exit 1; }

# A private copy of the prefix: its own wineserver, which we may end.
session=$(mktemp -d -t kestrova-run-XXXXXX)
kestrova_clone_prefix "$session/prefix"
export WINEPREFIX="$session/prefix"
xvfb_pid=
kestrova_pid=
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
    if [ -n "$kestrova_pid" ]; then wait "$kestrova_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    rm -rf "$session"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to fd 3.
exec 3>"$session/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$session/display" ] && break
    sleep 0.1
done
[ -s "$session/display" ] || { echo "run: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(tr -d '\n' <"$session/display")"

# Wine's own services inherit no descriptors of ours: start the server first.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$KESTROVA_WINE" Kestrova.exe "$@" </dev/null >"$session/kestrova.log" 2>&1 &
kestrova_pid=$!
if ! "$KESTROVA_WINE" kdriver.exe wait-window KESTROVA 15000 </dev/null >/dev/null 2>"$session/kdriver.log"; then
    echo "run: Kestrova's window did not appear:" >&2
    cat "$session/kdriver.log" "$session/kestrova.log" >&2
    exit 1
fi
sleep 3  # let the test pattern run for a moment
shot="$run_dir/kestrova-screenshot.png"
import -window root -display "$DISPLAY" "png:$shot"
echo "run: screenshot saved: $shot"

"$KESTROVA_WINE" kdriver.exe post-command KESTROVA 105 </dev/null >/dev/null 2>&1 || true
for _ in $(seq 150); do
    kill -0 "$kestrova_pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$kestrova_pid" 2>/dev/null; then
    echo "run: Kestrova did not end on its exit command; stopping Wine" >&2
    "$WINESERVER" -k >/dev/null 2>&1 || true
fi
status=0
wait "$kestrova_pid" || status=$?
kestrova_pid=
echo "run: Kestrova ended with exit code $status"
exit "$status"
