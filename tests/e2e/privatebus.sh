# Sourced first by the Wayland end-to-end tests: unless already on one, runs the sourcing
# script again on a private session bus (compositors and Lumora both use it), the whole run
# bounded whatever hangs inside it, and exits with that run's status.
if [ -z "${LUMORA_E2E_BUS:-}" ]; then
    command -v dbus-run-session >/dev/null 2>&1 || {
        echo "e2e: SKIP: dbus-run-session is not installed" >&2
        exit 77
    }
    LUMORA_E2E_BUS=1 timeout -k 5 75 dbus-run-session -- sh "$0" "$@"
    status=$?
    [ "$status" -eq 124 ] && echo "e2e: FAIL: the run did not finish within 75 s" >&2 && status=1
    exit "$status"
fi
