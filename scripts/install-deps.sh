#!/usr/bin/env bash
# Installs the Debian packages that building, testing or running the tool
# needs, and only those still missing. VANTREL_QT_MAJOR=6 installs Qt 6 in
# place of Qt 5.
# Usage: install-deps.sh build|test|fuzz|run|package|windows...
set -euo pipefail

case ${VANTREL_QT_MAJOR:-5} in
5) qt_packages=(qtbase5-dev libqt5serialport5-dev) qt_texts=qttranslations5-l10n ;;
6) qt_packages=(qt6-base-dev qt6-serialport-dev) qt_texts=qt6-translations-l10n ;;
*)
    echo "install-deps.sh: VANTREL_QT_MAJOR must be 5 or 6" >&2
    exit 2
    ;;
esac
build_packages=("${qt_packages[@]}" cmake ninja-build g++ make)
# Tests run on Qt's offscreen platform; the package test builds a Debian
# package, checks its desktop entry, has lintian check it and reads its
# manual pages (written by help2man) with man. ccache lets clones share
# their compiled objects.
test_packages=(dpkg-dev desktop-file-utils file lintian help2man man-db ccache)
# The fuzz targets need clang's runtime.
fuzz_packages=(clang libclang-rt-14-dev)
# A desktop session or a virtual display, a font that has the Chinese texts,
# and Qt's own texts (dialog buttons, file dialogs) in Chinese.
run_packages=(xvfb xauth fonts-wqy-microhei "$qt_texts")
# cpack -G DEB works out the package's dependencies with dpkg-shlibdeps; the
# manual pages are written from the programs' --help by help2man.
package_packages=(dpkg-dev help2man)
# The Windows build: MinGW-w64 (posix threads, as the Qt for MinGW), Wine to
# run what it builds, NSIS for the installer, Qt's Chinese texts to ship;
# socat joins a Wine COM port to the simulated device, Xvfb and xwininfo show
# the window program's window.
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine64 nsis xz-utils unzip
                  qttranslations5-l10n socat xvfb xauth x11-utils)

wanted=()
for group in "$@"; do
    case "$group" in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${build_packages[@]}" "${test_packages[@]}" "${run_packages[@]}") ;;
    fuzz) wanted+=("${fuzz_packages[@]}") ;;
    run) wanted+=("${build_packages[@]}" "${run_packages[@]}") ;;
    package) wanted+=("${build_packages[@]}" "${package_packages[@]}") ;;
    windows) wanted+=("${windows_packages[@]}") ;;
    *)
        echo "install-deps.sh: unknown group '$group' (build, test, fuzz, run, package or windows)" >&2
        exit 2
        ;;
    esac
done

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]] && [[ ! " ${missing[*]} " == *" $package "* ]]; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
# Recommends would bring ModemManager, which probes serial ports, and a GTK
# theme that swaps in native file dialogs.
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
