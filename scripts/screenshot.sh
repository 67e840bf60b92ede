#!/usr/bin/env bash
# Builds, then under Xvfb starts VeskTarvo against a simulated scale, reads its
# alibi memory and saves pictures of the window after the read:
#   <folder>/vesktarvo-after-read.png     as the window opens, grid filled
#   <folder>/vesktarvo-settings.png       the same with the settings panel shown
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
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
    kill "$sim_pid"
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

link="$work/ttyScale"
"$build/bin/scale-sim" --pty --link "$link" --records 3000 --seed 1 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^ready$' "$work/sim.out" 2>/dev/null && break
  kill -0 "$sim_pid" 2>/dev/null || { echo "scale-sim did not start" >&2; exit 1; }
  sleep 0.1
done
grep -q '^ready$' "$work/sim.out" || { echo "scale-sim did not get ready" >&2; exit 1; }

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
  "$build/bin/vesktarvo-screenshot" "$out/vesktarvo-after-read.png" "$out/vesktarvo-settings.png"
