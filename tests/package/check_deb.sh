#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder, unpacks
# it into a scratch root and checks that it holds the programs, a desktop
# entry whose Exec and Icon resolve inside the package, the icon at the theme
# sizes, and a companion program that runs.
# Usage: check_deb.sh BUILD_DIR PROGRAM...
set -euo pipefail
build=$(cd "$1" && pwd)
shift
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_deb: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
debs=("$scratch"/out/vantrel-toolkit_*_*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "no single vantrel-toolkit_<version>_<arch>.deb"
deb=${debs[0]}
[[ $(basename "$deb") == "vantrel-toolkit_$(dpkg-deb -f "$deb" Version)_$(dpkg-deb -f "$deb" Architecture).deb" ]] ||
    fail "$(basename "$deb") does not follow name_version_arch"
qt=${VANTREL_QT_MAJOR:-5}
[[ $(dpkg-deb -f "$deb" Depends) == *libqt${qt}serialport$qt* ]] || fail "Depends not worked out from the binaries"
[[ -n $(dpkg-deb -f "$deb" Maintainer) && -n $(dpkg-deb -f "$deb" Description) ]] ||
    fail "no maintainer or description"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for program in "$@"; do
    [[ -x $root/usr/bin/$program ]] || fail "usr/bin/$program missing"
done

entry=$root/usr/share/applications/vantrel-toolkit.desktop
[[ -f $entry ]] || fail "desktop entry missing"
desktop-file-validate "$entry" || fail "desktop entry does not validate"
key() { sed -n "s/^$1=//p" "$entry"; }
[[ $(key Name) == "Vantrel工具集" && $(key Terminal) == false ]] || fail "wrong Name or Terminal"
exec_program=$(key Exec | cut -d' ' -f1)
[[ -x $root/usr/bin/$exec_program ]] || fail "Exec=$exec_program is not in usr/bin"
icon=$(key Icon)
for size in 16 22 24 32 48 64 128; do
    png=$root/usr/share/icons/hicolor/${size}x$size/apps/$icon.png
    [[ $(file -b "$png") == "PNG image data, $size x $size,"* ]] || fail "no $size px icon $icon"
done
ls "$root"/usr/share/doc/vantrel-toolkit/*.md >/dev/null || fail "no documentation"

"$root/usr/bin/vantrel-package" --help | grep -q "vantrel-package build" ||
    fail "installed vantrel-package --help did not run"
echo "check_deb: $(basename "$deb") holds $# programs, a valid desktop entry and its icon"
