#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs the decoder's for SECONDS (default 60),
# seeded with the real-telegram corpus. A crash or sanitizer report fails the run and leaves the
# reproducer in build-asan/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELTRO_CORE_ONLY=ON -DVELTRO_SANITIZE=ON -DVELTRO_FUZZ=ON -DVELTRO_BENCH=OFF >/dev/null
cmake --build build-asan --target decode_fuzz account_file_fuzz -j"$(nproc 2>/dev/null || echo 2)"

seeds=build-asan/fuzz-seeds
corpus=build-asan/fuzz-corpus
artifacts=build-asan/fuzz-artifacts
mkdir -p "$seeds" "$corpus" "$artifacts"
for hex in tests/data/frames/devices/*.hex tests/data/frames/malformed/*.hex; do
  digits=$(tr -cd '0-9A-Fa-f' < "$hex")
  # Files that are not whole hex pairs are seeds as they stand.
  if [ $(( ${#digits} % 2 )) -ne 0 ]; then cp "$hex" "$seeds/$(basename "$hex" .hex).txt"; continue; fi
  printf '%b' "$(printf '%s' "$digits" | sed 's/\(..\)/\\x\1/g')" > "$seeds/$(basename "$hex" .hex).bin"
done

echo "Fuzzing DecodeMeterResponse for ${seconds}s"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
  build-asan/fuzz/decode_fuzz -max_total_time="$seconds" -max_len=300 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$corpus" "$seeds" 2>&1 | tail -n 12

# The account file, from an empty corpus: a few seconds reach every length byte and permission code.
account_corpus=build-asan/fuzz-corpus-accounts
mkdir -p "$account_corpus"
echo "Fuzzing the account file for 10s"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
  build-asan/fuzz/account_file_fuzz -max_total_time=10 -max_len=400 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$account_corpus" 2>&1 | tail -n 12
