#!/bin/busybox sh
# The test guest's first process. Loads the virtio GPU driver, then runs every panel step; the
# host answers each "LUMORA-SHOT" line on the serial console once it has checked the screen.

/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

# Modules in load order. lumora.portrait on the command line asks for a panel like the real
# bar: the kernel's console holds it first, and the last program finds it by searching /dev/dri.
# Otherwise the panel starts dark and every program is told the card.
fbdev=0 search=
grep -q lumora.portrait /proc/cmdline && fbdev=1 search=--search
while read -r module; do
    case $module in
    drm_kms_helper.ko) insmod "/modules/$module" fbdev_emulation=$fbdev ;;
    *) insmod "/modules/$module" ;;
    esac || echo "LUMORA-FAIL boot: insmod $module"
done </modules/order
card=/dev/dri/card0
[ -e $card ] || echo "LUMORA-FAIL boot: no $card"

guest() { /bin/lumora_drm_guest --device $card "$@"; }
# A crash says nothing by itself: report every step that did not exit cleanly.
step() { guest "$@" || echo "LUMORA-FAIL step $*: exited with $?"; }

# Both buffers on each way of flushing a frame.
step --path atomic --name atomic --frames 2
step --path legacy --name legacy --frames 2
step --path dirtyfb --name dirtyfb --frames 2

# DRM master, as an ordinary user the card is opened up to: while one program holds the card
# a second is refused; once the first has exited the card opens again. The holder reads its
# go-ahead from a fifo so the host's answer to its shot comes back here instead.
chmod 666 $card
user=1000
mkfifo /tmp/release
exec 3<>/tmp/release
guest --uid $user --path atomic --name hold --frames 1 <&3 &
holder=$!
read -r _
step --uid $user --expect busy
echo >&3
wait $holder || echo "LUMORA-FAIL hold: exited with $?"
step --uid $user $search --path legacy --name reopen --frames 1 --first-frame 3
chmod 600 $card
step --uid $user --expect permission

echo LUMORA-DONE
# Powering off at once can cut the console's last lines short: wait for the host's answer.
read -r -t 30 _
poweroff -f
