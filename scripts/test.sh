#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite twice (plain,
# then with AddressSanitizer and UndefinedBehaviorSanitizer) and runs the
# fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$jobs"
(cd build/release && ctest --output-on-failure -j"$jobs")

if [[ -f scripts/fuzz.sh ]]; then
    bash scripts/fuzz.sh build/fuzz
fi

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
(cd build/sanitize && ctest --output-on-failure -j"$jobs")
