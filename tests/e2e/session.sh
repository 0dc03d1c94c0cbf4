#!/bin/sh
# Runs inside Xvfb and a private D-Bus session; started by run.sh.
#   session.sh /path/to/lumora WORKDIR
set -u

lumora=$1
work=$2

. "$(dirname "$0")/lib.sh"

openbox >"$work/openbox.log" 2>&1 &
helpers="$helpers $!"
start_tray
sleep 1

# A private configuration: the lighting on, the first-launch window already seen.
private_config
# The geometry dump written after each presentation shows when the bar was presented again.
export LUMORA_DEBUG="$work/geometry.txt"

"$lumora" >"$work/first.out" 2>"$work/first.err" &
app=$!

# The bar window: 1085 x 30, mapped, at the bottom centre.
bar_shown() {
    kill -0 "$app" 2>/dev/null || fail "lumora exited instead of running"
    bar=$(find_bar "$app")
    [ -n "$bar" ]
}
wait_for 100 bar_shown || fail "no ${bar_w} x ${bar_h} window appeared within 10 s"
viewable "$bar" || fail "the bar window is not mapped"
set -- $(geometry "$bar")
bar_x=$1
bar_y=$2
want_x=$(((screen_w - bar_w) / 2))
if [ "$bar_x" -lt $((want_x - 1)) ] || [ "$bar_x" -gt $((want_x + 1)) ]; then
    fail "the bar is at x $bar_x, not centred at $want_x"
fi
if [ "$bar_y" -gt $((screen_h - bar_h)) ] || [ "$bar_y" -lt $((screen_h - bar_h - 40)) ]; then
    fail "the bar is at y $bar_y, not at the bottom of the screen"
fi
echo "e2e: bar window $bar at $bar_x,$bar_y, ${bar_w} x ${bar_h}"
# No Touch Bar here: the window stands in for it, said in one line.
[ "$(grep -c "no Touch Bar found" "$work/first.err")" -eq 1 ] ||
    fail "the fallback to the bar window was not said once on stderr"

# The tray icon, docked in the tray host's strip at the top right.
wait_tray 50
[ -n "$tray" ] || fail "no tray icon appeared in the tray host"
echo "e2e: tray icon $tray: $(geometry "$tray")"
grep -q "no system tray" "$work/first.err" && fail "with a tray there, Lumora said there was none"

# A right click on the tray icon opens its menu, a new window of ours near the tray.
before=$(xdotool search --all --onlyvisible --pid "$app" 2>/dev/null | sort)
set -- $(geometry "$tray")
xdotool mousemove $(($1 + $3 / 2)) $(($2 + $4 / 2)) click 3
menu_shown() {
    menu=$(xdotool search --all --onlyvisible --pid "$app" 2>/dev/null | sort |
        grep -vxF -e "$before" | head -n 1)
    [ -n "$menu" ]
}
wait_for 30 menu_shown || fail "no menu opened on a right click on the tray icon"
echo "e2e: tray menu $menu: $(geometry "$menu")"
if [ -n "${LUMORA_E2E_SHOT:-}" ]; then
    sleep 0.3
    import -window root "$LUMORA_E2E_SHOT" || fail "cannot take the screenshot $LUMORA_E2E_SHOT"
    echo "e2e: screenshot in $LUMORA_E2E_SHOT"
fi
xdotool key Escape
sleep 0.3

# Opens the tray menu and walks it with the keyboard: $1 = key presses after it opens.
menu_keys() {
    set -- "$*" $(geometry "$tray")
    xdotool mousemove $(($2 + $4 / 2)) $(($3 + $5 / 2)) click 3
    sleep 0.4
    xdotool key --delay 80 $1
    sleep 0.3
}

# "Lighting" (second item) switches the bar off...
menu_keys Down Down Return
wait_bar no || fail "choosing Lighting did not dismiss the bar"
[ "$(stored enabled)" = false ] || fail "Lighting did not store enabled=false"
echo "e2e: Lighting from the menu dismissed the bar"

# ...and an effect chosen while off (Effects > Scanner, the sixth) presents it again.
menu_keys Down Down Down Down Right Down Down Down Down Down Return
wait_bar yes || fail "choosing an effect while off did not present the bar"
[ "$(stored effect)" = scanner ] || fail "the effect chosen from the menu was not stored"
[ "$(stored enabled)" = true ] || fail "choosing an effect did not switch the lighting on"
echo "e2e: Effects > Scanner presented the bar"

# The close button at the bar's right end switches the lighting off.
bar=$(find_bar "$app")
set -- $(geometry "$bar")
xdotool mousemove $(($1 + bar_w - 10 - 22)) $(($2 + bar_h / 2)) click 1
wait_bar no || fail "the close button did not dismiss the bar"
[ "$(stored enabled)" = false ] || fail "the close button did not store enabled=false"
echo "e2e: the close button switched the lighting off"

# A screen wake (the screensaver going inactive, on this private session bus) presents the bar
# again about a second later, but only while the lighting is on.
wake() {
    dbus-send --session --type=signal /org/freedesktop/ScreenSaver \
        org.freedesktop.ScreenSaver.ActiveChanged boolean:false
}
sleep 1.5 # the dump of the last presentation is still due
rm -f "$LUMORA_DEBUG"
wake
sleep 3
[ -e "$LUMORA_DEBUG" ] && fail "a wake presented the bar while the lighting was off"
menu_keys Down Down Return
wait_bar yes || fail "Lighting from the menu did not present the bar"
dumped() { [ -s "$LUMORA_DEBUG" ]; }
wait_for 50 dumped
grep -q ' frame=.* bounds=' "$LUMORA_DEBUG" && grep -q '^window .* contentView=' "$LUMORA_DEBUG" &&
    grep -q '^screens: \[' "$LUMORA_DEBUG" || fail "the geometry dump lacks its three kinds of lines"
rm -f "$LUMORA_DEBUG"
wake
wait_for 60 dumped || fail "a wake did not present the bar again"
echo "e2e: a screen wake presented the bar again ($((tries * 100)) ms until its geometry dump)"

# The settings window was already seen once, so it stays closed until asked for.
if [ -n "$(xdotool search --all --onlyvisible --pid "$app" --name '^Lumora$' 2>/dev/null)" ]; then
    fail "the settings window opened although it was already shown once"
fi

# A second start hands over to the first and exits at once; so does --settings.
second_start
settings=$(wait_settings) || fail "no window titled \"Lumora\" appeared after the second start"
echo "e2e: settings window $settings: $(geometry "$settings")"

# The wheel turned over every part of the page, down and back up, changes no setting.
conf="$XDG_CONFIG_HOME/lumora/lumora.conf"
cp "$conf" "$work/before-wheel.conf"
set -- $(geometry "$settings")
for button in 5 4; do
    for y in $(seq $(($2 + 15)) 50 $(($2 + $4 - 15))); do
        for x in $(seq $(($1 + 15)) 70 $(($1 + $3 - 30))); do
            xdotool mousemove "$x" "$y" click --repeat 3 --delay 5 "$button"
        done
    done
done
sleep 0.5
cmp -s "$conf" "$work/before-wheel.conf" ||
    fail "scrolling over the page changed the settings: $(diff "$work/before-wheel.conf" "$conf" | tr '\n' ' ')"
echo "e2e: scrolling over the whole page left the settings as they were"

# Minimised, the window comes back for a second start and for --settings.
for options in "" "--settings"; do
    xdotool windowminimize "$settings"
    wait_unviewable "$settings" || fail "the settings window did not minimise"
    second_start $options
    settings=$(wait_settings) || fail "'lumora $options' did not bring back the minimised window"
done
echo "e2e: a minimised window came back for a second start and for --settings"

# Ctrl+W closes the window and leaves Lumora running; Ctrl+Q in the window quits.
xdotool windowactivate --sync "$settings" key ctrl+w
wait_unviewable "$settings" || fail "Ctrl+W did not close the settings window"
kill -0 "$app" 2>/dev/null || fail "closing the window with Ctrl+W ended Lumora"
[ -n "$(find_bar "$app")" ] || fail "closing the window took the bar away"
second_start --settings
settings=$(wait_settings) || fail "--settings did not open the window again"
xdotool windowactivate --sync "$settings" key ctrl+q
end_app 0
echo "e2e: passed"
exit 0
