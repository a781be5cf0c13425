#!/usr/bin/env bash
# Checks the Windows programs, as the zip ships them, under Wine:
#   - vantrel-package.exe builds the same package, byte for byte, as the
#     Linux vantrel-package, to a file and to standard output (-o -);
#   - vantrel-toolkit.exe starts and shows its main window (virtual display);
#   - a COM port of the Wine prefix on one end of a pseudo-terminal pair, the
#     Linux vantrel-device-sim on the other: vantrel-ota.exe ports lists it,
#     vantrel-ota.exe flash opens it and the device receives a correct start
#     request. Wine 8 delivers no received byte to the serial port of a
#     Windows program, so the upgrade stops there (a timeout); the check says
#     how far it got and fails if it gets less far.
# Usage: check_wine.sh WINDOWS_BUILD LINUX_BUILD   (WINEPREFIX set up)
set -uo pipefail

windows_build=$(cd "$1" && pwd)
linux_build=$(cd "$2" && pwd)
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"

passed=0
failed=0
check() { # check NAME COMMAND...: one result line
    if "${@:2}"; then
        echo "PASS: $1"
        passed=$((passed + 1))
    else
        echo "FAIL: $1"
        failed=$((failed + 1))
    fi
}

scratch=$(mktemp -d)
background=()
cleanup() {
    for pid in "${background[@]}"; do kill "$pid" 2>/dev/null; done
    "${wine%/*}/wineserver" -k 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

# The programs as the zip ships them: no WINEPATH, only what it holds.
zip=$(ls "$windows_build"/vantrel-toolkit-*-win64.zip)
unzip -q "$zip" -d "$scratch"
programs=$(ls -d "$scratch"/vantrel-toolkit-*-win64)/bin
unset WINEPATH
cd "$scratch"

# --- Packages ---------------------------------------------------------------
head -c 70001 /dev/urandom >boot.bin
head -c 9000 /dev/urandom >app.bin
printf '\n\n\r\n\n' >>app.bin # line feeds a text-mode write would change
options=(build --boot boot.bin --app app.bin --product 'K58-产品' --check-len 0x100)
linux_tool=$linux_build/tools/package_tool/vantrel-package
"$linux_tool" "${options[@]/产品/P}" -o linux.bin >linux-report.txt
"$linux_tool" verify linux.bin >linux-verify.txt
$wine "$programs/vantrel-package.exe" "${options[@]/产品/P}" -o windows.bin >/dev/null 2>&1
check "package file identical to the Linux build's" cmp -s linux.bin windows.bin
$wine "$programs/vantrel-package.exe" "${options[@]/产品/P}" -o - >stdout.bin 2>report.txt
check "package on standard output identical" cmp -s linux.bin stdout.bin
check "report on standard error" \
    test "$(tr -d '\r' <report.txt)" = "$(sed 's/^linux.bin/-/' linux-report.txt)"
$wine "$programs/vantrel-package.exe" verify windows.bin 2>&1 | tr -d '\r' >verify.txt
check "verify says what it says on Linux" \
    test "$(sed 's/windows.bin/linux.bin/' verify.txt)" = "$(cat linux-verify.txt)"
# A header text beyond Latin-1 is refused as on Linux (status 4), not
# written as "?": the Windows command line reaches the program whole.
$wine "$programs/vantrel-package.exe" "${options[@]}" -o refused.bin >/dev/null 2>&1
check "text beyond Latin-1 refused with status 4" test $? -eq 4 -a ! -e refused.bin
for program in vantrel-package vantrel-ota vantrel-device-sim; do
    check "$program.exe links no window library" bash -c \
        "! x86_64-w64-mingw32-objdump -p '$programs/$program.exe' | grep -q 'Qt5\(Gui\|Widgets\)'"
done

# --- The window program -----------------------------------------------------
# Its main window, titled as on Linux, on a virtual display with the Windows
# platform plugin shipped beside it. A Wine server left from the runs above
# would keep their desktop, which has no display.
"${wine%/*}/wineserver" -k 2>/dev/null
"${wine%/*}/wineserver" -w 2>/dev/null
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$0" "$1/vantrel-toolkit.exe" >/dev/null 2>&1 &
    for _ in $(seq 120); do
        if xwininfo -root -tree 2>/dev/null | grep -q "\"Vantrel工具集-v[0-9.]*\""; then
            exit 0
        fi
        sleep 0.5
    done
    exit 1' "$wine" "$programs" >/dev/null 2>&1
check "vantrel-toolkit.exe shows its main window" test $? -eq 0
"${wine%/*}/wineserver" -k 2>/dev/null

# --- A COM port -------------------------------------------------------------
socat pty,raw,echo=0,link=device pty,raw,echo=0,link=windows 2>/dev/null &
background+=($!)
for _ in $(seq 50); do [[ -e device && -e windows ]] && break; sleep 0.1; done
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$(readlink -f windows)" /f >/dev/null 2>&1
"${wine%/*}/wineserver" -k 2>/dev/null # Wine makes the port when it starts again
"${wine%/*}/wineserver" -w 2>/dev/null

$wine "$programs/vantrel-ota.exe" ports >ports.txt 2>&1
check "vantrel-ota.exe ports lists COM7" grep -q '^COM7\b' ports.txt

"$linux_build/tools/ota_device_sim/vantrel-device-sim" --port "$scratch/device" --frame-size 128 \
    --idle-timeout 30000 >device.txt 2>&1 &
background+=($!)
for _ in $(seq 50); do grep -q '^ready' device.txt && break; sleep 0.1; done
timeout 60 $wine "$programs/vantrel-ota.exe" flash app.bin --port COM7 --timeout 5 \
    >flash.txt 2>&1
status=$?
check "the device receives the start request for 9005 bytes" \
    grep -q 'start request: image of 9005 bytes' device.txt
check "the device answers it" grep -q 'answer: frame size 128' device.txt
# How far it gets: the answer never reaches the program under Wine 8.
slices=$(grep -c '^data frame' device.txt)
echo "INFO: upgrade under Wine: start request answered, $slices of 71 data frames received;" \
    "vantrel-ota.exe exit status $status: $(tail -n 1 flash.txt)"
check "vantrel-ota.exe gives up with the timeout status (5)" test "$status" -eq 5

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
