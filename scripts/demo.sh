#!/usr/bin/env bash
# Builds veltro-cli and runs its main job against the built-in simulated bus: a primary-address scan of
# 0..20 that prints the log as it goes and the meter table at the end, then the detailed decoding of one
# meter's answer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target veltro-cli -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

cli=build/cli/veltro-cli
echo "== Scan of primary addresses 0..20 on the simulated bus =="
echo "\$ veltro-cli scan --simulate --from 0 --to 20 --timeout 200 --retries 0"
"$cli" scan --simulate --from 0 --to 20 --timeout 200 --retries 0
echo
echo "== One meter read in full (the detailed report) =="
echo "\$ veltro-cli request 1 --full --simulate --timeout 200"
"$cli" request 1 --full --simulate --timeout 200
