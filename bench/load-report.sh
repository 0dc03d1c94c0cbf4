#!/usr/bin/env bash
# Whole-process cost of every path, three runs each, for a quiet machine:
#   bench/load-report.sh [BUILD_DIR] [SECONDS]
# Prints the CPU model first; each run's own line says the frames it ticked per second.
set -euo pipefail
build=${1:-build}
seconds=${2:-20}
load="$build/bench/lumora_view_load"
[ -x "$load" ] || { echo "load-report: build $load first" >&2; exit 1; }
grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'
uptime
export QT_LOGGING_RULES="*.debug=false;qt.qpa.*=false"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# What ticking alone costs here: the floor under every path below.
for run in 1 2 3; do "$load" --seconds "$seconds" --floor; done
# And waking with no event loop at all: the part of that floor no change to Lumora can remove.
for run in 1 2 3; do "$load" --seconds "$seconds" --floor --plain; done
# At 37 degrees: the dearer angle for the effects that follow the light; the others ignore it.
for effect in rainbowWave spectrumCycle breathing neonBreath heartbeat scanner inferno matrix starfield solid; do
    for run in 1 2 3; do
        "$load" --seconds "$seconds" --effect "$effect" --angle 37
    done
done
for run in 1 2 3; do "$load" --seconds "$seconds" --panel 2008; done
# The same frames composed by a thread with no event loop: the Touch Bar path's floor.
for run in 1 2 3; do "$load" --seconds "$seconds" --panel 2008 --plain; done
for run in 1 2 3; do "$load" --seconds "$seconds" --page; done
# The previews at the dearer angle too: the neon breath and heartbeat cards follow it.
for run in 1 2 3; do "$load" --seconds "$seconds" --page --angle 37; done
