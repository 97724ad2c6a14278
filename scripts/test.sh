#!/usr/bin/env bash
# Builds setup.exe and its tests, then runs the whole suite: the fuzz targets
# natively, everything else under Wine and Xvfb: the machine's Wine 8, then
# Wine 10 in a Debian 13 root (scripts/wine10.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
CXX=clang++ cmake -S fuzz -B build/fuzz >/dev/null
cmake --build build/fuzz -j"$(nproc)"
source scripts/wine-env.sh

echo "test: fuzz targets over their corpus, then exploring for a short while"
ctest --test-dir build/fuzz --output-on-failure
grep -ho 'Done [0-9]* runs' build/fuzz/Testing/Temporary/LastTest.log \
    | awk '{ n += $2 } END { print "fuzzing: " n " inputs tried, none crashed or broke an invariant" }'

# The Windows-side suite runs under the machine's Wine, then under Wine 10
# in a Debian 13 root, whatever the first gives. The tables of hostile
# inputs and faults say how many cases behaved; each run's count is kept
# before the next run's listing rewrites the log.
status=0
tally() {
    echo "test: under $1, in $2 s:"
    grep -h ' tried, .* behaved$' "$3" | sed 's/^/    /' || true
}
wine8=$(wine --version)
echo "test: the suite under $wine8"
start=$SECONDS
xvfb-run -a ctest --test-dir build --output-on-failure || status=$?
wineserver -k 2>/dev/null || true
wine8_tally=$(tally "$wine8" $((SECONDS - start)) build/Testing/Temporary/LastTest.log)
start=$SECONDS
bash scripts/wine10.sh || status=$?
wine10=$(cat build/wine10/wine-version 2>/dev/null || echo "Wine 10")
echo "$wine8_tally"
tally "$wine10" $((SECONDS - start)) build/wine10/Testing/Temporary/LastTest.log
exit "$status"
