#!/usr/bin/env bash
# The bus against its wire-time floor: veltro-cli scans, reads and searches a simulated bus on a
# pseudo-terminal with both directions paced at 11 bits per character (mbus-sim --wire-speed), in full-window
# mode (every window the whole response timeout) and in fast mode (--fast), and compares each run's time
# with the least time its own exchanges could take on the line.
#
# The floor, from the simulator's journal of the run (every frame the bus heard and its answer):
#   each request's characters and each answer's characters at 11 bits, at the line speed;
#   11 bits of gap before each answer (the simulator's answer delay is set to that);
#   330 bit times + 50 ms for each request nobody answered (how long the master must wait for a start).
# The time is the wall time of the veltro-cli process, its start-up and the opening of the port
# included; ratio = time / floor. A first run reads one silent address in full-window mode: its time less the
# window is the start-up, and "net" = (time - start-up) / floor.
#
#   bench/bus_bench.sh                      # 2400 Bd, default bus: scan, read-all, search, full and fast
#   bench/bus_bench.sh --baud 2400,9600 --bus default,full,generated
#   bench/bus_bench.sh --ops scan --modes fast --baud 9600
#
# Buses: default (the simulator's built-in bus), full (250 meters at addresses 1..250 at the run's line
# speed, a meters file this script writes), generated (mbus-sim --generate 250:SEED: 250 meters all at
# address 0, found only by the search; its read-all reads address 0, a collision). The default and the
# generated bus's meters listen at 2400 Bd only. A full-window scan of 0..250 takes about 76 s at
# 2400 Bd, a search of 250 meters many minutes.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
bauds=2400
buses=default
ops=scan,read,search
modes=full,fast
timeout=300
seed=1

usage() { sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit "${1:-0}"; }
while [ $# -gt 0 ]; do
    case "$1" in
    --build) build=$2; shift 2 ;;
    --baud) bauds=$2; shift 2 ;;
    --bus) buses=$2; shift 2 ;;
    --ops) ops=$2; shift 2 ;;
    --modes) modes=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    -h|--help) usage 0 ;;
    *) echo "bus_bench: unknown argument $1" >&2; usage 2 >&2 ;;
    esac
done

sim="$build/sim/mbus-sim"
cli="$build/cli/veltro-cli"
for tool in "$sim" "$cli"; do
    [ -x "$tool" ] || { echo "bus_bench: $tool is missing: cmake --build $build --target mbus-sim veltro-cli" >&2; exit 2; }
done
command -v python3 >/dev/null || { echo "bus_bench: needs python3" >&2; exit 2; }

work=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

# 250 meters at 1..250 listening at $2 Bd, scattered IDs, one volume record each (a 27-byte answer).
write_full_bus() {
    python3 - "$1" "$2" <<'EOF'
import json, sys
meters = [{"address": a, "id": "%08d" % (10000000 + a * 7919 % 9999991), "manufacturer": "SIM", "medium": "07",
           "baud": int(sys.argv[2]), "records": [{"dif": "04", "vif": "13", "value": a * 100}]} for a in range(1, 251)]
json.dump({"meters": meters}, open(sys.argv[1], "w"))
EOF
}

now_ms() { date +%s%3N; }

# Starts the simulator for one run; its journal goes to $1.
start_sim() {
    local baud=$1 bus=$2 journal=$3
    # The answer delay: the 11-bit gap of the floor, rounded up to whole milliseconds.
    local latency=$(( (11000 + baud - 1) / baud ))
    local args=(--pty "$work/line" --wire-speed --latency "$latency" --journal "$journal" --baud "$baud")
    case "$bus" in
    default) ;;
    full) args+=(--meters "$work/full.$baud.json") ;;
    generated) args+=(--generate "250:$seed") ;;
    esac
    "$sim" "${args[@]}" >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    for _ in $(seq 1 100); do
        grep -q '^pty ' "$work/sim.out" 2>/dev/null && [ -e "$work/line" ] && return 0
        sleep 0.05
    done
    echo "bus_bench: mbus-sim did not start: $(cat "$work/sim.err")" >&2
    exit 2
}

stop_sim() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
}

# The command line of an operation on a bus.
op_args() {
    local op=$1 bus=$2
    case "$op" in
    scan) echo "scan --from 0 --to 250" ;;
    read)
        case "$bus" in
        default) echo "read 1 2 3 4 10 11 12 15 20 30" ;;
        full) echo "read $(seq -s ' ' 1 250)" ;;
        generated) echo "read 0" ;;
        esac ;;
    search) echo "search" ;;
    esac
}

# Prints the run's line and keeps its rows for the comparison: time, telegrams, bytes, floor, ratio.
report() {
    python3 - "$@" <<'EOF'
import json, sys
label, baud, elapsed_ms, journal, output, rows_file = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5], sys.argv[6]
startup_ms = float(sys.argv[7]) if len(sys.argv) > 7 else 0.0
bit = 1000.0 / baud
sent = answered = out_bytes = in_bytes = 0
floor = 0.0
for line in open(journal):
    entry = json.loads(line)
    frame = entry["frame"].split()
    answer = entry["answer"].split()
    sent += 1
    out_bytes += len(frame)
    floor += len(frame) * 11 * bit
    if answer:
        answered += 1
        in_bytes += len(answer)
        floor += 11 * bit + len(answer) * 11 * bit
    else:
        floor += 330 * bit + 50
try:
    result = json.load(open(output))
except ValueError:
    result = {"columns": [], "rows": []}
columns = result.get("columns", [])
# What a reading shows of a meter, less the time and date of the reading.
keep = [i for i, c in enumerate(columns) if c.strip() not in ("Time", "Date")]
rows = sorted(json.dumps([row[i] for i in keep if i < len(row)]) for row in result.get("rows", []) if any(row))
open(rows_file, "w").write("\n".join(rows) + "\n")
open(rows_file + ".floor", "w").write("%.1f\n" % floor)
ratio = elapsed_ms / floor if floor else float("nan")
net = (elapsed_ms - startup_ms) / floor if floor else float("nan")
print("%-26s %8.2f s %6d %5d %9d %8d %8.2f s %6.3f %6.3f %5d" % (label, elapsed_ms / 1000, sent, answered, out_bytes,
      in_bytes, floor / 1000, ratio, net, len(rows)))
EOF
}

IFS=, read -r -a baud_list <<<"$bauds"
IFS=, read -r -a bus_list <<<"$buses"
IFS=, read -r -a op_list <<<"$ops"
IFS=, read -r -a mode_list <<<"$modes"


echo "veltro-cli against mbus-sim --pty --wire-speed, --timeout $timeout --retries 0; $(date -u +%Y-%m-%d), $(nproc) cores"
printf "%-26s %10s %6s %5s %9s %8s %10s %6s %6s %5s\n" run time sent answ bytes-out bytes-in floor ratio net rows
status=0
for baud in "${baud_list[@]}"; do
    for bus in "${bus_list[@]}"; do
        [ "$bus" = full ] && write_full_bus "$work/full.$baud.json" "$baud"
        [ "$bus" != full ] && [ "$baud" != 2400 ] && echo "  note: the $bus bus's meters listen at 2400 Bd only; at $baud Bd it is silent"
        # The start-up: a run that opens the port and reads one silent address in full-window mode; its time less
        # the one window is what every run spends besides the bus.
        start_sim "$baud" "$bus" "$work/journal"
        silent=5
        [ "$bus" = full ] && silent=0
        [ "$bus" = generated ] && silent=250
        t0=$(now_ms)
        "$cli" read "$silent" --link "serial:$work/line:$baud" --timeout "$timeout" --retries 0 >/dev/null 2>&1 || true
        t1=$(now_ms)
        stop_sim
        report "start-up $baud $bus" "$baud" $((t1 - t0)) "$work/journal" /dev/null "$work/probe.rows"
        startup=$((t1 - t0 - timeout))
        for op in "${op_list[@]}"; do
            for mode in "${mode_list[@]}"; do
                journal="$work/journal.$baud.$bus.$op.$mode"
                start_sim "$baud" "$bus" "$journal"
                extra=()
                [ "$mode" = fast ] && extra=(--fast)
                # shellcheck disable=SC2046
                set -- $(op_args "$op" "$bus")
                t0=$(now_ms)
                code=0
                "$cli" "$@" --link "serial:$work/line:$baud" --timeout "$timeout" --retries 0 "${extra[@]}" --json \
                    >"$work/out.json" 2>"$work/cli.err" || code=$?
                t1=$(now_ms)
                stop_sim
                if [ "$code" -gt 1 ]; then
                    echo "bus_bench: veltro-cli $op failed ($code): $(cat "$work/cli.err")" >&2
                    status=1
                fi
                report "$op $mode $baud $bus" "$baud" $((t1 - t0)) "$journal" "$work/out.json" "$work/rows.$baud.$bus.$op.$mode" "$startup"
            done
            full="$work/rows.$baud.$bus.$op.full"
            fast="$work/rows.$baud.$bus.$op.fast"
            if [ -f "$full" ] && [ -f "$fast" ]; then
                if cmp -s "$full" "$fast"; then
                    echo "  $op $baud $bus: fast and full give the same $(grep -c . "$full") rows"
                else
                    echo "  $op $baud $bus: fast and full DIFFER:"
                    diff "$full" "$fast" | sed 's/^/    /' || true
                    status=1
                fi
            fi
        done
    done
done
exit "$status"
