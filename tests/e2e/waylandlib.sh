# Shared by the end-to-end tests on Wayland compositors: sourced by NAME.sh with $lumora,
# $helper and $here set. Checks the arguments, goes on a private bus and makes $work.
name=$(basename "$0" .sh)
if [ ! -x "$lumora" ] || [ ! -x "$helper" ]; then
    echo "e2e: usage: $name.sh /path/to/lumora /path/to/e2e_fullscreen_window" >&2
    exit 1
fi
. "$here/privatebus.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-$name.XXXXXX") || exit 1
. "$here/common.sh"

# What the fullscreen helper window paints everywhere.
flat="30,144,90"

pids=""
cleanup() {
    # Kill by id only, newest first: the compositor goes last.
    for pid in $pids; do
        kill "$pid" 2>/dev/null
    done
    sleep 0.2
}
trap 'cleanup; rm -rf "$work"' EXIT INT TERM

started() {
    pids="$1 $pids"
}

fail() {
    echo "e2e: FAIL: $*" >&2
    for f in "$work"/*.log "$work"/*.err; do
        [ -s "$f" ] && tail -n 15 "$f" | sed "s|^|  $(basename "$f"): |" >&2
    done
    exit 1
}

skip() {
    echo "e2e: SKIP: $*" >&2
    exit 77
}

need_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 ||
            skip "$tool is not installed (scripts/setup.sh installs it)"
    done
}

# A private configuration (the lighting on, the first-launch window already seen), a private
# runtime folder, and the bar's geometry dump.
private_config() {
    export XDG_CONFIG_HOME="$work/config"
    mkdir -p "$XDG_CONFIG_HOME/lumora"
    printf '[General]\nenabled=true\ndidShowSettings=true\n' >"$XDG_CONFIG_HOME/lumora/lumora.conf"
    export XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 -p "$XDG_RUNTIME_DIR"
    export LUMORA_DEBUG="$work/geometry.txt"
    unset QT_QPA_PLATFORM
    # As a desktop's Wayland session says it, which Qt would otherwise follow.
    export XDG_SESSION_TYPE=wayland
}

# Starts Lumora, after the command in $2... if any (e.g. env -u DISPLAY), and waits for its
# geometry dump to say the bar was placed as $1.
start_placed() {
    placement=$1
    shift
    rm -f "$LUMORA_DEBUG"
    "$@" "$lumora" >"$work/lumora.out" 2>"$work/lumora.err" &
    app=$!
    started $app
    dumped() { grep -q '^placement: ' "$LUMORA_DEBUG" 2>/dev/null; }
    wait_for 150 dumped || fail "Lumora wrote no geometry dump within 15 s"
    grep -qx "placement: $placement" "$LUMORA_DEBUG" ||
        fail "the bar was placed as $(grep '^placement: ' "$LUMORA_DEBUG"), not $placement"
}

# The colour "R,G,B" of each point "X,Y" of PNG $1, one per line.
pixels() {
    png=$1
    shift
    format=""
    for point in "$@"; do
        x=${point%,*}
        y=${point#*,}
        format="$format%[fx:round(255*p{$x,$y}.r)],%[fx:round(255*p{$x,$y}.g)],%[fx:round(255*p{$x,$y}.b)]\n"
    done
    convert "$png" -format "$format" info:
}

# The screenshot $1 shows the bar at the bottom centre with the flat fullscreen window all
# around it: lit pixels along the bar, the flat colour just beside, above and far from it.
check_bar_pixels() {
    bar_x=$(((screen_w - bar_w) / 2))
    row=$((screen_h - bar_h / 2))
    inside=""
    x=$((bar_x + 20))
    while [ "$x" -lt $((bar_x + bar_w - 60)) ]; do
        inside="$inside $x,$row"
        x=$((x + 100))
    done
    lit=0
    for colour in $(pixels "$1" $inside); do
        [ "$colour" = "$flat" ] && fail "the bar's place at the bottom centre shows the window below ($colour)"
        for channel in $(echo "$colour" | tr , ' '); do
            if [ "$channel" -gt 60 ]; then
                lit=$((lit + 1))
                break
            fi
        done
    done
    [ "$lit" -ge 5 ] || fail "the bar at the bottom centre is not lit ($lit bright samples)"
    # 1085 x 30 to within a pixel: its black ends and top row are its own ...
    edges="$((bar_x + 1)),$row $((bar_x + bar_w - 2)),$row $((screen_w / 2)),$((screen_h - bar_h + 1))"
    for colour in $(pixels "$1" $edges); do
        [ "$colour" = "$flat" ] && fail "the bar does not reach its edges at the bottom centre"
    done
    # ... and a pixel beyond them is the window below.
    outside="$((bar_x - 2)),$row $((bar_x + bar_w + 1)),$row $((screen_w / 2)),$((screen_h - bar_h - 2))"
    outside="$outside $((screen_w / 2)),$((screen_h / 2)) 10,10"
    for colour in $(pixels "$1" $outside); do
        [ "$colour" = "$flat" ] ||
            fail "around the bar the screenshot shows $colour, not the fullscreen window"
    done
}
