#!/bin/sh
# The files that describe Lumora to desktops, software centres and man stay true to the
# program: one version everywhere, every option, ctl command and environment variable in the
# manual page, screenshots that exist at the size the metainfo gives, and valid desktop and
# AppStream files.
#   metadata.sh SOURCE_DIR LUMORA VERSION
# Exit status: 0 passed, 1 failed, 77 skipped (a validator is missing).
set -u

src=${1:?source folder}
lumora=${2:?lumora program}
version=${3:?version}

for tool in desktop-file-validate appstreamcli groff; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "metadata: SKIP: $tool is not installed (scripts/setup.sh installs it)" >&2
        exit 77
    fi
done

fail=0
problem() {
    echo "metadata: FAIL: $*" >&2
    fail=1
}

man="$src/data/lumora.1"
metainfo="$src/data/io.lumora.Lumora.metainfo.xml"

# One version: a release that bumps CMakeLists.txt alone would ship a package, a software
# centre entry and a manual page that name the old one.
changelog=$(sed -n '1s/^lumora (\([^)]*\)).*/\1/p' "$src/debian/changelog")
[ "$changelog" = "$version" ] || problem "debian/changelog says $changelog, CMakeLists.txt $version"
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$release" = "$version" ] || problem "the metainfo's newest release is $release, not $version"
grep -q "^\.TH LUMORA 1 .*\"Lumora $version\"" "$man" || problem "lumora.1's .TH does not name Lumora $version"

# The items a section of the manual page describes: the tag lines after each ".TP", so a
# word in some other item's prose does not count.
section() {
    sed -n "/^\.SH $1\$/,/^\.SH /p" "$man" | awk '/^\.TP/ { getline; print }'
}
roff() { # --snapshot-ui -> \-\-snapshot\-ui
    printf '%s' "$1" | sed 's/-/\\-/g'
}

help=$("$lumora" --help) || problem "lumora --help failed"
for option in $(printf '%s\n' "$help" | grep -oE '(^| )--?[a-z][a-z-]*' | sort -u); do
    section OPTIONS | grep -qF -- "$(roff "$option")" ||
        problem "lumora.1 OPTIONS does not describe $option"
done
# ctl: the words of each command line in the help, without its description and metavariables.
words=$(printf '%s\n' "$help" | sed -n 's/^ *lumora ctl //p' | sed 's/  .*//' |
    tr ' |' '\n\n' | grep -E '^[a-z]+$' | sort -u)
[ -n "$words" ] || problem "found no ctl commands in lumora --help"
for word in $words; do
    section 'CTL COMMANDS' | grep -qw -- "$word" || problem "lumora.1 CTL COMMANDS lacks '$word'"
done
# Environment variables the program reads, named in the help or in its sources.
vars=$( (printf '%s\n' "$help" | grep -oE '\$?[A-Z][A-Z0-9]*_[A-Z0-9_]+' | tr -d '$'
    find "$src/app" "$src/display" "$src/platform" "$src/settings" "$src/ui" -name '*.cpp' \
        -exec cat {} + |
        grep -oE '(qEnvironmentVariable[A-Za-z]*|getenv|qgetenv)\("[A-Z][A-Z0-9_]+"|"LUMORA_[A-Z0-9_]+"' |
        grep -oE '[A-Z][A-Z0-9_]+"$' | tr -d '"') | sort -u)
for var in $vars; do
    section ENVIRONMENT | grep -qF -- "$(roff "$var")" || problem "lumora.1 ENVIRONMENT lacks $var"
done
warnings=$(groff -man -ww -z -Tutf8 "$man" 2>&1)
[ -z "$warnings" ] || problem "groff warns about lumora.1: $warnings"

# Screenshots: each image URL ends in the name of a file in data/screenshots/, and the file is
# a PNG of the width and height the metainfo gives.
shots=$(grep -o '<image [^>]*>[^<]*</image>' "$metainfo")
[ -n "$shots" ] || problem "the metainfo has no screenshots"
printf '%s\n' "$shots" | while IFS= read -r image; do
    url=$(printf '%s' "$image" | sed 's/.*>\([^<]*\)<.*/\1/')
    width=$(printf '%s' "$image" | sed -n 's/.* width="\([0-9]*\)".*/\1/p')
    height=$(printf '%s' "$image" | sed -n 's/.* height="\([0-9]*\)".*/\1/p')
    file="$src/data/screenshots/$(basename "$url")"
    case "$url" in
        https://*/data/screenshots/*) ;;
        *) echo "metadata: FAIL: $url is not a data/screenshots/ picture on the web" >&2; exit 1 ;;
    esac
    if [ ! -f "$file" ]; then
        echo "metadata: FAIL: $url names $file, which does not exist" >&2
        exit 1
    fi
    # The PNG signature, then IHDR's width and height, big-endian.
    header=$(od -An -tu1 -N24 "$file" | tr -s ' \n' '  ')
    set -- $header
    if [ "$1 $2 $3 $4" != "137 80 78 71" ]; then
        echo "metadata: FAIL: $file is not a PNG" >&2
        exit 1
    fi
    shift 16
    actual="$(($1 * 16777216 + $2 * 65536 + $3 * 256 + $4))x$(($5 * 16777216 + $6 * 65536 + $7 * 256 + $8))"
    if [ "$actual" != "${width}x$height" ]; then
        echo "metadata: FAIL: $file is $actual, the metainfo says ${width}x$height" >&2
        exit 1
    fi
done || fail=1

out=$(desktop-file-validate "$src/data/lumora.desktop" 2>&1) && [ -z "$out" ] ||
    problem "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || problem "appstreamcli validate: $out"

exit "$fail"
