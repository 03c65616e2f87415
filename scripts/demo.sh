#!/usr/bin/env bash
# Builds the programs, starts the simulated bus (mbus-sim) as a transparent TCP bridge on loopback and
# runs the desktop program against it in a demo program folder (build/demo-home, account admin/admin).
# Without a display it runs the command-line scan of addresses 0..20 against the same simulator instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRO_CORE_ONLY=OFF >/dev/null
cmake --build build --target veltro veltro-cli mbus-sim veltro-users -j"$(nproc 2>/dev/null || echo 2)" >/dev/null

home=build/demo-home
mkdir -p "$home"

# The simulator prints "bridge 127.0.0.1:PORT" once it listens.
simulator_output=$(mktemp)
build/sim/mbus-sim --bridge 127.0.0.1:0 >"$simulator_output" 2>&1 &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true; rm -f "$simulator_output"' EXIT
port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/^bridge 127\.0\.0\.1:\([0-9][0-9]*\)$/\1/p' "$simulator_output")
  [ -n "$port" ] && break
  kill -0 "$simulator" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "demo: the simulator did not start:" >&2
  cat "$simulator_output" >&2
  exit 1
fi
echo "== Simulated bus: a transparent bridge on 127.0.0.1:$port =="

# The demo folder's settings: the bridge link to the simulator, a short response window, no retries.
cat >"$home/veltro.ini" <<INI
[Mbus]
SearchFrom=0
SearchTo=20
Timeout=300
[Misc]
UseVODUD=1
Retry=0
[VODUD]
IP=127.0.0.1
Port=$port
EthTimeout=20
INI

# The first account (the program itself never creates the account file): admin, password admin.
if [ ! -f "$home/files/users.dat" ]; then
  printf 'admin\n' | build/tools/veltro-users/veltro-users --home "$home" add admin --access Administrator \
    --allow devices,comm,display --password-stdin
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== The desktop program: log in as admin, password admin; then Find scans addresses 0..20 =="
  build/src/veltro --home "$home"
else
  echo "== No display: the command-line scan of addresses 0..20 against the same simulator =="
  echo "\$ veltro-cli scan --home $home --from 0 --to 20"
  build/cli/veltro-cli scan --home "$home" --from 0 --to 20
fi
