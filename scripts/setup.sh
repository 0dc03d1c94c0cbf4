#!/usr/bin/env bash
# Installs what Lumora needs to build, test and benchmark on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev libqt6svg6 libxcb1-dev
  libgtest-dev libgmock-dev libbenchmark-dev libhwy-dev
  fonts-dejavu-core fonts-noto-cjk
  xvfb xauth
  openbox trayer x11-utils xdotool imagemagick
  dbus-daemon
  libdrm-dev libinput-dev libudev-dev
  qt6-wayland qt6-wayland-dev qt6-wayland-dev-tools qt6-base-private-dev
  libwayland-dev wayland-protocols
  sway grim mutter xwayland
  qemu-system-x86 busybox-static cpio kmod
  clang libfuzzer-14-dev
  groff-base appstream desktop-file-utils
  dpkg-dev debhelper fakeroot lintian
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "setup: installing ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
