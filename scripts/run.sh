#!/usr/bin/env bash
# Installs what is missing, builds the panel and the emulator (only them: ./scripts/test.sh builds
# the rest), and starts the control panel against the emulator, with a settings folder of its own
# (your stored port is left alone).
#   ./scripts/run.sh              panel + emulator
#   ./scripts/run.sh --real       panel alone, on your real ports and your own settings
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
REAL=0
[ "${1:-}" = "--real" ] && { REAL=1; shift; }

HAVE_DISPLAY=0
PACKAGES=("${BUILD_PACKAGES[@]}")
if [ -n "${DISPLAY:-}" ]; then
    HAVE_DISPLAY=1
elif [ -n "${WAYLAND_DISPLAY:-}" ]; then
    HAVE_DISPLAY=1
    PACKAGES+=(qt6-wayland)
fi
[ "$HAVE_DISPLAY" -eq 0 ] && PACKAGES+=(xvfb xauth imagemagick openbox x11-utils)
ensure_packages "${PACKAGES[@]}"
build_panel

PANEL="$BUILD/app/zelt-panel"
EMULATOR="$BUILD/tools/projector_emulator/projector-emulator"
DEMO="$BUILD/demo"

if [ "$REAL" -eq 0 ]; then
    mkdir -p "$DEMO/config"
    "$EMULATOR" --log --warmup-seconds 5 --cooldown-seconds 5 --parent $$ > "$DEMO/emulator.log" 2>&1 &
    EMU_PID=$!
    trap 'kill $EMU_PID 2>/dev/null; wait $EMU_PID 2>/dev/null' EXIT
    for _ in $(seq 50); do [ -s "$DEMO/emulator.log" ] && break; sleep 0.1; done
    DEVICE="$(head -n 1 "$DEMO/emulator.log")"
    [ -e "$DEVICE" ] || { echo "The emulator did not start: $(cat "$DEMO/emulator.log")"; exit 1; }
    # Port 1 is the emulator; start straight on it unless the demo's own settings say otherwise.
    [ -f "$DEMO/config/ZELT.conf" ] || printf '[StartUP]\nComPort=1\nBaudRate=192\n' > "$DEMO/config/ZELT.conf"
    export ZELT_COM1="$DEVICE" XDG_CONFIG_HOME="$DEMO/config"
    echo "Projector emulator on $DEVICE (port COM1); its log: $DEMO/emulator.log"
    echo "Try: On, then Status every few seconds (Count down, then Power ON). Ctrl+H shows the lower half."
fi

if [ "$HAVE_DISPLAY" -eq 1 ]; then
    "$PANEL" "$@"
    exit $?
fi

# No screen here (a server, a container): run on a virtual one and take a picture of it.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    # Qt wants one; a login session would have made it.
    export XDG_RUNTIME_DIR="$BUILD/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
SHOT="$BUILD/panel.png"
echo "No display found: the panel runs on a virtual screen; a screenshot goes to $SHOT."
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    openbox >/dev/null 2>&1 &
    # Windows mapped while the window manager is still starting are lost: wait for it.
    for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break; sleep 0.1; done
    "$0" "${@:2}" &
    panel=$!
    # Until the panel (or, without a port, its port dialog) is on the screen; the first start
    # on a new machine also builds the font cache.
    viewable() { xwininfo -name "$1" 2>/dev/null | grep -q IsViewable; }
    for _ in $(seq 150); do viewable "ZELT   QX480  CONTROL" || viewable "  COM PORT" && break; sleep 0.2; done
    sleep 1
    import -window root "$1" && echo "Screenshot: $1 (the panel keeps running; Ctrl+C ends it)"
    wait $panel
' "$PANEL" "$SHOT" "$@"
