#!/usr/bin/env bash
# Redraws the pictures of the tool at work in docs/ (or the folder given) on a
# virtual display: an OTA upgrade to the simulated device, a package build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target vantrel-screenshots
xvfb-run -a -s "-screen 0 1280x800x24" build/release/tools/screenshots/vantrel-screenshots \
    "${1:-docs}" build/release/tools/ota_device_sim/vantrel-device-sim
