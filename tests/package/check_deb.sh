#!/usr/bin/env bash
# Builds the Debian package from a configured and built build folder, has
# lintian check it, unpacks it into a scratch root and checks that it holds
# the programs with their manual pages, a desktop entry whose Exec and Icon
# resolve inside the package, the icon at the theme sizes, the licence and
# changelog, the bash completion, and a companion program that runs.
# Usage: check_deb.sh BUILD_DIR PROGRAM...
set -euo pipefail
sources=$(cd "$(dirname "$0")/../.." && pwd)
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
translations=$([[ $qt == 6 ]] && echo qt6-translations-l10n || echo qttranslations5-l10n)
[[ $(dpkg-deb -f "$deb" Recommends) == *$translations* ]] ||
    fail "Qt's own Chinese texts not recommended"

lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log"; fail "lintian found errors or warnings"; }

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for program in "$@"; do
    [[ -x $root/usr/bin/$program ]] || fail "usr/bin/$program missing"
    # What "man PROGRAM" shows once the package is installed; wide, so that
    # no option is broken across lines.
    page=$(LC_ALL=C.UTF-8 MANWIDTH=250 man -l "$root/usr/share/man/man1/$program.1.gz" 2>&1) ||
        fail "man cannot show the page of $program: $page"
    [[ $page =~ $'\n'NAME$'\n'\ +$program\ +-\ [a-zA-Z] ]] || fail "the page of $program has no NAME line"
    if [[ $program != vantrel-toolkit ]]; then
        for option in $("$root/usr/bin/$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
            [[ $page == *"$option"* ]] || fail "the page of $program does not describe $option"
        done
    fi
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
doc=$root/usr/share/doc/vantrel-toolkit
ls "$doc"/*.md >/dev/null || fail "no documentation"
[[ $(zcat "$doc/changelog.gz" | head -n 1) == "vantrel-toolkit ($(dpkg-deb -f "$deb" Version)) "* ]] ||
    fail "the changelog's latest entry is not for this version"
# The copyright file states the licence of LICENSE, word for word.
licence_text() { sed -n '/^Permission/,$p'; }
[[ $(awk '/^License:/ { text = ""; next } { text = text $0 "\n" } END { printf "%s", text }' \
    "$doc/copyright" | sed 's/^ //; s/^\.$//' | licence_text) == "$(licence_text <"$sources/LICENSE")" ]] ||
    fail "the copyright file's licence text differs from LICENSE"
grep -qx "Copyright: $(sed -n 's/^Copyright (c) //p' "$sources/LICENSE")" "$doc/copyright" ||
    fail "the copyright file names other holders than LICENSE"
for program in vantrel-package vantrel-ota; do
    [[ ! -x $root/usr/bin/$program || -f $root/usr/share/bash-completion/completions/$program ]] ||
        fail "no bash completion for $program"
done

"$root/usr/bin/vantrel-package" --help | grep -q "vantrel-package build" ||
    fail "installed vantrel-package --help did not run"
echo "check_deb: $(basename "$deb") passes lintian, holds $# programs with their manual pages, a valid desktop entry and its icon"
