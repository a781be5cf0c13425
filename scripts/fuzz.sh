#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build directory of their own
# (first argument, default build/fuzz) and runs each for a bounded time
# (FUZZ_SECONDS, default 20 each). Exits non-zero when a target finds a
# crash, a hang or a sanitizer report.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-20}
targets=(package_reader ota_session)

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/fuzz-artifacts"
for target in "${targets[@]}"; do
    # New inputs go to a scratch corpus; the checked-in seeds are only read.
    seeds="$root/tests/fuzz/corpus/$target"
    work="$build/fuzz-corpus/$target"
    mkdir -p "$work"
    "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target-" "$work" "$seeds" \
        2>&1 | tail -n 12
done
