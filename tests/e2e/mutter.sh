#!/bin/sh
# The bar on a Wayland compositor without layer-shell: under a headless Mutter (GNOME's
# compositor) Lumora runs through XWayland, says so once, and its bar window sits at the
# bottom centre, 1085 x 30, kept above an ordinary window that is raised over it.
#   mutter.sh /path/to/lumora /path/to/e2e_fullscreen_window
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing or Mutter cannot start).
set -u

lumora=${1:-}
helper=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/waylandlib.sh"
need_tools mutter Xwayland xdotool xprop timeout

mkdir -m 700 "$work/mutter"
env -i PATH="$PATH" HOME="$work/mutter" XDG_RUNTIME_DIR="$work/mutter" \
    DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" \
    mutter --wayland --headless --virtual-monitor "${screen_w}x${screen_h}" \
    --wayland-display=wayland-lumora >"$work/mutter.log" 2>&1 &
started $!
x_up() { grep -q 'Using public X11 display' "$work/mutter.log"; }
wait_for 150 x_up || skip "headless Mutter did not start with XWayland: $(tail -n 1 "$work/mutter.log")"
export DISPLAY
DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$work/mutter.log" | head -n 1)
export XAUTHORITY
XAUTHORITY=$(ls "$work"/mutter/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
socket="$work/mutter/wayland-lumora"
wait_for 50 test -S "$socket" || skip "headless Mutter has no Wayland socket"

private_config
export WAYLAND_DISPLAY="$socket"

# An ordinary window as large as the screen allows, to be raised over the bar later.
QT_QPA_PLATFORM=xcb "$helper" --maximized >"$work/helper.log" 2>&1 &
helper_pid=$!
started $helper_pid
find_helper() {
    other=$(xdotool search --onlyvisible --name '^lumora-e2e-fullscreen$' 2>/dev/null | head -n 1)
    [ -n "$other" ]
}
wait_for 100 find_helper || fail "the helper window did not appear on XWayland"

start_placed xwayland
said=$(grep -c 'no layer-shell; the bar runs through XWayland' "$work/lumora.err")
[ "$said" -eq 1 ] || fail "running through XWayland was said $said times, not once"

# The bar window, on XWayland, at the bottom centre of the screen.
bar=""
find_bar() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)"
        if [ "${WIDTH:-}" = "$bar_w" ] && [ "${HEIGHT:-}" = "$bar_h" ]; then
            bar=$w
            return 0
        fi
    done
    return 1
}
wait_for 50 find_bar || fail "no ${bar_w} x ${bar_h} window of Lumora on XWayland"
eval "$(xdotool getwindowgeometry --shell "$bar")"
want_x=$(((screen_w - bar_w) / 2))
if [ "$X" -lt $((want_x - 1)) ] || [ "$X" -gt $((want_x + 1)) ] || [ "$Y" -ne $((screen_h - bar_h)) ]; then
    fail "the bar is at $X,$Y, not at the bottom centre ($want_x,$((screen_h - bar_h)))"
fi
xprop -id "$bar" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE ||
    fail "the bar window does not ask to be kept above others"

# Raised and focused, the other window still stays below the bar.
xdotool windowactivate --sync "$other" >/dev/null 2>&1 || fail "could not raise the helper window"
active=$(xprop -root _NET_ACTIVE_WINDOW | sed 's/.*# //')
[ "$((active))" -eq "$other" ] || fail "Mutter did not make the helper window active"
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //' | tr -d ',')
below=""
for w in $stacking; do
    [ "$((w))" -eq "$other" ] && below=yes
    [ "$((w))" -eq "$bar" ] && [ -z "$below" ] &&
        fail "the raised window is stacked above the bar ($stacking)"
done
[ -n "$below" ] || fail "Mutter does not list the helper window ($stacking)"
kill -0 "$app" 2>/dev/null || fail "Lumora did not keep running"
echo "e2e: the bar runs through XWayland at the bottom centre, above a raised window"

# Without XWayland the bar is an ordinary Wayland window, and the one line says why.
kill "$app"
wait "$app"
start_placed unplaced env -u DISPLAY
said=$(grep -c 'no layer-shell and there is no XWayland (DISPLAY is unset); the bar is an ordinary window' "$work/lumora.err")
[ "$said" -eq 1 ] || fail "why the bar cannot be placed was said $said times, not once"
sleep 0.5
kill -0 "$app" 2>/dev/null || fail "Lumora without XWayland did not keep running"
echo "e2e: without XWayland the bar is an ordinary window, and Lumora says why"
exit 0
