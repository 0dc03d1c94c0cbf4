#!/usr/bin/env bash
# Remakes the pictures in data/screenshots/ that software centres show (they are named in
# data/io.lumora.Lumora.metainfo.xml), with the program's own offscreen snapshot modes and
# the default settings, so they match what a new user sees.
#   scripts/screenshots.sh [path/to/lumora]     (default: build/app/lumora)
set -euo pipefail
cd "$(dirname "$0")/.."

lumora=${1:-build/app/lumora}
out=data/screenshots
[ -x "$lumora" ] || { echo "screenshots: $lumora is not built" >&2; exit 1; }
command -v convert >/dev/null || { echo "screenshots: convert (imagemagick) is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-shots.XXXXXX")
trap 'rm -rf "$work"' EXIT
# A fresh configuration: the stored settings of whoever runs this must not show.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$out"

LUMORA_APPEARANCE=light "$lumora" --snapshot-ui "$work/settings-light.png"
LUMORA_APPEARANCE=dark "$lumora" --snapshot-ui "$work/settings-dark.png"
"$lumora" --snapshot "$work/strips" >/dev/null

# The bar in every effect, in the settings window's order, stacked on black: one
# 1085 x 30 strip alone is too thin to read in a software centre.
order=(rainbowWave spectrumCycle breathing neonBreath heartbeat scanner inferno matrix starfield solid)
strips=()
for effect in "${order[@]}"; do strips+=("$work/strips/$effect.png"); done
ground=black # the strips' corners are black, as the Touch Bar's glass is
convert -background "$ground" "${strips[@]}" -splice 0x16 -append -gravity south -splice 0x16 \
    -bordercolor "$ground" -border 40x24 "$work/bar.png"

# No dates or comments in the files, so only a change in a picture shows as a change (the
# flames preview flickers differently on every run, so a few of its pixels always differ).
for name in settings-light settings-dark bar; do
    convert "$work/$name.png" -strip -define png:exclude-chunks=date,time "$out/$name.png"
done
echo "screenshots: wrote $out/settings-light.png, settings-dark.png and bar.png"
