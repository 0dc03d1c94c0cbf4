#!/bin/busybox sh
# The guest's first process for the application boot: Lumora itself, offscreen, driving the
# virtual panel as it would the Touch Bar. The host checks the screen at each "LUMORA-SHOT"
# and answers with a line.

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
# No kernel console on the panel: once Lumora lets go, it must be dark, not show a cursor.
while read -r module; do
    case $module in
    drm_kms_helper.ko) insmod "/modules/$module" fbdev_emulation=0 ;;
    *) insmod "/modules/$module" ;;
    esac || echo "LUMORA-FAIL boot: insmod $module"
done </modules/order

# A solid red bar, lit, past its first start.
mkdir -p /cfg/lumora /tmp/run
chmod 700 /tmp/run
conf=/cfg/lumora/lumora.conf
printf '[General]\neffect=solid\ncolor=FF0000\nbrightness=1\nenabled=true\ndidShowSettings=true\n' \
    >$conf
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=/cfg XDG_RUNTIME_DIR=/tmp/run HOME=/tmp
export LUMORA_DEBUG=/tmp/geometry

shot() {
    echo "LUMORA-SHOT $1"
    read -r _
}

# until_true TEST...: up to 30 s for the test to hold, whoever runs (the host waits 60).
until_true() {
    tries=0
    until "$@"; do
        [ $tries -lt 300 ] || return 1
        sleep 0.1
        tries=$((tries + 1))
    done
}
# wait_for TEST...: the same, but no longer than Lumora runs.
running_and() { ! kill -0 $app 2>/dev/null || "$@"; }
wait_for() { until_true running_and "$@" && "$@"; }

# Starts Lumora on the panel; the geometry dump comes 1.2 s after the bar is presented.
start() {
    rm -f /tmp/geometry
    /bin/lumora --output touchbar --touchbar-device /dev/dri/card0 2>>/tmp/err &
    app=$!
    wait_for test -s /tmp/geometry || echo "LUMORA-FAIL app: the bar was not presented"
}

# A hand edit reaches the running bar within a second. The new colour goes out after the frame
# before it, whose flip must have been seen to end: a panel stuck waiting would stay red.
recolor() {
    sed -i 's/color=FF0000/color=0000FF/' $conf
    sleep 2
    shot blue
}

# SIGTERM quits as the menu does: the bar is dismissed and the card let go.
stop() {
    kill -TERM $app
    wait $app
    echo "LUMORA-EXIT $?"
}

# The digitizer's stand-in, fed through a fifo.
touch=
if [ -x /bin/lumora_touch_device ]; then
    mkfifo /tmp/touch
    /bin/lumora_touch_device </tmp/touch >/tmp/touch.out &
    exec 4>/tmp/touch
    until_true grep -q LUMORA-TOUCH-READY /tmp/touch.out && touch=yes ||
        echo "LUMORA-FAIL touch: $(cat /tmp/touch.out)"
fi

# The function keys: a system bus with stand-ins for systemd and logind. The unit systemd
# runs is the guest program drawing pattern frame 0 and holding the panel until stopped.
services=
if [ -n "$touch" ] && [ -x /bin/lumora_guest_services ]; then
    echo 0123456789abcdef0123456789abcdef >/etc/machine-id
    echo 'root:x:0:0:root:/tmp:/bin/sh' >/etc/passwd
    echo 'root:x:0:' >/etc/group
    dbus-daemon --config-file=/etc/lumora-bus.conf --nofork --nopidfile 2>/tmp/bus.err &
    until_true test -S /tmp/system_bus_socket ||
        echo "LUMORA-FAIL services: no bus: $(cat /tmp/bus.err)"
    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/tmp/system_bus_socket
    mkfifo /tmp/keys.in /tmp/services.in
    exec 5<>/tmp/keys.in 6<>/tmp/services.in
    : >/tmp/keys.out
    /bin/lumora_guest_services tiny-dfr.service /bin/lumora_drm_guest --device /dev/dri/card0 \
        --path atomic --name keys <&6 >/tmp/services.out 2>&1 &
    services=yes
fi
# keys_shown N: the keys' stand-in has drawn its pattern for the Nth time.
keys_drawn() { [ "$(grep -c 'LUMORA-SHOT keys' /tmp/keys.out)" -ge "$1" ]; }
keys_shown() {
    until_true keys_drawn "$1" || echo "LUMORA-FAIL keys: not back on the panel ($1)"
    shot keys
}
calls() { grep -c "^$1 tiny-dfr.service" /tmp/services.out; }
units_stopped() { [ "$(grep -c 'unit stopped' /tmp/services.out)" -ge "$1" ]; }

if [ -n "$services" ]; then
    # Lumora takes the panel from the keys, and the close button gives it back.
    keys_shown 1
    start
    shot lit
    [ "$(calls StopUnit)" = 1 ] || echo "LUMORA-FAIL keys: Lumora did not stop them"
    echo "tap 972 15" >&4
    wait_for grep -q enabled=false $conf || echo "LUMORA-FAIL touch: the tap did not switch off"
    keys_shown 2
    stop

    # Killed while holding the panel: the next start, with the lighting off, gives it back.
    sed -i 's/enabled=false/enabled=true/' $conf
    start
    shot lit
    kill -KILL $app
    wait $app
    [ -s /tmp/run/lumora/function-keys-stopped ] || echo "LUMORA-FAIL keys: no note left"
    sed -i 's/enabled=true/enabled=false/' $conf
    /bin/lumora --output touchbar --touchbar-device /dev/dri/card0 2>>/tmp/err &
    app=$!
    keys_shown 3
    until_true test ! -e /tmp/run/lumora/function-keys-stopped ||
        echo "LUMORA-FAIL keys: the note outlived the start"
    stop
    [ "$(calls StartUnit)" = 2 ] || echo "LUMORA-FAIL keys: started $(calls StartUnit) times"

    # A locked session takes the bar off the panel; unlocking brings it back. No service to
    # hand the panel to this time, so it must be dark.
    echo stop >&6
    until_true units_stopped 3 ||
        echo "LUMORA-FAIL keys: the administrator could not stop them"
    sed -i 's/enabled=false/enabled=true/' $conf
    echo functionKeysService= >>$conf
    start
    shot lit
    echo lock >&6
    sleep 2
    shot locked
    rm -f /tmp/geometry
    echo unlock >&6
    wait_for test -s /tmp/geometry || echo "LUMORA-FAIL lock: the bar did not come back"
    shot lit
    recolor
    stop
    shot dark
    [ "$(calls StopUnit)" = 2 ] || echo "LUMORA-FAIL keys: stopped $(calls StopUnit) times"
    echo quit >&4
    sed 's/^/LUMORA-ERR /' /tmp/err
    echo LUMORA-DONE
    read -r -t 30 _
    poweroff -f
fi

start
shot lit
if [ -n "$touch" ]; then
    # A tap on the close button (950 to 994 of a 1004-point bar) turns the lighting off.
    echo "tap 972 15" >&4
    wait_for grep -q enabled=false $conf || echo "LUMORA-FAIL touch: the tap did not switch off"
    shot tapped
    stop
    sed -i 's/enabled=false/enabled=true/' $conf
    start
    shot lit
fi
recolor
stop
shot dark
[ -z "$touch" ] || echo quit >&4
sed 's/^/LUMORA-ERR /' /tmp/err
echo LUMORA-DONE
# Powering off at once can cut the console's last lines short: wait for the host's answer.
read -r -t 30 _
poweroff -f
