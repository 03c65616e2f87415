#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) and runs each for SECONDS (default 60), or only
# the NAMEs given (e.g. "decode ini_file"). FUZZ_RUNS=N also ends a harness after N executions, whichever
# comes first. Each starts from its seed corpus in fuzz/corpus/ (the decoder's and the frame assembler's
# also from the real telegrams) and keeps what it finds in build-asan/fuzz-corpus/NAME. A crash, leak or
# sanitizer report fails the run and leaves the reproducer in build-asan/fuzz-artifacts/; the executions
# and coverage of each harness go to build-asan/fuzz-summary.md (or FUZZ_SUMMARY). FUZZ_PREBUILT=1 skips
# the build, so several runs of disjoint NAMEs can share one tree (build it first with a short run).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
runs=${FUZZ_RUNS:--1}
jobs=$(nproc 2>/dev/null || echo 2)

# name  max_len  what it reads
harnesses=(
  "decode                300  any bytes as a meter's answer, through every decoding path"
  "frame_assembler       2000 the master's byte stream in timed pieces; builders round trip"
  "gateway_reply         2000 the gateway frame from a TCP stream; wrap and reply round trips"
  "gateway_text          400  gateway settings texts into the dotted-quad check and every command"
  "display_answer        2000 the display's answers, import files, row cells, Windows-1251 both ways"
  "rxv_kt                2000 the RXV-KT's acquired bytes, replies, import files and row cells"
  "rxvpico               400  the RXVpico's replies as received and framed, texts into every command"
  "console_text          400  console text in ASCII and hex mode; answer rendering round trip"
  "table_import          4000 the meter table's import; export and re-import round trip"
  "ini_file              4000 the INI file; render and write round trips"
  "account_file          400  files/users.dat; write round trip, login, change and delete"
  "meters_file           4000 the simulator's meters file; every meter's answer passes the checks"
  "configuration         200  address and value texts into every configuration check and builder"
  "search                2000 ID texts and probe outcomes of the secondary search"
)

selected=("$@")
wanted() {
  [ ${#selected[@]} -eq 0 ] && return 0
  local name
  for name in "${selected[@]}"; do [ "$name" = "$1" ] && return 0; done
  return 1
}

for s in "${selected[@]}"; do
  printf '%s\n' "${harnesses[@]}" | awk '{print $1}' | grep -qx "$s" || { echo "fuzz.sh: no harness named $s" >&2; exit 2; }
done

[ "${FUZZ_PREBUILT:-0}" = 1 ] || scripts/setup.sh
core_targets=()
for entry in "${harnesses[@]}"; do
  read -r name _ <<<"$entry"
  if wanted "$name" && [ "$name" != meters_file ]; then core_targets+=("${name}_fuzz"); fi
done
if [ ${#core_targets[@]} -gt 0 ] && [ "${FUZZ_PREBUILT:-0}" != 1 ]; then
  CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVELTRO_CORE_ONLY=ON -DVELTRO_SANITIZE=ON -DVELTRO_FUZZ=ON -DVELTRO_BENCH=OFF >/dev/null
  cmake --build build-asan --target "${core_targets[@]}" -j"$jobs"
fi
if wanted meters_file && [ "${FUZZ_PREBUILT:-0}" != 1 ]; then
  # The simulator needs Qt: a tree of its own, of which only the simulator and the harness are built.
  CC=clang CXX=clang++ cmake -S . -B build-fuzz-sim -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DVELTRO_SANITIZE=ON -DVELTRO_FUZZ=ON -DVELTRO_BENCH=OFF -DVELTRO_BUILD_TESTS=OFF >/dev/null
  cmake --build build-fuzz-sim --target meters_file_fuzz -j"$jobs"
fi

seeds=build-asan/fuzz-seeds
artifacts=build-asan/fuzz-artifacts
summary=${FUZZ_SUMMARY:-build-asan/fuzz-summary.md}
mkdir -p "$seeds" "$artifacts"
for hex in tests/data/frames/devices/*.hex tests/data/frames/malformed/*.hex; do
  digits=$(tr -cd '0-9A-Fa-f' < "$hex")
  # Files that are not whole hex pairs are seeds as they stand.
  if [ $(( ${#digits} % 2 )) -ne 0 ]; then cp "$hex" "$seeds/$(basename "$hex" .hex).txt"; continue; fi
  printf '%b' "$(printf '%s' "$digits" | sed 's/\(..\)/\\x\1/g')" > "$seeds/$(basename "$hex" .hex).bin"
done

{
  echo "| harness | seconds | executions | coverage (edges) | features | peak RSS (MB) |"
  echo "|---|---:|---:|---:|---:|---:|"
} > "$summary"

for entry in "${harnesses[@]}"; do
  read -r name max_len what <<<"$entry"
  wanted "$name" || continue
  binary=build-asan/fuzz/${name}_fuzz
  [ "$name" = meters_file ] && binary=build-fuzz-sim/fuzz/meters_file_fuzz
  corpus=build-asan/fuzz-corpus/$name
  mkdir -p "$corpus"
  extra=()
  [ -d "fuzz/corpus/$name" ] && extra+=("fuzz/corpus/$name")
  case $name in decode|frame_assembler) extra+=("$seeds") ;; esac
  echo "Fuzzing $name for ${seconds}s: $what"
  log=build-asan/fuzz-$name.log
  started=$(date +%s)
  status=0
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$binary" -max_total_time="$seconds" -runs="$runs" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$corpus" "${extra[@]}" >"$log" 2>&1 || status=$?
  tail -n 4 "$log"
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
  echo "| $name | $(( $(date +%s) - started )) | ${executions:-?} | $(echo "$cov" | awk '{print $2}') | $(echo "$cov" | awk '{print $4}') | ${rss:-?} |" >> "$summary"
  if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: $name failed (exit $status); the reproducer is in $artifacts/, the output in $log" >&2
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 10 >&2 || true
    exit 1
  fi
done
cat "$summary"
