#!/usr/bin/env bash
# Builds, then under Xvfb starts VeskTarvo against a simulated scale, reads its
# alibi memory and saves pictures of the window after the read:
#   <folder>/vesktarvo-after-read.png     as the window opens, grid filled
#   <folder>/vesktarvo-settings.png       the same with the settings panel shown
#   <folder>/vesktarvo-during-read.png    a read of a large memory at the real line
#                                         rate: the stop button and the time left
#   scripts/screenshot.sh [folder]        (default build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
build=${BUILD_DIR:-build/plain}

scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target VeskTarvo vesktarvo-screenshot scale-sim QELScale
mkdir -p "$out"

work=$(mktemp -d "${TMPDIR:-/tmp}/vesktarvo-shot.XXXXXX")
sim_pids=()
cleanup() {
  for pid in "${sim_pids[@]}"; do
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
}
trap cleanup EXIT

# start_scale NAME ARGS...: a simulated scale on a pseudo-terminal linked at
# $work/NAME, ready when this returns.
start_scale() {
  local name=$1
  shift
  "$build/bin/scale-sim" --pty --link "$work/$name" "$@" >"$work/$name.out" &
  local pid=$!
  sim_pids+=("$pid")
  for _ in $(seq 100); do
    grep -q '^ready$' "$work/$name.out" 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || { echo "scale-sim did not start" >&2; exit 1; }
    sleep 0.1
  done
  echo "scale-sim did not get ready" >&2
  exit 1
}

link="$work/ttyScale"
start_scale ttyScale --records 3000 --seed 1
start_scale ttyPaced --records 100000 --seed 2 --pace

mkdir -p "$work/config/VESK"
cat >"$work/config/VESK/Tarvo.conf" <<CONF
[General]
COM_baudrate=9600
COM_bits=8
COM_parity=None
COM_port=$link
Last%20Used=COM
CONF

# A Polish desktop, as the program's own texts are.
XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb LANG=pl_PL.UTF-8 LC_ALL=pl_PL.UTF-8 \
  xvfb-run -a -s "-screen 0 1280x900x24" \
  "$build/bin/vesktarvo-screenshot" "$out/vesktarvo-after-read.png" "$out/vesktarvo-settings.png" \
  "$out/vesktarvo-during-read.png" "$work/ttyPaced"
