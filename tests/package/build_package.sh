#!/bin/sh
# Builds the Debian package from a copy of the source tree, as a user would on Debian 12, and
# checks what comes out: the files a desktop and a software centre need, a program that runs
# from the unpacked package, and lintian, desktop-file-validate and appstreamcli on the result.
#   build_package.sh SOURCE_DIR WORK_PARENT VERSION
# Runs only with LUMORA_PACKAGE_TEST=1 (it takes minutes; scripts/test.sh sets it under CI).
# Exit status: 0 passed, 1 failed, 77 skipped.
set -u

source_dir=${1:?source folder}
work_parent=${2:?folder for the build}
version=${3:?version}

if [ "${LUMORA_PACKAGE_TEST:-}" != 1 ]; then
    echo "package: SKIP: set LUMORA_PACKAGE_TEST=1 to build the Debian package (CI does)" >&2
    exit 77
fi
# Asked for, the test fails rather than skips without its tools: scripts/setup.sh has them.
for tool in dpkg-buildpackage dh dpkg-deb lintian desktop-file-validate appstreamcli tar; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "package: FAIL: $tool is not installed (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

fail=0
problem() {
    echo "package: FAIL: $*" >&2
    fail=1
}

# Under the build folder rather than /tmp: ccache's base_dir then usually covers it, so a
# second run compiles nothing. One left behind by an earlier failed run is removed first.
mkdir -p "$work_parent" || exit 1
rm -rf "$work_parent"/package-build.*
work=$(mktemp -d "$work_parent/package-build.XXXXXX") || exit 1
keep=0
trap '[ "$keep" = 1 ] || rm -rf "$work"' EXIT INT TERM
tree="$work/lumora-$version"
mkdir "$tree" || exit 1

# The files git knows of (committed or new, not ignored), so no build folder comes along;
# outside a git checkout, everything but the build folders.
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$source_dir" && git ls-files -z -c -o --exclude-standard |
        tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$tree" 2>/dev/null
else
    (cd "$source_dir" && tar --exclude='./build*' --exclude='./obj-*' --exclude=./.git -cf - .) |
        tar -xf - -C "$tree"
fi
[ -f "$tree/debian/rules" ] || { echo "package: FAIL: no debian/rules in the copied tree" >&2; exit 1; }

start=$(date +%s)
if ! (cd "$tree" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" \
        dpkg-buildpackage -us -uc -b >"$work/build.log" 2>&1); then
    tail -n 40 "$work/build.log" >&2
    keep=1
    echo "package: FAIL: dpkg-buildpackage failed; the whole log is $work/build.log" >&2
    exit 1
fi
echo "package: built in $(($(date +%s) - start)) s"

# Each library the configure step found must come from a package Build-Depends names, or
# from one that such a package depends on: one missing from the list is there on this machine
# and the build passes here, then fails on a clean one.
allowed=$(sed -n '/^Build-Depends:/,/^[A-Z]/p' "$tree/debian/control" | sed '1s/^Build-Depends://' |
    grep -v '^[A-Z]' | tr ',' '\n' | sed 's/(.*)//; s/ //g' | grep -v '^$')
for dep in $allowed; do
    allowed="$allowed $(dpkg-query -W -f='${Depends}' "$dep" 2>/dev/null |
        tr ',|' '\n\n' | sed 's/(.*)//; s/:.*//; s/ //g')"
done
modules=$(grep -rhoE 'pkg_check_modules\([A-Za-z0-9_]+' --include=CMakeLists.txt "$tree" |
    sed 's/.*(//' | sort -u)
found=$(for cache in "$tree"/obj-*/CMakeCache.txt; do
    grep -E '^[A-Za-z0-9_]+_DIR:PATH=/.*/cmake/' "$cache"
    for module in $modules; do grep -E "^pkgcfg_lib_${module}_[^:]*:FILEPATH=/" "$cache"; done
done | cut -d= -f2-)
[ -n "$found" ] || problem "found no libraries in the package build's CMakeCache.txt"
for path in $found; do
    owners=$(dpkg -S "$path" 2>/dev/null | head -n 1 | sed 's/: .*//; s/:[a-z0-9]*//g' | tr -d ',')
    [ -n "$owners" ] || { problem "$path, found by the build, is in no Debian package"; continue; }
    ok=0
    for owner in $owners; do
        printf '%s\n' $allowed | grep -qx "$owner" && ok=1
    done
    [ "$ok" = 1 ] || problem "the build uses $path from $owners, which debian/control's Build-Depends lacks"
done

# Without Qt's Wayland client and private headers the build quietly leaves the layer-shell bar
# out; a package must have it, and then depend on the exact Qt it reaches into.
grep -q 'Bar on Wayland: layer-shell' "$work/build.log" ||
    problem "the package was built without the Wayland layer-shell bar (see $work/build.log)"

arch=$(dpkg --print-architecture)
deb="$work/lumora_${version}_${arch}.deb"
if [ ! -f "$deb" ]; then
    ls "$work" >&2
    echo "package: FAIL: no $(basename "$deb"): debian/changelog and CMakeLists.txt disagree on the version?" >&2
    exit 1
fi

# What the package must carry, and what it must not: the udev rule stays opt-in (it names a
# group the package does not create), and nothing of the tests or benchmarks is installed.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||')
for path in \
    usr/bin/lumora \
    usr/share/applications/lumora.desktop \
    usr/share/icons/hicolor/scalable/apps/lumora.svg \
    usr/share/icons/hicolor/scalable/status/lumora-tray.svg \
    usr/share/metainfo/io.lumora.Lumora.metainfo.xml \
    usr/share/man/man1/lumora.1.gz \
    usr/share/dbus-1/interfaces/io.lumora.Lumora1.xml \
    usr/lib/systemd/user/lumora.service \
    usr/share/polkit-1/rules.d/50-lumora-function-keys.rules \
    usr/share/lumora/70-lumora-touchbar.rules \
    usr/share/doc/lumora/copyright \
    usr/share/doc/lumora/README.Debian; do
    printf '%s\n' "$contents" | grep -qx "$path" || problem "the package lacks /$path"
done
unwanted=$(printf '%s\n' "$contents" | grep -E '^(etc/|usr/lib/udev/|lib/udev/)|^usr/bin/.+' |
    grep -vx 'usr/bin/lumora')
[ -z "$unwanted" ] || problem "the package carries what it must not: $unwanted"

depends=$(dpkg-deb -f "$deb" Depends)
for need in 'qt6-base-abi (= ' qt6-wayland libqt6svg6; do
    case "$depends" in
        *"$need"*) ;;
        *) problem "the package does not depend on $need: $depends" ;;
    esac
done

# Enabled for every user the unit would start Lumora beside the desktop's autostart.
mkdir "$work/control" && dpkg-deb -e "$deb" "$work/control"
if [ -f "$work/control/postinst" ] && grep -q -- "--user enable" "$work/control/postinst" &&
    ! grep -q -- "--user debian-installed" "$work/control/postinst"; then
    problem "postinst enables lumora.service for every user"
fi

# The unpacked program, on the system's Qt: the help, and pictures drawn offscreen with the
# default settings of a fresh configuration folder.
root="$work/root"
dpkg-deb -x "$deb" "$root"
lumora="$root/usr/bin/lumora"
export XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=offscreen
help=$("$lumora" --help 2>&1) || problem "lumora --help failed: $help"
printf '%s\n' "$help" | head -n 1 | grep -q '^Usage: lumora' || problem "lumora --help printed: $help"
if out=$("$lumora" --snapshot "$work/strips" 2>&1); then
    count=$(find "$work/strips" -name '*.png' | wc -l)
    [ "$count" -eq 10 ] || problem "lumora --snapshot wrote $count pictures, not 10"
    size=$(od -An -tu1 -j16 -N8 "$work/strips/solid.png" | tr -s ' ')
    [ "$size" = " 0 0 4 61 0 0 0 30" ] || problem "the solid strip is not 1085 x 30 (IHDR:$size)"
else
    problem "lumora --snapshot failed: $out"
fi
out=$("$lumora" --snapshot-ui "$work/window.png" 2>&1) && [ -s "$work/window.png" ] ||
    problem "lumora --snapshot-ui failed: $out"
[ ! -e "$work/config/lumora/lumora.conf" ] || problem "a snapshot wrote the settings file"

# The checkers, on the files as installed.
lintian_out=$(lintian --fail-on error --pedantic --display-info "$work"/lumora_*.changes 2>&1)
lintian_status=$?
printf '%s\n' "$lintian_out" | grep -v 'root privileges is not recommended' | sed 's/^/lintian: /'
[ "$lintian_status" -eq 0 ] || problem "lintian found errors"
out=$(desktop-file-validate "$root/usr/share/applications/lumora.desktop" 2>&1) && [ -z "$out" ] ||
    problem "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net "$root/usr/share/metainfo/io.lumora.Lumora.metainfo.xml" 2>&1) ||
    problem "appstreamcli validate: $out"
# The tree as a whole: the metainfo's launchable desktop file and icon are where it says.
out=$(appstreamcli validate-tree --no-net "$root" 2>&1) || problem "appstreamcli validate-tree: $out"

if [ "$fail" -ne 0 ]; then
    keep=1
    echo "package: kept $work for a look" >&2
    exit 1
fi
echo "package: $(basename "$deb") passed in $(($(date +%s) - start)) s"
