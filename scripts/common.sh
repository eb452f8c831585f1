# Shared by run.sh and test.sh: installs what is missing, then configures and builds incrementally.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ZELT_BUILD_DIR:-$ROOT/build}"

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

# Fonts: the offscreen widget tests and the panel draw text.
BUILD_PACKAGES=(build-essential cmake qt6-base-dev qt6-serialport-dev libgtest-dev libbenchmark-dev fonts-dejavu-core locales)
# Only the tests need these: the network-line tests start a real ser2net.
TEST_PACKAGES=(ser2net)

# configure_build SOURCE BUILD [cmake options...]: configures once; again when an earlier configure
# failed or was interrupted (CMake writes its cache even then, but no build files).
configure_build() {
    local source="$1" build="$2"
    shift 2
    if [ ! -f "$build/CMakeCache.txt" ] || { [ ! -f "$build/Makefile" ] && [ ! -f "$build/build.ninja" ]; }; then
        cmake -S "$source" -B "$build" "$@"
    fi
}

build_all() {
    configure_build "$ROOT" "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$BUILD" -j"$(nproc)"
}
