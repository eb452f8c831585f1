#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package into build/:
#   ./scripts/package.sh
# then, as root:  apt install ./build/zelt-control_<version>_<architecture>.deb
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
build_all
cd "$BUILD"
cpack --config CPackConfig.cmake
echo "Package: $(ls "$BUILD"/zelt-control_*.deb)"
