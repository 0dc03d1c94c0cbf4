# Shared by every end-to-end session, on X11 or Wayland: sourced.
screen_w=1920
screen_h=1080
bar_w=1085
bar_h=30

# Waits up to $1 tenths of a second for the command in the other arguments to succeed; $tries
# says how many tenths it took.
wait_for() {
    limit=$1
    shift
    tries=0
    until "$@"; do
        tries=$((tries + 1))
        [ "$tries" -ge "$limit" ] && return 1
        sleep 0.1
    done
}
