#!/usr/bin/env bash
# Builds the fuzz targets for libFuzzer (clang, with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each one: ./scripts/fuzz.sh [runs per target, default 1000000]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
RUNS="${1:-1000000}"
ensure_packages clang libclang-rt-14-dev cmake make
FUZZ_BUILD="$ROOT/build-fuzz"
configure_build "$ROOT/fuzz" "$FUZZ_BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$FUZZ_BUILD" -j"$(nproc)"
for target in transcript reply_decoder stored_number command_part pjlink_line; do
    work="$FUZZ_BUILD/corpus-$target"
    mkdir -p "$work"
    echo "== $target: $RUNS runs"
    # New inputs go to the work folder; the repository's small corpus only seeds it.
    status=0
    "$FUZZ_BUILD/${target}_fuzz" -runs="$RUNS" -max_len=4096 -print_final_stats=1 \
        "$work" "$ROOT/fuzz/corpus/$target" > "$FUZZ_BUILD/$target.log" 2>&1 || status=$?
    grep -E "^(stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY|.*check failed)" "$FUZZ_BUILD/$target.log" || true
    if [ "$status" -ne 0 ]; then
        echo "$target: the fuzzer found a failure (exit $status); see $FUZZ_BUILD/$target.log"
        exit 1
    fi
done
echo "All fuzz targets ran $RUNS inputs without a finding."
