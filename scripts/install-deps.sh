#!/usr/bin/env bash
# Installs the Debian packages that building, testing or running the tool
# needs, and only those still missing.
# Usage: install-deps.sh build|test|run|package...
set -euo pipefail

build_packages=(qtbase5-dev libqt5serialport5-dev cmake ninja-build g++ make)
# Tests run on Qt's offscreen platform; the fuzz target needs clang's runtime;
# the package test builds a Debian package and checks its desktop entry.
test_packages=(clang libclang-rt-14-dev dpkg-dev desktop-file-utils file)
# A desktop session or a virtual display, a font that has the Chinese texts,
# and Qt's own texts (dialog buttons, file dialogs) in Chinese.
run_packages=(xvfb xauth fonts-wqy-microhei qttranslations5-l10n)
# cpack -G DEB works out the package's dependencies with dpkg-shlibdeps.
package_packages=(dpkg-dev)

wanted=()
for group in "$@"; do
    case "$group" in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${build_packages[@]}" "${test_packages[@]}" "${run_packages[@]}") ;;
    run) wanted+=("${build_packages[@]}" "${run_packages[@]}") ;;
    package) wanted+=("${build_packages[@]}" "${package_packages[@]}") ;;
    *)
        echo "install-deps.sh: unknown group '$group' (build, test, run or package)" >&2
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
