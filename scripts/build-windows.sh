#!/usr/bin/env bash
# Cross-builds the four programs for 64-bit Windows with Debian's MinGW-w64
# against a Qt 5 built for MinGW, and packs them:
#   BUILD/vantrel-toolkit-<version>-win64.zip        unzip and run
#   BUILD/vantrel-toolkit-<version>-win64-setup.exe  the installer
# Usage: [VANTREL_QT_MINGW=QT_PREFIX] scripts/build-windows.sh [BUILD]
# QT_PREFIX is the folder that holds lib/cmake/Qt5 of that Qt; without it the
# prebuilt Qt 5.15.15 archive in shared/toolchains beside the checkout is
# unpacked once into a cache folder. BUILD defaults to build/win64. The README
# ("On Windows") says how to get such a Qt.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows

qt=${VANTREL_QT_MINGW:-}
archive=../shared/toolchains/qt5-mingw-w64-5.15.15.tar.xz
if [[ -z $qt && -f $archive ]]; then
    cache=${XDG_CACHE_HOME:-$HOME/.cache}/vantrel/qt5-mingw-w64-5.15.15
    if [[ ! -f $cache/qt5-mingw/lib/cmake/Qt5/Qt5Config.cmake ]]; then
        (cd "$(dirname "$archive")" && sha256sum -c --quiet "$(basename "$archive").sha256")
        rm -rf "$cache" && mkdir -p "$cache"
        tar -C "$cache" -xJf "$archive"
    fi
    qt=$cache/qt5-mingw
fi
if [[ -z $qt || ! -f $qt/lib/cmake/Qt5/Qt5Config.cmake ]]; then
    echo "build-windows.sh: VANTREL_QT_MINGW must name a Qt 5 for MinGW-w64 (a folder with" \
        "lib/cmake/Qt5); see \"On Windows\" in README.md" >&2
    exit 2
fi
build=${1:-build/win64}

configure=(-G Ninja -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_TOOLCHAIN_FILE=$PWD/cmake/mingw-w64-x86_64.cmake" "-DCMAKE_PREFIX_PATH=$qt"
    # CTest runs the Windows suites under Wine.
    -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64)
if command -v ccache >/dev/null; then
    configure+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
fi
cmake -S . -B "$build" "${configure[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)
ls -l "$build"/vantrel-toolkit-*-win64.zip "$build"/vantrel-toolkit-*-win64-setup.exe
