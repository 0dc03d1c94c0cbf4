#!/usr/bin/env bash
# Builds everything (warnings are errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
# CI also builds the Debian package (minutes; tests/package/build_package.sh).
if [ "${CI:-}" = true ]; then
    export LUMORA_PACKAGE_TEST=1
fi
cmake -S . -B build -G Ninja -DLUMORA_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 300
