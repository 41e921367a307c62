#!/bin/sh
# Sets up the machine, builds the program and starts it on the embedded demo database.
# Extra arguments are passed to the program (for example another demo file).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMOR_TESTS=OFF -DTAVIMOR_BENCH=OFF
cmake --build build --target tavimor-complaints
exec ./build/src/shell/tavimor-complaints --demo "$@"
