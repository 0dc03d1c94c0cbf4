#!/bin/busybox sh
# The guest's first process for the application boot: Lumora itself, offscreen, driving the
# virtual panel as it would the Touch Bar. The host checks the screen at each "LUMORA-SHOT".

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
while read -r module; do
    insmod "/modules/$module" || echo "LUMORA-FAIL boot: insmod $module"
done </modules/order

# A solid red bar, lit, past its first start.
mkdir -p /cfg/lumora /tmp/run
chmod 700 /tmp/run
printf '[General]\neffect=solid\ncolor=FF0000\nbrightness=1\nenabled=true\ndidShowSettings=true\n' \
    >/cfg/lumora/lumora.conf
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME=/cfg XDG_RUNTIME_DIR=/tmp/run HOME=/tmp
export LUMORA_DEBUG=/tmp/geometry

/bin/lumora --output touchbar --touchbar-device /dev/dri/card0 2>/tmp/err &
app=$!
# The geometry dump is written 1.2 s after the bar is presented, its width fitted by then.
tries=0
while [ ! -s /tmp/geometry ] && kill -0 $app 2>/dev/null && [ $tries -lt 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
if [ -s /tmp/geometry ]; then
    echo "LUMORA-SHOT lit"
    read -r _
    # SIGTERM quits as the menu does: the bar is dismissed and the card let go.
    kill -TERM $app
    wait $app
    echo "LUMORA-EXIT $?"
    echo "LUMORA-SHOT dark"
    read -r _
else
    echo "LUMORA-FAIL app: the bar was not presented"
fi
sed 's/^/LUMORA-ERR /' /tmp/err
echo LUMORA-DONE
poweroff -f
