#!/usr/bin/env bash
# Saves pictures of the main window and the serial settings form, drawn on a
# virtual display, into docs/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target vantrel-screenshots
xvfb-run -a -s "-screen 0 1280x800x24" build/release/tools/screenshots/vantrel-screenshots "${1:-docs}"
