#!/usr/bin/env bash
# Builds the command-line program and shows what it does today: it frames the telegrams it sends to a
# meter and decodes a real meter's answer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target veltro-cli -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

cli=build/cli/veltro-cli
run() { echo "\$ veltro-cli $*"; "$cli" "$@" || true; echo; }

echo "== Telegrams sent to a meter =="
run build snd-nke 5
run build req-ud2 5
run build req-ud2 5 --5b
run build select 12345678

echo "== A water meter's answer (RSP_UD), decoded =="
run decode 68 51 51 68 08 0B 72 54 02 99 04 C5 14 00 06 0C 27 00 00 04 78 2E 25 4C 00 04 6D 0A 0C CD 13 04 13 \
  4C 01 00 00 44 13 4B 01 00 00 84 01 13 4C 01 00 00 42 6C BF 1C 02 6C DF 1C 04 3B 00 00 00 00 14 3B 16 08 00 00 \
  02 23 A7 04 01 FD 17 00 04 90 28 08 00 00 00 3F 16

echo "== The same answer damaged on the line (last two bytes lost) =="
run check 68 51 51 68 08 0B 72 54 02 99 04 C5 14 00 06 0C 27 00 00 04 78 2E 25 4C 00 04 6D 0A 0C CD 13 04 13 \
  4C 01 00 00 44 13 4B 01 00 00 84 01 13 4C 01 00 00 42 6C BF 1C 02 6C DF 1C 04 3B 00 00 00 00 14 3B 16 08 00 00 \
  02 23 A7 04 01 FD 17 00 04 90 28 08 00 00 00
