#!/bin/sh
# The bar on a wlroots compositor: under a headless sway, Lumora's bar is a layer-shell surface
# at the bottom centre of the output, 1085 x 30, above a fullscreen window, and the settings
# window stays an ordinary toplevel.
#   sway.sh /path/to/lumora /path/to/e2e_fullscreen_window [/path/to/e2e_virtual_pointer]
# With the virtual pointer the close button is clicked too: it switches the lighting off.
# Exit status: 0 passed, 1 failed, 77 skipped (a tool is missing or sway cannot start).
set -u

lumora=${1:-}
helper=${2:-}
pointer=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/waylandlib.sh"
need_tools sway swaymsg grim convert timeout

# sway refuses to run as root: there it runs as nobody, in a folder nobody may use.
as_user=""
if [ "$(id -u)" -eq 0 ]; then
    need_tools setpriv
    as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
fi
chmod 755 "$work"
mkdir -m 755 "$work/sway"
mkdir -m 700 "$work/sway/run"
[ -n "$as_user" ] && chown 65534:65534 "$work/sway/run"
cat >"$work/sway/config" <<CONFIG
xwayland disable
default_border none
output HEADLESS-1 resolution ${screen_w}x${screen_h} position 0 0 bg #000000 solid_color
CONFIG
chmod 644 "$work/sway/config"

env -i PATH="$PATH" HOME="$work/sway" XDG_RUNTIME_DIR="$work/sway/run" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    $as_user sway -c "$work/sway/config" >"$work/sway.log" 2>&1 &
started $!
socket=""
find_socket() {
    for s in "$work"/sway/run/wayland-[0-9]; do
        [ -S "$s" ] && socket=$s && return 0
    done
    return 1
}
wait_for 100 find_socket || skip "headless sway did not start: $(tail -n 1 "$work/sway.log")"
export SWAYSOCK
SWAYSOCK=$(ls "$work"/sway/run/sway-ipc.*.sock 2>/dev/null | head -n 1)
[ -S "$SWAYSOCK" ] || skip "headless sway has no IPC socket"

private_config
export WAYLAND_DISPLAY="$socket"
unset DISPLAY

# The window the bar must stay above.
QT_QPA_PLATFORM=wayland "$helper" >"$work/helper.log" 2>&1 &
started $!
# Its node in sway's tree, up to its first nested object: the name, then fullscreen_mode.
fullscreen() {
    swaymsg -t get_tree | tr -d ' \n' | grep -o '"name":"lumora-e2e-fullscreen"[^}]*' |
        grep -q '"fullscreen_mode":1'
}
wait_for 100 fullscreen || fail "the helper window is not fullscreen in sway's tree"

start_placed layer-shell
sleep 1
kill -0 "$app" 2>/dev/null || fail "Lumora did not keep running (a protocol error ends a client)"

# The settings window opens without a tray: it stays an ordinary toplevel sway manages,
# while the bar is in no tiling tree at all.
settings() { swaymsg -t get_tree | tr -d ' \n' | grep -q '"name":"Lumora"'; }
wait_for 50 settings || fail "the settings window is not an ordinary window in sway's tree"
swaymsg -t get_tree | tr -d ' \n' | grep -q '"name":"LumoraTouchBar"' &&
    fail "the bar is a tiled window, not a layer surface"
grep -q -i 'layer-shell\|XWayland' "$work/lumora.err" &&
    fail "Lumora complained about the bar's placement: $(grep -i 'layer-shell\|XWayland' "$work/lumora.err")"

grim "$work/shot.png" || fail "grim could not take a screenshot"
[ -n "${LUMORA_E2E_SHOT:-}" ] && cp "$work/shot.png" "$LUMORA_E2E_SHOT"
set -- $(convert "$work/shot.png" -format '%w %h' info:)
[ "$1 $2" = "$screen_w $screen_h" ] || fail "the screenshot is $1 x $2, not the output's size"
check_bar_pixels "$work/shot.png"
echo "e2e: the bar is a layer-shell surface at the bottom centre, above the fullscreen window"

if [ -z "$pointer" ]; then
    echo "e2e: no virtual pointer helper was built; the close button was not clicked"
    exit 0
fi
# The close button, 10 points from the bar's right end, takes a click: the lighting goes off
# and the bar goes away.
"$pointer" $(((screen_w - bar_w) / 2 + bar_w - 10 - 22)) $((screen_h - bar_h / 2)) \
    "$screen_w" "$screen_h" 2>"$work/pointer.err" || fail "the virtual pointer could not click"
switched_off() { grep -q '^enabled=false' "$XDG_CONFIG_HOME/lumora/lumora.conf"; }
wait_for 50 switched_off || fail "a click on the close button did not switch the lighting off"
sleep 0.5
grim "$work/after.png" || fail "grim could not take a screenshot after the click"
[ "$(pixels "$work/after.png" "$((screen_w / 2)),$((screen_h - bar_h / 2))")" = "$flat" ] ||
    fail "the bar is still on screen after its close button was clicked"
echo "e2e: a click on the close button switched the lighting off and took the bar away"

# Switched on again, the bar comes back as a layer surface: a new one, for the new surface
# Qt makes for a window shown again.
"$lumora" ctl set enabled true >"$work/ctl.out" 2>"$work/ctl.err" || fail "lumora ctl failed"
sleep 1.5
kill -0 "$app" 2>/dev/null || fail "Lumora did not survive showing the bar again"
grim "$work/again.png" || fail "grim could not take a screenshot after switching on again"
check_bar_pixels "$work/again.png"
echo "e2e: switched on again, the bar is back at the bottom centre"
exit 0
