#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and
# runs every test there.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
ASAN_BUILD="$ROOT/build-asan"
configure_build "$ROOT" "$ASAN_BUILD" -DCMAKE_BUILD_TYPE=Debug -DZELT_SANITIZE=ON -DZELT_BUILD_BENCH=OFF
cmake --build "$ASAN_BUILD" -j"$(nproc)"
cd "$ASAN_BUILD"
# Qt's own libraries are not instrumented; leaks they keep until exit are theirs, not ours.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --output-on-failure -j"$(nproc)" "$@"
