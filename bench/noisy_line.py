#!/usr/bin/env python3
"""Reads the default bus through a simulator with a noisy line and compares every reading shown with
fault-free reads of the same bus.

    bench/noisy_line.py "drop=1,corrupt=0.5,delay=2[;RATES...]" [veltro-cli read options]

Environment: PTY=1 (pseudo-terminal) or GW=1 (gateway) instead of the bridge, SEEDS="1 2 3", SIMX for
more simulator options (e.g. --wire-speed), BUILD (default build/). One line per (rates, seed)."""
import json
import os
import subprocess
import sys
import time

BUILD = os.environ.get("BUILD", os.path.join(os.path.dirname(__file__), "..", "build"))
SIMX = os.environ.get("SIMX", "").split()
ADDRESSES = ["1", "2", "3", "4", "10", "11", "12", "15", "20", "30"]
SEEDS = [int(x) for x in os.environ.get("SEEDS", "1 2 3").split()]
PTY = os.environ.get("PTY") == "1"
GW = os.environ.get("GW") == "1"
REJECTIONS = ("Wrong CRC", "Wrong STOP byte", "Wrong length in the header")


def simulator(args):
    transport = ["--pty"] if PTY else ["--gateway", "127.0.0.1:0"] if GW else ["--bridge", "127.0.0.1:0"]
    p = subprocess.Popen([BUILD + "/sim/mbus-sim"] + transport + args, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, text=True)
    line = p.stdout.readline().strip()
    return p, (line.split()[1] if PTY else int(line.rsplit(":", 1)[1]))


def read(port, extra):
    link = f"serial:{port}" if PTY else f"gateway:127.0.0.1:{port}:0.0.0.1" if GW else f"bridge:127.0.0.1:{port}"
    out = subprocess.run([BUILD + "/cli/veltro-cli", "read", *ADDRESSES, "--link", link, "--json", *extra],
                         capture_output=True, text=True)
    return json.loads(out.stdout.strip().splitlines()[-1]), out.returncode


def reading(row):  # every column but the time and date of the read
    return tuple(row[:6] + row[8:])


truth = {}
p, port = simulator(SIMX)
for _ in range(3):  # the meter at 15 sends three telegrams in turn
    result, _ = read(port, [])
    for row in result["rows"]:
        if row[0]:
            truth.setdefault(row[1], set()).add(reading(row))
p.terminate()
p.wait()

for rates in sys.argv[1].split(";"):
    for seed in SEEDS:
        p, port = simulator(["--faults", rates, "--fault-seed", str(seed)] + SIMX)
        started = time.time()
        result, code = read(port, sys.argv[2:])
        took = time.time() - started
        p.terminate()
        p.wait()
        rows = {r[1]: r for r in result["rows"] if len(r) > 1 and r[1] in ADDRESSES}
        read_ok = [a for a in ADDRESSES if a in rows and rows[a][0]]
        wrong = [a for a in read_ok if reading(rows[a]) not in truth[a]]
        rejected = sum(1 for line in result["log"] if line in REJECTIONS)
        unread = sorted(set(ADDRESSES) - set(read_ok), key=int)
        print(f"{rates:32s} seed {seed}: read {len(read_ok)}/10, unread {unread}, wrong values {len(wrong)} {wrong}, "
              f"rejection lines {rejected}, exit {code}, {took:.1f} s", flush=True)
