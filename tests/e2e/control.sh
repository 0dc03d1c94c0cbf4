#!/bin/sh
# End-to-end check of scripting the running application: under Xvfb with a window manager and
# a private session bus, `lumora ctl` drives the one running Lumora, a hand edit of its
# settings file reaches it within a second, and once it is gone ctl exits with status 3.
#   control.sh /path/to/lumora
# Exit status: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
set -u

lumora=${1:-}
if [ "${LUMORA_CONTROL_INSIDE:-}" != 1 ]; then
    if [ -z "$lumora" ] || [ ! -x "$lumora" ]; then
        echo "control: usage: control.sh /path/to/lumora" >&2
        exit 1
    fi
    for tool in xvfb-run xauth dbus-run-session openbox timeout; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "control: SKIP: $tool is not installed (scripts/setup.sh installs it)" >&2
            exit 77
        fi
    done
    work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-control.XXXXXX") || exit 1
    trap 'rm -rf "$work"' EXIT INT TERM
    LUMORA_CONTROL_INSIDE=1 LUMORA_CONTROL_WORK=$work timeout -k 5 100 \
        xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
        dbus-run-session -- sh "$0" "$lumora"
    status=$?
    [ "$status" -eq 124 ] && echo "control: FAIL: the session did not finish within 100 s" >&2
    [ "$status" -eq 124 ] && status=1
    exit "$status"
fi

work=$LUMORA_CONTROL_WORK
app=""
wm=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
}
trap cleanup EXIT
fail() {
    echo "control: FAIL: $*" >&2
    [ -s "$work/app.err" ] && sed 's/^/  lumora: /' "$work/app.err" >&2
    exit 1
}

openbox >"$work/openbox.log" 2>&1 &
wm=$!
export XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/lumora" && mkdir -m 700 -p "$XDG_RUNTIME_DIR"
conf="$XDG_CONFIG_HOME/lumora/lumora.conf"
printf '[General]\nenabled=true\ndidShowSettings=true\neffect=breathing\n' >"$conf"
unset QT_QPA_PLATFORM

# Nobody there yet.
"$lumora" ctl get >/dev/null 2>"$work/ctl.err"
[ $? -eq 3 ] || fail "ctl before Lumora started did not exit with 3"

"$lumora" >"$work/app.out" 2>"$work/app.err" &
app=$!
tries=0
until "$lumora" ctl get effect >"$work/effect" 2>/dev/null; do
    kill -0 "$app" 2>/dev/null || fail "lumora exited"
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || fail "Lumora did not answer on the bus within 10 s"
    sleep 0.1
done
[ "$(cat "$work/effect")" = breathing ] || fail "get effect said '$(cat "$work/effect")'"

"$lumora" ctl set effect scanner || fail "set effect scanner"
"$lumora" ctl set speed 100 || fail "set speed 100"
[ "$("$lumora" ctl get speed)" = 4 ] || fail "speed 100 was not held to 4"
"$lumora" ctl set effect hologram 2>"$work/bad.err"
[ $? -eq 1 ] || fail "a bad effect did not exit with 1"
grep -q 'Effect: unknown effect "hologram"' "$work/bad.err" || fail "bad effect: $(cat "$work/bad.err")"
[ "$("$lumora" ctl get effect)" = scanner ] || fail "a refused write changed the effect"
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
