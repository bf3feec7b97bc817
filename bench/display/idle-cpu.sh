#!/bin/sh
# CPU used by an idle windowed program on the headless display: starts
# orvi-demo, lets it settle, then reads its user+system ticks over a window
# of SECONDS (default 10). Target: under 1% of one core.
set -eu
demo=${1:?usage: idle-cpu.sh PATH-TO-orvi-demo [SECONDS]}
seconds=${2:-10}
root=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$root"' EXIT
ORVI_DISPLAY=headless ORVI_DEVICE_ROOT="$root" "$demo" &
pid=$!
sleep 1
ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(ticks)
sleep "$seconds"
after=$(ticks)
hz=$(getconf CLK_TCK)
awk -v t=$((after - before)) -v hz="$hz" -v s="$seconds" \
  'BEGIN { printf "idle CPU over %d s: %d ticks = %.2f%% of one core (target < 1%%)\n", s, t, 100 * t / hz / s }'
