#!/bin/sh
# End-to-end check of the running application on a virtual X screen with a window manager
# and a system tray host: the bar appears at the bottom centre, a second start exits and
# opens the settings window of the first.
#   run.sh /path/to/lumora [SESSION]
# SESSION is a script beside this one: session.sh (with a tray, the default), notray.sh or
# control.sh.
# LUMORA_E2E_SHOT=file.png also keeps a screenshot of the whole screen.
# Exit status: 0 passed, 1 failed, 77 skipped (a needed tool or the application is missing).
set -u

lumora=${1:-}
session=${2:-session.sh}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "$lumora" ] || [ ! -x "$lumora" ]; then
    echo "e2e: usage: run.sh /path/to/lumora" >&2
    exit 1
fi
for tool in xvfb-run xauth dbus-run-session openbox trayer xdotool xwininfo import timeout pgrep; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "e2e: SKIP: $tool is not installed (scripts/setup.sh installs it)" >&2
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/lumora-e2e.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT INT TERM

# The whole session is bounded, whatever hangs inside it.
timeout -k 5 100 xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp -noreset" \
    dbus-run-session -- sh "$here/$session" "$lumora" "$work"
status=$?
if [ "$status" -eq 124 ]; then
    echo "e2e: FAIL: the session did not finish within 100 s" >&2
    status=1
fi
exit "$status"
