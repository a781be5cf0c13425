#!/usr/bin/env bash
# Cross-builds for Windows (scripts/build-windows.sh, in build/win64) and
# checks the Windows programs under Wine: the suites that need no serial line
# (through CTest), then tests/windows/check_wine.sh on the unpacked zip: the
# packages byte for byte against the Linux build's, the main window on a
# virtual display, and a COM port joined to the simulated device.
# The Qt for MinGW is found as build-windows.sh finds it.
# The Linux programs come from build/test (scripts/test.sh builds them).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build-windows.sh build/win64

if [[ ! -f build/test/CMakeCache.txt ]]; then
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build/test -j"$(nproc)" --target vantrel-package ota_device_sim

export WINEPREFIX=$PWD/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
(cd build/win64 && ctest --output-on-failure -j"$(nproc)")
bash tests/windows/check_wine.sh build/win64 build/test
