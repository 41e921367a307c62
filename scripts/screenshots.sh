#!/bin/sh
# Retakes the pictures of the README (docs/screenshots) from the real program on a fresh demo
# database, offscreen. Options go to the tool: --size 1024x720 photographs the work windows in a
# main window of that size.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMOR_TESTS=OFF -DTAVIMOR_BENCH=OFF
cmake --build build --target screenshots
QT_QPA_PLATFORM=offscreen ./build/tools/screenshots/screenshots docs/screenshots "$@"
