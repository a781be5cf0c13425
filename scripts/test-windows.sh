#!/usr/bin/env bash
# Cross-builds for Windows (scripts/build-windows.sh, in build/win64) and
# checks the Windows programs under Wine: the suites that need no serial line
# (through CTest), then tests/windows/check_wine.sh on the unpacked zip: the
# packages byte for byte against the Linux build's, the main window on a
# virtual display, and a COM port joined to the simulated device.
# The Qt for MinGW is VANTREL_QT_MINGW or else the archive beside the
# checkout's parent (shared/toolchains), unpacked once into a cache folder.
# The Linux programs come from build/test (scripts/test.sh builds them).
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -z ${VANTREL_QT_MINGW:-} ]]; then
    archive=../shared/toolchains/qt5-mingw-w64-5.15.15.tar.xz
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/vantrel/qt5-mingw-w64-5.15.15
    if [[ ! -f $cache/qt5-mingw/lib/cmake/Qt5/Qt5Config.cmake ]]; then
        if [[ ! -f $archive ]]; then
            echo "test-windows.sh: no Qt for MinGW: set VANTREL_QT_MINGW or provide $archive" >&2
            exit 2
        fi
        scripts/install-deps.sh windows
        (cd "$(dirname "$archive")" && sha256sum -c --quiet "$(basename "$archive").sha256")
        rm -rf "$cache" && mkdir -p "$cache"
        tar -C "$cache" -xJf "$archive"
    fi
    export VANTREL_QT_MINGW=$cache/qt5-mingw
fi
scripts/build-windows.sh build/win64

if [[ ! -x build/test/tools/package_tool/vantrel-package ]]; then
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build/test -j"$(nproc)" --target vantrel-package ota_device_sim
fi

export WINEPREFIX=$PWD/build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
fi
(cd build/win64 && ctest --output-on-failure -j"$(nproc)")
bash tests/windows/check_wine.sh build/win64 build/test
