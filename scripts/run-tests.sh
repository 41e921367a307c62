#!/bin/sh
# Sets up the machine, builds the program and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors) and runs all tests headless.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAVIMOR_SANITIZE=ON -DTAVIMOR_WERROR=ON -DTAVIMOR_BENCH=OFF
cmake --build build-tests
cd build-tests
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 "$@"
