#!/usr/bin/env bash
# Builds the fuzz targets for libFuzzer (clang, with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each one: ./scripts/fuzz.sh [runs per target, default 1000000] [target...]
# Targets named after the runs are the only ones built and run (./scripts/fuzz.sh 1000000 telnet_session).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
RUNS="${1:-1000000}"
# The targets, as fuzz/CMakeLists.txt lists them.
mapfile -t ALL_TARGETS < <(sed -n '/^set(ZELT_FUZZ_TARGETS/,/)/p' "$ROOT/fuzz/CMakeLists.txt" |
    sed 's/set(ZELT_FUZZ_TARGETS//; s/)//' | xargs -n1)
TARGETS=("${@:2}")
if [ "${#TARGETS[@]}" -eq 0 ]; then TARGETS=("${ALL_TARGETS[@]}"); fi
for target in "${TARGETS[@]}"; do
    if [[ ! " ${ALL_TARGETS[*]} " =~ " $target " ]]; then
        echo "fuzz.sh: no fuzz target \"$target\" (targets: ${ALL_TARGETS[*]})" >&2
        exit 2
    fi
done
ensure_packages clang libclang-rt-14-dev cmake make libtomlplusplus-dev nlohmann-json3-dev
FUZZ_BUILD="$ROOT/build-fuzz"  # the "fuzz" preset's folder
# A folder configured from fuzz/ alone, as before the presets, cannot be reconfigured from the root.
if grep -qs "^CMAKE_HOME_DIRECTORY:INTERNAL=$ROOT/fuzz$" "$FUZZ_BUILD/CMakeCache.txt"; then
    rm -rf "$FUZZ_BUILD"
fi
if [ "$#" -gt 1 ]; then
    # Only the targets named, built and run.
    build_preset fuzz "${TARGETS[@]/%/_fuzz}"
else
    build_preset fuzz
fi
for target in "${TARGETS[@]}"; do
    work="$FUZZ_BUILD/corpus-$target"
    mkdir -p "$work"
    echo "== $target: $RUNS runs"
    # New inputs go to the work folder; the repository's small corpus only seeds it.
    status=0
    "$FUZZ_BUILD/fuzz/${target}_fuzz" -runs="$RUNS" -max_len=4096 -print_final_stats=1 \
        "$work" "$ROOT/fuzz/corpus/$target" > "$FUZZ_BUILD/$target.log" 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|.*check failed)" "$FUZZ_BUILD/$target.log" || true
    if [ "$status" -ne 0 ]; then
        echo "$target: the fuzzer found a failure (exit $status); see $FUZZ_BUILD/$target.log"
        exit 1
    fi
done
echo "${TARGETS[*]}: $RUNS inputs each without a finding."
