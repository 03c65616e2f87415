#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs them: the decoder's for SECONDS
# (default 60), seeded with the real-telegram corpus, the others for 10 s each. A crash or sanitizer
# report fails the run and leaves the reproducer in build-asan/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELTRO_CORE_ONLY=ON -DVELTRO_SANITIZE=ON -DVELTRO_FUZZ=ON -DVELTRO_BENCH=OFF >/dev/null
cmake --build build-asan --target decode_fuzz account_file_fuzz search_fuzz configuration_fuzz \
  gateway_reply_fuzz gateway_text_fuzz display_answer_fuzz rxv_kt_fuzz rxvpico_fuzz -j"$(nproc 2>/dev/null || echo 2)"

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

# One harness for SECONDS with the given -max_len on the given corpus folders; a crash fails the script.
run_fuzzer() {
  local target=$1 seconds=$2 max_len=$3
  shift 3
  mkdir -p "$1"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1 \
    build-asan/fuzz/"$target" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$@" 2>&1 | tail -n 12
}

echo "Fuzzing DecodeMeterResponse for ${seconds}s"
run_fuzzer decode_fuzz "$seconds" 300 "$corpus" "$seeds"

# The account file, from an empty corpus: a few seconds reach every length byte and permission code.
echo "Fuzzing the account file for 10s"
run_fuzzer account_file_fuzz 10 400 build-asan/fuzz-corpus-accounts

# The secondary search: ID texts and probe outcomes; the descent must end whatever the bus answers.
echo "Fuzzing the secondary search for 10s"
run_fuzzer search_fuzz 10 2000 build-asan/fuzz-corpus-search

# The configuration telegrams: address and value texts into every check and builder, from the seeds.
echo "Fuzzing the configuration telegrams for 10s"
run_fuzzer configuration_fuzz 10 200 build-asan/fuzz-corpus-configuration fuzz/corpus/configuration

# The gateway frame: chunks into the accumulator, each frame into the parser, wrap and reply round trips.
echo "Fuzzing the gateway frame for 10s"
run_fuzzer gateway_reply_fuzz 10 2000 build-asan/fuzz-corpus-gateway-reply fuzz/corpus/gateway_reply

# The gateway settings: any texts into the dotted-quad check and every settings command.
echo "Fuzzing the gateway settings texts for 10s"
run_fuzzer gateway_text_fuzz 10 400 build-asan/fuzz-corpus-gateway-text fuzz/corpus/gateway_text

# The local display: answers through every decoder, import files, row cells and Windows-1251 both ways.
echo "Fuzzing the display's answers and tables for 10s"
run_fuzzer display_answer_fuzz 10 2000 build-asan/fuzz-corpus-display-answer fuzz/corpus/display_answer

# The RXV-KT receiver: acquired bytes, replies, import files and row cells into every builder.
echo "Fuzzing the RXV-KT receiver for 10s"
run_fuzzer rxv_kt_fuzz 10 2000 build-asan/fuzz-corpus-rxv-kt fuzz/corpus/rxv_kt

# The RXVpico receiver: replies as received and framed, ID, key and filter texts into every command.
echo "Fuzzing the RXVpico receiver for 10s"
run_fuzzer rxvpico_fuzz 10 400 build-asan/fuzz-corpus-rxvpico fuzz/corpus/rxvpico
