#!/usr/bin/env bash
# Installs what is missing, builds, and starts the control panel.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
PACKAGES=("${BUILD_PACKAGES[@]}")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    PACKAGES+=(xvfb xauth imagemagick openbox)
fi
ensure_packages "${PACKAGES[@]}"
build_all

PANEL="$BUILD/app/zelt-panel"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$PANEL" "$@"
fi

# No screen here (a server, a container): run on a virtual one and show a picture of it.
SHOT="$BUILD/panel.png"
echo "No display found: starting the panel on a virtual screen; a screenshot goes to $SHOT."
exec xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    openbox >/dev/null 2>&1 &
    "$0" "${@:2}" &
    panel=$!
    sleep 3
    import -window root "$1" && echo "Screenshot: $1 (the panel keeps running; Ctrl+C ends it)"
    wait $panel
' "$PANEL" "$SHOT" "$@"
