#!/usr/bin/env bash
# Installs what is missing, builds Lumora and starts it: the tray icon and the bar. Without a
# graphical session it draws the ten effect strips into snapshots/ instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target lumora
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no graphical session; writing the effect strips to snapshots/ instead" >&2
  exec build/app/lumora --snapshot "$PWD/snapshots"
fi
exec build/app/lumora
