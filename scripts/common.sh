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
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# Fonts: the offscreen widget tests and the panel draw text.
BUILD_PACKAGES=(build-essential cmake qt6-base-dev qt6-serialport-dev libgtest-dev libbenchmark-dev fonts-dejavu-core locales)

build_all() {
    if [ ! -f "$BUILD/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$BUILD" -j"$(nproc)"
}
