#!/usr/bin/env bash
# Installs what is missing, builds, and starts VeskTarvo ready to read a
# simulated scale: scale-sim serves an alibi memory of a few thousand records
# on a pseudo-terminal, and VeskTarvo starts with settings and a record
# archive of its own (the user's stored settings and archive are not touched)
# pointing at that line. Press "Odczytaj" to fill the grid. The scale weighs
# 10 more times every 15 seconds; press "Odczytaj" again: the second read is
# incremental, it fetches only the new records and the one it checks against
# the archive (the status bar says "Odczyt przyrostowy: nowe 10, z archiwum
# ..."). Closing the window stops the simulator.
#   scripts/run-demo.sh [number of records]      (BUILD_DIR: default build/plain)
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-5000}
build=${BUILD_DIR:-build/plain}

scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display to show the window on; scripts/screenshot.sh reads a scale under Xvfb." >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/vesktarvo-demo.XXXXXX")
sim_pid=""
weigh_pid=""
cleanup() {
  if [ -n "$weigh_pid" ] && kill -0 "$weigh_pid" 2>/dev/null; then
    kill "$weigh_pid"
    wait "$weigh_pid" 2>/dev/null || true
  fi
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

link="$work/ttyScale"
"$build/bin/scale-sim" --pty --link "$link" --records "$records" --seed 1 --grow 10 \
  >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready$' "$work/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "scale-sim did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^ready$' "$work/sim.out" || { echo "scale-sim did not get ready" >&2; exit 1; }
echo "scale-sim (pid $sim_pid) serves $records records on $link"

# New weighings on top of the memory, as a scale in use makes them.
(
  while sleep 15; do
    kill -USR1 "$sim_pid" 2>/dev/null || exit 0
  done
) &
weigh_pid=$!

# The program's settings, as a save of its settings panel would leave them.
mkdir -p "$work/config/VESK"
cat >"$work/config/VESK/Tarvo.conf" <<CONF
[General]
COM_baudrate=9600
COM_bits=8
COM_parity=None
COM_port=$link
Last%20Used=COM
CONF

XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" "$build/bin/VeskTarvo"
