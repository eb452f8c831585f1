#!/usr/bin/env bash
# zelt-ctl from process start to exit against the projector emulator (which answers at once), and
# its peak resident memory. Run after a build: ./bench/ctl_perf.sh [runs, default 20]
# Uses hyperfine and GNU time from Debian (installed when missing).
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
RUNS="${1:-20}"
ensure_packages hyperfine time
CTL="$BUILD/ctl/zelt-ctl"
EMULATOR="$BUILD/tools/projector_emulator/projector-emulator"
[ -x "$CTL" ] && [ -x "$EMULATOR" ] || { echo "Build first: ./scripts/test.sh or cmake --build build"; exit 1; }

work="$(mktemp -d)"
"$EMULATOR" --parent $$ >"$work/emulator.out" 2>&1 &
emulator=$!
trap 'kill $emulator 2>/dev/null; wait $emulator 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/emulator.out" ] && break; sleep 0.1; done
device="$(head -n 1 "$work/emulator.out")"
[ -e "$device" ] || { echo "The emulator did not start: $(cat "$work/emulator.out")"; exit 1; }

# The settings folder of the run's own, so the stored port is left alone and not read.
export XDG_CONFIG_HOME="$work"
hyperfine --runs "$RUNS" --warmup 3 --export-csv "$work/times.csv" "$CTL --device $device status" >/dev/null
# command,mean,stddev,median,user,system,min,max (seconds)
median_ms="$(awk -F, 'NR == 2 { printf "%.1f / %.1f / %.1f", $4 * 1000, $7 * 1000, $8 * 1000 }' "$work/times.csv")"
peak_kb="$(/usr/bin/time -f %M "$CTL" --device "$device" status 2>&1 >/dev/null | tail -n 1)"

echo "| Measure (\`zelt-ctl --device <pty> status\`, emulator answering at once) | Seen |"
echo "|---|---|"
echo "| Process start to exit, median / min / max of $RUNS | $median_ms ms |"
echo "| Peak resident memory | $peak_kb kB |"
