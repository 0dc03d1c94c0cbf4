#!/usr/bin/env bash
# End-to-end test of the DRM/KMS panel code: boots Debian's kernel under qemu with a virtio GPU
# shaped like the Touch Bar, runs lumora_drm_guest in it, and checks every pixel of each frame
# through QMP screen dumps.
#
#   run.sh GUEST_PROGRAM CHECKER WORK_DIR [LUMORA [TOUCH_DEVICE [SERVICES]]]
#
# With LUMORA, a third boot runs the application itself (offscreen, with its shared libraries)
# on the panel and checks the lit bar, its new colour after an edit, and the dark panel after
# SIGTERM; with TOUCH_DEVICE (a uinput stand-in for the digitizer) also that a tap on the close
# button switches it off. With SERVICES (stand-ins for systemd and logind on a bus in the
# guest), the function keys - the guest program drawing its pattern - hand the panel to Lumora
# and get it back from a tap, and after a SIGKILL; a locked session takes the bar off the panel.
#
# WORK_DIR caches the kernel and modules between runs. Exit 0 pass, 1 fail, 77 when this
# machine cannot run the test (no qemu, no static guest program, no kernel to download).
set -euo pipefail

guest=$1 checker=$2 work=$3 app=${4:-} touch=${5:-} services=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
export PATH=$PATH:/usr/sbin:/sbin # depmod and modprobe, for users too
deadline=$((SECONDS + 280)) # watchdog for the whole run, download included

skip() { echo "drm_end_to_end: skipped: $*"; exit 77; }
fail() { echo "drm_end_to_end: FAIL: $*" >&2; exit 1; }
# Seconds to wait for the next line: a minute at most, never past the deadline.
patience() {
    local left=$((deadline - SECONDS))
    echo $((left > 60 ? 60 : left < 1 ? 1 : left))
}

for tool in qemu-system-x86_64 cpio depmod modprobe dpkg-deb readelf timeout; do
    command -v $tool >/dev/null || skip "$tool is not installed (scripts/setup.sh installs it)"
done
[ -x "$guest" ] || skip "no guest program $guest (it needs a static libdrm.a)"
busybox=/bin/busybox
if [ ! -x $busybox ] || readelf -l $busybox 2>/dev/null | grep -q interpreter; then
    skip "no static busybox (install busybox-static)"
fi

# The kernel the distribution would install, unpacked next to the build: its image and the
# modules the virtio GPU and a uinput digitizer need, in load order. Kept per package, so a new kernel is fetched once.
fetch_kernel() { # PACKAGE DIR
    local unpack=$work/unpack version wanted
    rm -rf "$2" "$unpack"
    mkdir -p "$2/modules" "$unpack"
    (cd "$unpack" && timeout 120 apt-get download "$1") >"$work/download.log" 2>&1 || return 1
    dpkg-deb -x "$unpack"/*.deb "$unpack/root" || return 1
    version=$(ls "$unpack/root/lib/modules")
    depmod -b "$unpack/root" "$version" || return 1
    cp "$unpack/root/boot/vmlinuz-$version" "$2/vmlinuz" || return 1
    for wanted in virtio_pci virtio_gpu evdev uinput; do
        modprobe -d "$unpack/root" -S "$version" --show-depends $wanted || return 1
    done >"$unpack/insmod" || return 1
    awk '$1 == "insmod" && !seen[$2]++ { print $2 }' "$unpack/insmod" >"$unpack/order"
    xargs -a "$unpack/order" cp -t "$2/modules" || return 1
    xargs -a "$unpack/order" -n 1 basename >"$2/order"
    rm -rf "$unpack"
}
mkdir -p "$work"
package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ { print $2; exit }') || true
kernel=$work/kernel-$package
# A cache from before the input modules were wanted is fetched again.
cached() { grep -qs uinput "$1/order"; }
if [ -n "$package" ] && ! cached "$kernel"; then
    echo "drm_end_to_end: fetching $package"
    fetch_kernel "$package" "$kernel" || echo "drm_end_to_end: cannot fetch $package" \
        "(see $work/download.log)"
fi
if [ -z "$package" ] || ! cached "$kernel"; then
    # Offline or no package lists: an earlier download still does.
    kernel=
    for order in "$work"/kernel-*/order; do
        cached "$(dirname "$order")" && kernel=$(dirname "$order")
    done
    [ -n "$kernel" ] || skip "no kernel: apt cannot fetch linux-image-amd64's image package"
fi

# The initramfs: static busybox, the guest program, the modules and the step script.
run=$work/run
rm -rf "$run"
mkdir -p "$run/root"/{bin,dev,proc,sys,tmp}
cp $busybox "$run/root/bin/busybox"
cp "$guest" "$run/root/bin/lumora_drm_guest"
cp "$here/guest_init.sh" "$run/root/init"
cp -r "$kernel/modules" "$run/root/modules"
cp "$kernel/order" "$run/root/modules/order"
chmod +x "$run/root/init"
(cd "$run/root" && find . | cpio -o -H newc --quiet) >"$run/initramfs.cpio"

# Shots every boot must show, in order, as "name/frame".
expected="atomic/0 atomic/1 legacy/0 legacy/1 dirtyfb/0 dirtyfb/1 hold/0 reopen/3"

qemu_pid=
trap '[ -z "$qemu_pid" ] || kill $qemu_pid 2>/dev/null || true' EXIT

# start_qemu NAME INITRD XRES YRES MEMORY [KERNEL_ARGS]: boots a guest with a virtio GPU asked
# for XRES x YRES (without EDID the kernel rounds the width down to a multiple of 8). Sets
# from_guest and to_guest (its serial console) and opens QMP for qmp().
start_qemu() {
    local xres=$3 yres=$4 memory=$5 args=${6:-}
    name=$1
    dir=$run/$name
    mkdir -p "$dir"
    # QMP over a pair of fifos (qemu reads qmp.in, writes qmp.out): plain bash can talk to it.
    mkfifo "$dir/qmp.in" "$dir/qmp.out"
    : >"$dir/console.log"
    coproc QEMU {
        exec timeout 200 qemu-system-x86_64 -m "$memory" -accel tcg -nodefaults -vga none \
            -display none -serial stdio -no-reboot \
            -chardev pipe,id=qmp,path="$dir/qmp" -mon chardev=qmp,mode=control \
            -device virtio-gpu-pci,xres="$xres",yres="$yres",edid=off \
            -kernel "$kernel/vmlinuz" -initrd "$2" \
            -append "console=ttyS0 quiet panic=-1 $args" 2>"$dir/qemu.err"
    }
    qemu_pid=$QEMU_PID
    from_guest=${QEMU[0]} to_guest=${QEMU[1]}
    exec {qmp_in}<>"$dir/qmp.in" {qmp_out}<>"$dir/qmp.out"
    qmp '{"execute": "qmp_capabilities"}'
}

# qmp COMMAND: sends one command and waits for its answer.
qmp() {
    local reply
    echo "$1" >&"$qmp_in"
    while read -r -t "$(patience)" reply <&"$qmp_out"; do
        case $reply in
        *'"return"'*) return 0 ;;
        *'"error"'*) fail "$name: qmp answered $reply to $1" ;;
        esac
    done
    fail "$name: qmp gave no answer to $1"
}

# next_line: the guest's next console line into $line (logged); false at the end or deadline.
next_line() {
    [ $SECONDS -lt $deadline ] && read -r -t "$(patience)" line <&"$from_guest" || return 1
    line=${line%$'\r'}
    echo "$line" >>"$dir/console.log"
}

# stop_qemu: after LUMORA-DONE the guest powers off once answered; qemu exits and the
# console closes.
stop_qemu() {
    if [ "$line" != LUMORA-DONE ]; then
        tail -n 20 "$dir/console.log" "$dir/qemu.err" >&2 || true
        fail "$name: the guest stopped early or hung"
    fi
    echo bye >&"$to_guest"
    while read -r -t "$(patience)" line <&"$from_guest"; do :; done
    kill "$qemu_pid" 2>/dev/null || true
    wait "$qemu_pid" || true
    qemu_pid=
    exec {qmp_in}>&- {qmp_out}>&-
}

# boot NAME XRES YRES WIDTH HEIGHT [KERNEL_ARGS]: the panel steps on a WIDTH x HEIGHT mode.
boot() {
    local width=$4 height=$5 shots="" passed=""
    start_qemu "$1" "$run/initramfs.cpio" "$2" "$3" 512 "${6:-}"
    while next_line; do
        case $line in
        LUMORA-SHOT*)
            local shot frame
            read -r _ shot frame _ <<<"$line"
            qmp "{\"execute\": \"screendump\", \"arguments\": {\"filename\": \"$dir/$shot-$frame.ppm\"}}"
            "$checker" "$dir/$shot-$frame.ppm" "$width" "$height" "$frame" ||
                fail "$name: wrong pixels on shot $shot/$frame ($line)"
            shots+="${shots:+ }$shot/$frame"
            echo go >&"$to_guest"
            ;;
        LUMORA-PASS*)
            local kind=${line#LUMORA-PASS }
            passed+="${passed:+ }${kind%%:*}"
            ;;
        LUMORA-FAIL*) fail "$name: ${line#LUMORA-FAIL }" ;;
        LUMORA-DONE) break ;;
        esac
    done
    stop_qemu
    [ "$shots" = "$expected" ] || fail "$name: shots were '$shots', expected '$expected'"
    [ "$passed" = "busy permission" ] || fail "$name: refusals were '$passed'"
    echo "drm_end_to_end: $name ${width}x$height: $shots right; refused: $passed"
}

boot landscape 2008 60 2008 60
boot portrait 60 2008 56 2008 lumora.portrait

# pixel FILE X Y: the colour at (X, Y) as ImageMagick names it, e.g. "srgb(255,0,0)".
pixel() { convert "$1" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null; }
# white_share FILE GEOMETRY: the share of nearly white pixels in that part of the screen.
white_share() {
    convert "$1" -crop "$2" +repage -fx '(r>0.8)*(g>0.8)*(b>0.8)' -format '%[fx:mean]' info: 2>/dev/null
}

# The application: its shared libraries, Qt's offscreen platform, and the step script.
boot_app() {
    local root=$run/app-root lib status="" errors="" shots=""
    mkdir -p "$root"/{bin,dev,proc,sys,tmp}
    cp $busybox "$root/bin/busybox"
    cp "$app" "$root/bin/lumora"
    [ -z "$touch" ] || cp "$touch" "$root/bin/lumora_touch_device"
    local bus="" daemon
    daemon=$(command -v dbus-daemon || true)
    if [ -n "$services" ] && [ -n "$daemon" ]; then
        cp "$services" "$root/bin/lumora_guest_services"
        cp "$guest" "$root/bin/lumora_drm_guest"
        cp "$daemon" "$root/bin/dbus-daemon"
        mkdir -p "$root/etc"
        cp "$here/guest_bus.conf" "$root/etc/lumora-bus.conf"
        bus="$daemon $services"
    elif [ -n "$services" ]; then
        echo "drm_end_to_end: no dbus-daemon, the function keys' steps left out"
        services=
    fi
    # libinput's device quirks, as an installed system has them.
    if [ -d /usr/share/libinput ]; then
        mkdir -p "$root/usr/share"
        cp -r /usr/share/libinput "$root/usr/share/"
    fi
    local plugin
    plugin=$(find /usr/lib -path '*qt6/plugins/platforms/libqoffscreen.so' -print -quit)
    [ -n "$plugin" ] || fail "app: Qt's offscreen platform plugin is missing"
    mkdir -p "$root$(dirname "$plugin")"
    cp "$plugin" "$root$plugin"
    for lib in $(ldd "$app" "$plugin" $bus | awk '/=>/ { print $3 } /^\t\// { print $1 }' | sort -u); do
        mkdir -p "$root$(dirname "$lib")"
        cp -L "$lib" "$root$lib"
    done
    cp "$here/app_init.sh" "$root/init"
    cp -r "$kernel/modules" "$root/modules"
    cp "$kernel/order" "$root/modules/order"
    chmod +x "$root/init"
    (cd "$root" && find . | cpio -o -H newc --quiet) >"$run/app.cpio"

    start_qemu app "$run/app.cpio" 2008 60 1024
    while next_line; do
        case $line in
        LUMORA-SHOT*)
            local shot=${line#LUMORA-SHOT } file
            file=$dir/$shot.ppm
            qmp "{\"execute\": \"screendump\", \"arguments\": {\"filename\": \"$file\"}}"
            if [ "$shot" = keys ]; then
                # The function keys' stand-in is back with its own pattern, every pixel.
                "$checker" "$file" 2008 60 0 || fail "app: the keys' pattern is not on the panel"
            elif [ "$shot" = lit ]; then
                # 2008 pixels give a 1004-point bar drawn two to one: solid red inside rounded
                # ends, and the close button's cross 10 points from the right end, 44 wide.
                [ "$(pixel "$file" 1000 30)" = "srgb(255,0,0)" ] ||
                    fail "app: the middle of the bar is $(pixel "$file" 1000 30), not red"
                for corner in "0 0" "2007 0" "0 59" "2007 59"; do
                    [ "$(pixel "$file" $corner)" = "srgb(0,0,0)" ] ||
                        fail "app: corner $corner is $(pixel "$file" $corner), not dark"
                done
                awk -v s="$(white_share "$file" 88x60+1900+0)" 'BEGIN { exit !(s > 0.02) }' ||
                    fail "app: no close button at pixels 1900-1988"
                [ "$(white_share "$file" 1880x60+0+0)" = 0 ] ||
                    fail "app: white pixels left of the close button"
            elif [ "$shot" = blue ]; then
                [ "$(pixel "$file" 1000 30)" = "srgb(0,0,255)" ] ||
                    fail "app: after the edit the bar is $(pixel "$file" 1000 30), not blue"
            elif [ "$shot" = locked ]; then
                # Switched off: black but for qemu's grey notice, not a single coloured pixel.
                [ "$(convert "$file" -fx 'abs(r-g)+abs(g-b)' -format '%[fx:maxima]' info:)" = 0 ] ||
                    fail "app: the panel is not dark while the session is locked"
            else
                # The bar is gone: nothing red is left (qemu may write "Display output is not
                # active." in grey on a panel that is switched off).
                [ "$(convert "$file" -fx 'r-g' -format '%[fx:maxima]' info:)" = 0 ] ||
                    fail "app: the bar is still on the panel ($shot)"
            fi
            shots+="${shots:+ }$shot"
            echo go >&"$to_guest"
            ;;
        LUMORA-EXIT*) status+="${status:+ }${line#LUMORA-EXIT }" ;;
        LUMORA-ERR*) errors+="${line#LUMORA-ERR }"$'\n' ;;
        LUMORA-FAIL*) fail "app: ${line#LUMORA-FAIL }" ;;
        LUMORA-DONE) break ;;
        esac
    done
    stop_qemu
    local want="lit blue dark" exits="0"
    [ -z "$touch" ] || want="lit tapped lit blue dark" exits="0 0"
    [ -z "$services" ] || want="keys lit keys lit keys lit locked lit blue dark" exits="0 0 0"
    [ "$shots" = "$want" ] || fail "app: shots were '$shots', expected '$want'"
    [ "$status" = "$exits" ] || fail "app: lumora exited with '$status' after SIGTERM"
    if grep -q "cannot drive\|no usable panel\|in use\|cannot stop\|cannot start" <<<"$errors"; then
        fail "app: lumora reported: $errors"
    fi
    echo "drm_end_to_end: app on 2008x60: $shots right, exits $status"
}
if [ -z "$app" ]; then
    echo "drm_end_to_end: no application given, its boot left out"
elif ! command -v convert >/dev/null; then
    echo "drm_end_to_end: no ImageMagick to read the application's screen, its boot left out"
else
    boot_app
fi
echo "drm_end_to_end: passed in ${SECONDS}s"
