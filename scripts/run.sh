#!/usr/bin/env bash
# Installs what is missing, builds Lumora and runs its main job: the ten effect strips, drawn
# with your stored settings, written to snapshots/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target lumora
exec build/app/lumora --snapshot "$PWD/snapshots"
