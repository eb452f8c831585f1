#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ (the
# "asan" preset) and runs every test there; the preset sets the sanitizers' options.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
ensure_test_tools
build_preset asan
cd "$ROOT"
ctest --preset asan -j"$(nproc)" "$@"
