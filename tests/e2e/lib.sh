# Shared by the end-to-end sessions: sourced, with $work set, inside Xvfb.
. "$(dirname "$0")/common.sh"

helpers=""
app=""
cleanup() {
    # Kill by id only; openbox and trayer never exit on their own, so they are not waited for.
    [ -n "$app" ] && kill "$app" 2>/dev/null
    for pid in $helpers; do
        kill "$pid" 2>/dev/null
    done
}
trap cleanup EXIT

fail() {
    echo "e2e: FAIL: $*" >&2
    echo "e2e: visible windows:" >&2
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        echo "  $w \"$(xdotool getwindowname "$w" 2>/dev/null)\" $(geometry "$w")" >&2
    done
    for f in first second; do
        [ -s "$work/$f.err" ] && sed "s/^/  $f lumora: /" "$work/$f.err" >&2
    done
    exit 1
}

# "X Y WIDTH HEIGHT" of a window, in root coordinates.
geometry() {
    X="" Y="" WIDTH="" HEIGHT=""
    eval "$(xdotool getwindowgeometry --shell "$1" 2>/dev/null)"
    echo "${X:-?} ${Y:-?} ${WIDTH:-?} ${HEIGHT:-?}"
}

# The first visible window of process $1 that is bar_w x bar_h, or nothing.
find_bar() {
    for w in $(xdotool search --all --onlyvisible --pid "$1" 2>/dev/null); do
        set -- $(geometry "$w")
        if [ "$3" = "$bar_w" ] && [ "$4" = "$bar_h" ]; then
            echo "$w"
            return
        fi
    done
}

# Waits up to 5 s for the bar of process $app to be shown ($1 = yes) or gone ($1 = no).
bar_is() {
    found=$(find_bar "$app")
    if [ "$1" = yes ]; then [ -n "$found" ]; else [ -z "$found" ]; fi
}
wait_bar() { wait_for 50 bar_is "$1"; }

# A tray host in a strip at the top right of the screen.
start_tray() {
    trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
        --SetDockType true --transparent false >"$work/trayer.log" 2>&1 &
    helpers="$helpers $!"
}

# The icon of process $app in that strip, in $tray (empty if there is none).
tray_found() {
    tray=""
    for w in $(xdotool search --all --onlyvisible --pid "$app" 2>/dev/null); do
        set -- $(geometry "$w")
        if [ "$1" -ge $((screen_w - 120)) ] 2>/dev/null && [ "$2" -lt 24 ] && [ "$3" -le 32 ]; then
            tray=$w
        fi
    done
    [ -n "$tray" ]
}
# Waits up to $1 tenths of a second for the icon.
wait_tray() { wait_for "$1" tray_found; }

viewable() { xwininfo -id "$1" 2>/dev/null | grep -q "Map State: IsViewable"; }
settings_shown() {
    found=$(xdotool search --all --onlyvisible --pid "$app" --name '^Lumora$' 2>/dev/null | head -n 1)
    [ -n "$found" ] && viewable "$found"
}
# The settings window of process $app once it is mapped (waits up to 10 s), or nothing.
wait_settings() { wait_for 100 settings_shown && echo "$found"; }
# Waits up to 5 s until window $1 is no longer viewable (closed, hidden or minimised).
not_viewable() { ! viewable "$1"; }
wait_unviewable() { wait_for 50 not_viewable "$1"; }

# How many processes run the program under test.
count_lumora() {
    n=$(pgrep -c -f "^$lumora( |\$)" 2>/dev/null)
    echo "${n:-0}"
}

# A later start ($@ are its options): it must hand over and exit 0 within two seconds, and
# leave the first instance as the only one.
second_start() {
    started=$(date +%s%N)
    timeout 10 "$lumora" "$@" >"$work/second.out" 2>"$work/second.err"
    code=$?
    took=$((($(date +%s%N) - started) / 1000000))
    [ "$code" -eq 0 ] || fail "'lumora $*' while running exited with status $code, not 0"
    [ "$took" -le 2000 ] || fail "'lumora $*' while running took $took ms to hand over"
    kill -0 "$app" 2>/dev/null || fail "the first instance did not survive 'lumora $*'"
    [ "$(count_lumora)" -eq 1 ] || fail "$(count_lumora) Lumora processes run after 'lumora $*'"
}

ended() { ! kill -0 "$app" 2>/dev/null; }
# Ends process $app and waits for it; $1 = the exit status wanted, or "any".
end_app() {
    if ! wait_for 50 ended; then
        kill -9 "$app" 2>/dev/null
        app=""
        fail "Lumora did not end"
    fi
    wait "$app"
    code=$?
    app=""
    [ "$1" = any ] || [ "$code" -eq "$1" ] || fail "Lumora ended with status $code, not $1"
}

stored() {
    grep "^$1=" "$XDG_CONFIG_HOME/lumora/lumora.conf" | cut -d= -f2
}

# A private configuration ($1 = extra lines), a private runtime folder, no Qt platform forced.
# The program runs through a link of this session's own, so its processes can be counted apart
# from those of a session running beside it.
private_config() {
    ln -sf "$(readlink -f "$lumora")" "$work/lumora" && lumora="$work/lumora"
    export XDG_CONFIG_HOME="$work/config"
    mkdir -p "$XDG_CONFIG_HOME/lumora"
    printf '[General]\nenabled=true\ndidShowSettings=true\n%s' "${1:-}" \
        >"$XDG_CONFIG_HOME/lumora/lumora.conf"
    unset QT_QPA_PLATFORM
    # A runtime folder of our own, so a Lumora the user is running is never the "first" one.
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 -p "$XDG_RUNTIME_DIR"
}
