#!/bin/sh
# Runs inside Xvfb and a private D-Bus session with a window manager; started by run.sh.
# `lumora ctl` drives the one running Lumora, a hand edit of its settings file reaches it within
# a second, and once it is gone ctl exits with status 3.
#   control.sh /path/to/lumora WORKDIR
set -u

lumora=$1
work=$2
. "$(dirname "$0")/lib.sh"

openbox >"$work/openbox.log" 2>&1 &
helpers="$helpers $!"
private_config 'effect=breathing
'
conf="$XDG_CONFIG_HOME/lumora/lumora.conf"

# Nobody there yet.
"$lumora" ctl get >/dev/null 2>"$work/ctl.err"
[ $? -eq 3 ] || fail "ctl before Lumora started did not exit with 3"

"$lumora" >"$work/first.out" 2>"$work/first.err" &
app=$!
answers() {
    kill -0 "$app" 2>/dev/null || fail "lumora exited"
    "$lumora" ctl get effect >"$work/effect" 2>/dev/null
}
wait_for 100 answers || fail "Lumora did not answer on the bus within 10 s"
[ "$(cat "$work/effect")" = breathing ] || fail "get effect said '$(cat "$work/effect")'"

# What ctl says and refuses is checked against a stand-in service by ControlClientTest.
"$lumora" ctl set effect scanner || fail "set effect scanner"
"$lumora" ctl preset save Evening >/dev/null || fail "preset save"
"$lumora" ctl next || fail "next"
[ "$("$lumora" ctl get effect)" = inferno ] || fail "next did not go from scanner to inferno"

# Our own writes reach the file; a second start only hands over to the first.
sleep 1
grep -q '^effect=inferno' "$conf" || fail "the file does not hold the effect: $(cat "$conf")"
"$lumora" ctl preset list | grep -q "	Evening$" || fail "the preset is not listed"

# A hand edit as editors make it: a new file renamed over the old one.
sed 's/^effect=.*/effect=matrix/' "$conf" >"$conf.new" && mv "$conf.new" "$conf"
start=$(date +%s%N)
until [ "$("$lumora" ctl get effect)" = matrix ]; do
    [ $(($(date +%s%N) - start)) -lt 1000000000 ] || fail "the hand edit did not arrive within a second"
    sleep 0.05
done
echo "control: the hand edit arrived within $((($(date +%s%N) - start) / 1000000)) ms"

kill "$app"
wait "$app"
app=""
"$lumora" ctl next 2>"$work/gone.err"
[ $? -eq 3 ] || fail "ctl after Lumora quit did not exit with 3"
grep -qx "lumora: Lumora is not running" "$work/gone.err" || fail "gone: $(cat "$work/gone.err")"
echo "control: passed"
exit 0
