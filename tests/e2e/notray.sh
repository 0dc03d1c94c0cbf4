#!/bin/sh
# Runs inside Xvfb and a private D-Bus session with a window manager but no tray; started by
# run.sh. Without a tray the settings window stands in for the menu, and closing it must not
# end Lumora: a later start brings it back.
#   notray.sh /path/to/lumora WORKDIR
set -u

lumora=$1
work=$2
. "$(dirname "$0")/lib.sh"

openbox >"$work/openbox.log" 2>&1 &
helpers="$helpers $!"
sleep 1

private_config
"$lumora" >"$work/first.out" 2>"$work/first.err" &
app=$!

wait_bar yes || fail "no bar appeared"
settings=$(wait_settings) || fail "without a tray the settings window did not open"
grep -q "no system tray found" "$work/first.err" || fail "the missing tray was not said on stderr"
echo "e2e (no tray): the settings window opened in place of the tray"

# Closed as a user closes it, through the window manager (Alt+F4 under openbox).
xdotool windowactivate --sync "$settings" key alt+F4
wait_unviewable "$settings" || fail "Alt+F4 did not close the settings window"
sleep 1
kill -0 "$app" 2>/dev/null || fail "closing the only window ended Lumora"
[ -n "$(find_bar "$app")" ] || fail "closing the only window took the bar away"
[ "$(stored enabled)" = true ] || fail "closing the window switched the lighting off"
echo "e2e (no tray): closing the window left Lumora running with the bar on"

second_start
settings=$(wait_settings) || fail "a second start did not reopen the window"
echo "e2e (no tray): a second start reopened the window"

kill "$app" 2>/dev/null
end_app any
echo "e2e (no tray): passed"
exit 0
