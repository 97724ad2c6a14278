#!/usr/bin/env bash
# Measures setup.exe against two reference programs built with the same
# toolchain and options: its size, its time to the prompt, its handoff from
# one stage to the next, what it uses while a stage runs, and its peak
# memory. Prints a table; the figures also go to build/bench.json.
#   bash scripts/bench.sh [rounds]    (15 rounds unless told)
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-15}
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target bench
source scripts/wine-env.sh

echo "bench: $rounds rounds after a warm-up, then 3 runs with a 3 s stage" \
     "(about $((rounds / 5 + 1)) minutes under Wine, far longer under qemu)"
xvfb-run -a wine build/benchdriver.exe "$rounds"
wineserver -w
echo "bench: figures written to build/bench.json"
