#!/bin/sh
# What the real program costs with its bar in a window on an X11 desktop, the X server's round
# trips included, which the offscreen lumora_view_load cannot show:
#   bench/x11-load.sh [LUMORA] [EFFECT] [SECONDS]
# Runs Lumora under Xvfb with openbox and a tray, closes the settings window as a user would,
# then prints each thread's share of one core and how often it ran. Throwaway settings.
set -eu
lumora=${1:-build/app/lumora}
effect=${2:-scanner}
seconds=${3:-20}
[ -x "$lumora" ] || { echo "x11-load: build $lumora first" >&2; exit 1; }
for tool in xvfb-run dbus-run-session openbox trayer xdotool; do
    command -v "$tool" >/dev/null 2>&1 || { echo "x11-load: $tool is not installed" >&2; exit 1; }
done
if [ -z "${LUMORA_X11_LOAD_INNER:-}" ]; then
    grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'
    LUMORA_X11_LOAD_INNER=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" \
        dbus-run-session -- sh "$0" "$lumora" "$effect" "$seconds"
fi

work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/lumora" && mkdir -m 700 "$XDG_RUNTIME_DIR"
printf '[General]\neffect=%s\nangle=37\n' "$effect" >"$XDG_CONFIG_HOME/lumora/lumora.conf"
openbox >/dev/null 2>&1 &
wm=$!
trayer >/dev/null 2>&1 &
tray=$!
sleep 1
QT_LOGGING_RULES="*.debug=false" "$lumora" --output window >"$work/lumora.log" 2>&1 &
app=$!
trap 'kill $app $tray $wm 2>/dev/null; rm -rf "$work"' EXIT
# The first start opens the settings window; only the bar is measured. On a busy machine it
# can take a while to show, and left open it would be measured too.
settings_window() { xdotool search --all --onlyvisible --pid $app --name '^Lumora$' | head -n 1; }
settings=""
tries=0
while [ -z "$settings" ] && [ $tries -lt 50 ]; do
    sleep 0.2
    settings=$(settings_window)
    tries=$((tries + 1))
done
[ -n "$settings" ] || { echo "x11-load: the settings window never showed" >&2; exit 1; }
xdotool windowactivate --sync "$settings" key alt+F4
tries=0
while [ -n "$(settings_window)" ] && [ $tries -lt 25 ]; do
    sleep 0.2
    tries=$((tries + 1))
done
[ -z "$(settings_window)" ] || { echo "x11-load: the settings window did not close" >&2; exit 1; }
sleep 2
snapshot() {
    for task in "/proc/$app/task/"*; do
        echo "$(basename "$task") $(tr ' ' '_' <"$task/comm") $(cat "$task/schedstat")"
    done
}
snapshot >"$work/before"
sleep "$seconds"
snapshot >"$work/after"
# schedstat: nanoseconds on a CPU, nanoseconds waiting, times run.
join "$work/before" "$work/after" | awk -v s="$seconds" -v effect="$effect" '
    { d = ($7 - $3) / s / 1e7; r = ($9 - $5) / s; total += d; runs += r
      if (r > 0) line = line sprintf("  %s %.2f %% (%d runs/s)\n", $2, d, r) }
    END { printf "bar in a window, %s at 37 degrees, %d s: %.2f %% of one core, %d runs a second\n%s",
                 effect, s, total, runs, line }'
