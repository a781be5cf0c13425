#!/usr/bin/env bash
# Installs what is missing and builds and runs the whole test suite once, on
# Qt 6 (VANTREL_QT_MAJOR=6), in build/test-qt6. scripts/test.sh is the Qt 5
# pass, with the sanitizers and the fuzz targets.
set -euo pipefail
cd "$(dirname "$0")/.."

VANTREL_QT_MAJOR=6 scripts/install-deps.sh test
jobs=$(nproc)
configure=(-G Ninja)
if command -v ccache >/dev/null; then
    configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi

cmake -S . -B build/test-qt6 "${configure[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVANTREL_QT_MAJOR=6 >/dev/null
cmake --build build/test-qt6 -j"$jobs"
(cd build/test-qt6 && ctest --output-on-failure -j"$jobs")
