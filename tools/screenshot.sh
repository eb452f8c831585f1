#!/usr/bin/env bash
# Pictures of the running program, for looking at it: the compact view, the full view during a
# status query (transcript, legends, decoded status), the port dialog and the command list.
#   tools/screenshot.sh [output folder, default build/screenshots]
# Runs the panel against the projector emulator on a virtual screen with a window manager.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$ROOT/scripts/common.sh"
OUT="${1:-$BUILD/screenshots}"
ensure_packages "${BUILD_PACKAGES[@]}" xvfb xauth imagemagick openbox xdotool x11-utils
build_panel
mkdir -p "$OUT"
WORK="$(mktemp -d)"
mkdir -p "$WORK/config" "$WORK/runtime"
chmod 700 "$WORK/runtime"
printf '[StartUP]\nComPort=1\nBaudRate=192\n' > "$WORK/config/ZELT.conf"

"$BUILD/tools/projector_emulator/projector-emulator" --warmup-seconds 1 --parent $$ > "$WORK/emulator.out" 2>&1 &
EMU=$!
trap 'kill $EMU 2>/dev/null || true; rm -rf "$WORK"' EXIT
for _ in $(seq 50); do [ -s "$WORK/emulator.out" ] && break; sleep 0.1; done
[ -e "$(head -n 1 "$WORK/emulator.out")" ] || { echo "The emulator did not start: $(cat "$WORK/emulator.out")"; exit 1; }

export ZELT_COM1="$(head -n 1 "$WORK/emulator.out")" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/runtime"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    set -e
    out="$1"; panel="$2"
    openbox >/dev/null 2>&1 &
    for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
    "$panel" >"$out/panel.log" 2>&1 &
    wid=""
    for _ in $(seq 100); do wid=$(xdotool search --onlyvisible --name "QX480" 2>/dev/null | tail -n 1); [ -n "$wid" ] && break; sleep 0.2; done
    [ -n "$wid" ] || { echo "the panel did not show"; exit 1; }
    at() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep "${3:-0.3}"; }
    shot() { sleep 0.3; import -window root "$out/$1.png"; echo "$out/$1.png"; }
    xdotool windowactivate --sync "$wid" 2>/dev/null || true
    shot compact
    xdotool key --window "$wid" ctrl+h; sleep 0.5
    at 40 50 1.5          # Power On, then let the count down pass
    at 618 368 0.15       # Status: the reply and its phrase
    shot full-status
    at 490 484 0.8        # COM: the port dialog
    shot port-dialog
    dlg=$(xdotool search --onlyvisible --name "COM PORT" 2>/dev/null | tail -n 1 || true)
    [ -n "$dlg" ] || { echo "the port dialog did not show"; exit 1; }
    xdotool mousemove --window "$dlg" 160 164 click 1; sleep 0.5   # Cancel: back to the port
    at 490 456 0.8        # Command Table
    shot command-list
' screenshot "$OUT" "$BUILD/app/zelt-panel"
