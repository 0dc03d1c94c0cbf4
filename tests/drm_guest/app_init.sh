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

# wait_for TEST...: up to 30 s for the test to hold while Lumora runs (the host waits 60).
wait_for() {
    tries=0
    until "$@"; do
        kill -0 $app 2>/dev/null || return 1
        [ $tries -lt 300 ] || return 1
        sleep 0.1
        tries=$((tries + 1))
    done
}

# Starts Lumora on the panel; the geometry dump comes 1.2 s after the bar is presented.
start() {
    rm -f /tmp/geometry
    /bin/lumora --output touchbar --touchbar-device /dev/dri/card0 2>>/tmp/err &
    app=$!
    wait_for test -s /tmp/geometry || echo "LUMORA-FAIL app: the bar was not presented"
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
    tries=0
    while ! grep -q LUMORA-TOUCH-READY /tmp/touch.out && [ $tries -lt 300 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    grep -q LUMORA-TOUCH-READY /tmp/touch.out && touch=yes ||
        echo "LUMORA-FAIL touch: $(cat /tmp/touch.out)"
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
stop
shot dark
[ -z "$touch" ] || echo quit >&4
sed 's/^/LUMORA-ERR /' /tmp/err
echo LUMORA-DONE
# Powering off at once can cut the console's last lines short: wait for the host's answer.
read -r -t 30 _
poweroff -f
