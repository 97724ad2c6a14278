#!/usr/bin/env bash
# Fuzzes the pieces of setup.exe that need no Windows, natively with clang
# and its sanitizers: each target for the given number of seconds (60 if
# none). New inputs go to build/fuzz/found; a crash leaves its input in
# build/fuzz, to be kept in fuzz/corpus once the fault is mended.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

bash scripts/setup.sh
CXX=clang++ cmake -S fuzz -B build/fuzz >/dev/null
cmake --build build/fuzz -j"$(nproc)"
for target in remove_char compose_prompt; do
    echo "fuzz: $target for $seconds s"
    mkdir -p "build/fuzz/found/$target"
    "build/fuzz/${target}_fuzzer" -max_total_time="$seconds" \
        -artifact_prefix="build/fuzz/$target-" "build/fuzz/found/$target" "fuzz/corpus/$target"
done
