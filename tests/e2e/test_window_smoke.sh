#!/usr/bin/env bash
# Smoke test of the window under a real X server (Xvfb) with a window
# manager (openbox): the program starts, shows its window, and the window is
# not blank. It then closes the window as a user would, checks that the
# settings were stored, starts again and checks that the window keeps its
# size. Prints the time from start to the window being shown.
# The program reads and writes data.dat beside itself, so it runs from a
# copy in a temporary folder.
set -u

app=${SORIMBA_APP:-}
artifacts="${SORIMBA_BUILD:-.}/artifacts"
if [ -z "$app" ] || [ ! -x "$app" ]; then
    echo "FAIL: SORIMBA_APP does not name the program" >&2
    exit 1
fi
for tool in Xvfb openbox xdotool import identify wmctrl; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed; no real-X test"
        exit 0
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null
        wait "${pids[$i]}" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
display=""
for n in $(seq 57 99); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
done
if [ -z "$display" ]; then
    echo "SKIP: no free X display number"
    exit 0
fi

Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
ready=""
for _ in $(seq 1 50); do
    if xdpyinfo -display "$display" >/dev/null 2>&1 || xdotool getdisplaygeometry >/dev/null 2>&1; then
        ready=yes
        break
    fi
    sleep 0.1
done 2>/dev/null
export DISPLAY=$display
if [ -z "$ready" ] && ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    echo "SKIP: the X server could not be started"
    cat "$work/xvfb.log"
    exit 0
fi
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 0.5

mkdir -p "$work/app" "$artifacts"
cp "$app" "$work/app/sorimba"
unset QT_QPA_PLATFORM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts the program and waits for its window; sets app_pid and window.
start_app() {
    local started shown
    started=$(date +%s%N)
    (cd "$work/app" && exec ./sorimba) >>"$work/app.log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
    window=""
    for _ in $(seq 1 1000); do
        window=$(xdotool search --onlyvisible --name '^!Sorimba$' 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.02
    done
    shown=$(date +%s%N)
    [ -n "$window" ] || fail "no window titled !Sorimba within 20 s"
    echo "start to window shown: $(((shown - started) / 1000000)) ms"
}

# Closes the window as the user would and waits for the program to end.
close_app() {
    wmctrl -i -c "$window" || fail "could not ask the window to close"
    for _ in $(seq 1 100); do
        kill -0 "$app_pid" 2>/dev/null || return 0
        sleep 0.1
    done
    fail "the program did not end after its window was closed"
}

start_app
sleep 1  # let it paint
import -window root "$artifacts/window_smoke_root.png" || fail "no screenshot"
import -window "$window" "$artifacts/window_smoke.png" || fail "no screenshot of the window"
deviation=$(identify -format '%[fx:standard_deviation]' "$artifacts/window_smoke.png")
colours=$(identify -format '%k' "$artifacts/window_smoke.png")
echo "window screenshot: $colours colours, standard deviation $deviation"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.01) }' || fail "the window is blank"
[ "$colours" -gt 8 ] || fail "the window shows almost nothing ($colours colours)"
if xprop -id "$window" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_ABOVE; then
    echo "the window is kept above others"
fi
size1=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ { print $2 }')

close_app
[ -f "$work/app/data.dat" ] || fail "closing did not store data.dat"
first=$(head -c 40 "$work/app/data.dat" | od -c | head -2)

# A second start takes the stored size: the window must not grow.
start_app
sleep 0.5
size2=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ { print $2 }')
close_app
second=$(head -c 40 "$work/app/data.dat" | od -c | head -2)
[ "$size1" = "$size2" ] || fail "the window size changed between starts: $size1 then $size2"
[ "$first" = "$second" ] || fail "the stored window size changed between starts"

echo "PASS: window shown (screenshot in $artifacts/window_smoke.png), size kept at $size1"
exit 0
