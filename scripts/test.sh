#!/usr/bin/env bash
# Builds setup.exe and its tests, then runs the whole suite under Wine and
# Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
source scripts/wine-env.sh

status=0
xvfb-run -a ctest --test-dir build --output-on-failure || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
