# Shared by the scripts: installs what is missing, then configures by the presets in
# CMakePresets.json and builds incrementally.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="$ROOT/build"  # the "default" preset's folder

# ensure_packages pkg...: installs the Debian packages that are not installed yet.
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    # Through env: sudo drops the caller's environment.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# Fonts: the offscreen widget tests and the panel draw text. toml++: the service's configuration;
# libsystemd: its readiness and watchdog; libmosquitto: its MQTT front end; libmicrohttpd and
# nlohmann's JSON: its HTTP front end.
BUILD_PACKAGES=(build-essential cmake pkg-config qt6-base-dev qt6-serialport-dev libgtest-dev libbenchmark-dev
    fonts-dejavu-core locales libtomlplusplus-dev libsystemd-dev libmosquitto-dev libmicrohttpd-dev nlohmann-json3-dev)
# The Debian package: CPack's DEB generator finds the dependencies with dpkg-shlibdeps (dpkg-dev)
# and looks at the programs with file.
PACKAGE_PACKAGES=(dpkg-dev file)
# Only the tests need these: the network-line tests start a real ser2net; the MQTT tests a real
# Mosquitto with its clients, and openssl makes certificates for its TLS listener and HTTPS; the
# package's check validates the desktop entry, the metainfo, the man pages and the services' systemd
# units and user (systemd-analyze, systemd-sysusers; nothing is started), and runs lintian. The HTTP
# front end's tests ask it with curl, check /metrics with promtool (prometheus) and drive the page
# in Chromium (about 400 MB).
TEST_PACKAGES=(ser2net mosquitto mosquitto-clients openssl "${PACKAGE_PACKAGES[@]}" desktop-file-utils appstream
    lintian man-db systemd curl prometheus chromium)

# The PJLink bridge's end-to-end test drives it with the npm registry's `pjlink` client; the web
# page's test drives Debian's Chromium with puppeteer-core (no browser download) and scans the page
# with axe-core. All kept in build/npm. Node and npm come from Debian unless some other install
# already provides them.
NPM_PREFIX="$BUILD/npm"
NPM_TEST_PACKAGES=(pjlink@0.2.8 puppeteer-core@25.19.0 axe-core@4.14.1)
ensure_test_tools() {
    if ! command -v node >/dev/null || ! command -v npm >/dev/null; then ensure_packages nodejs npm; fi
    local missing=()
    for p in "${NPM_TEST_PACKAGES[@]}"; do
        [ -f "$NPM_PREFIX/node_modules/${p%@*}/package.json" ] || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing ${missing[*]} into $NPM_PREFIX"
        PUPPETEER_SKIP_DOWNLOAD=1 npm install --prefix "$NPM_PREFIX" --no-audit --no-fund "${NPM_TEST_PACKAGES[@]}"
    fi
}

# Cache options from the environment: ZELT_WERROR=ON (as .ci/run sets it) makes warnings errors.
PRESET_OPTIONS=()
if [ -n "${ZELT_WERROR:-}" ]; then PRESET_OPTIONS+=("-DZELT_WERROR=$ZELT_WERROR"); fi

# build_preset PRESET [TARGET...]: configures by the preset (incrementally; again after a configure
# that failed or was interrupted), then builds the targets named, or everything.
build_preset() {
    local preset="$1" targets=()
    shift
    [ $# -gt 0 ] && targets=(--target "$@")
    (cd "$ROOT" && cmake --preset "$preset" "${PRESET_OPTIONS[@]}" &&
        cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}")
}

build_all() { build_preset default; }
# The panel and the emulator alone, for the scripts that only run them: the test programs and the
# benchmarks are left to build_all, in the same build/ (so nothing is configured twice).
build_panel() { build_preset default zelt-panel projector-emulator; }
