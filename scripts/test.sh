#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite twice (plain,
# then with AddressSanitizer and UndefinedBehaviorSanitizer) and runs each
# fuzz target for a bounded time (FUZZ_SECONDS each, default 20).
# Builds go to build/test, build/fuzz and build/sanitize; build/release
# stays scripts/run.sh's.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test fuzz
jobs=$(nproc)
configure=(-G Ninja)
if command -v ccache >/dev/null; then
    configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # Paths relative to the checkout and no working folder in the key, so that
    # another clone hits the same cache (its debug info may name that clone).
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi

cmake -S . -B build/test "${configure[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/test -j"$jobs"
(cd build/test && ctest --output-on-failure -j"$jobs")

FUZZ_SECONDS=${FUZZ_SECONDS:-20} bash scripts/fuzz.sh build/fuzz

cmake -S . -B build/sanitize "${configure[@]}" -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON \
    >/dev/null
cmake --build build/sanitize -j"$jobs" --target vantrel_tests
# The Debian package and the shell completion are checked once, in the plain
# build.
(cd build/sanitize && ctest --output-on-failure -j"$jobs" -E '^(package_deb|bash_completion)$')
