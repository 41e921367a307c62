#!/bin/sh
# Builds the libFuzzer targets of tests/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each of them for the given number of seconds (60 by default).
# A crash, a hang (one input taking longer than 10 s), a leak or a sanitizer report fails the run;
# the input that caused it is kept in build-fuzz/artifacts/.
#
#   ./scripts/fuzz.sh              # 60 s per target (what CI runs)
#   ./scripts/fuzz.sh 1800         # a long session
#   ./scripts/fuzz.sh 600 fuzz_workbook
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift $(( $# > 0 ? 1 : 0 ))
targets=${*:-fuzz_workbook fuzz_handover fuzz_settings fuzz_datetext}
build=${TAVIMOR_FUZZ_BUILD:-build-fuzz}

if ! command -v clang++ >/dev/null; then
    echo "fuzz.sh: clang++ is missing (Debian: clang, libfuzzer-14-dev)" >&2
    exit 1
fi
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMOR_FUZZ=ON \
    -DTAVIMOR_SANITIZE=ON -DTAVIMOR_WERROR=OFF -DTAVIMOR_TESTS=OFF -DTAVIMOR_BENCH=OFF >/dev/null
cmake --build "$build" --target $targets

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
for target in $targets; do
    # The corpus grows in the build folder; the seeds in the repository stay as they are.
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target: $seconds s"
    log="$build/$target.log"
    status=0
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=3072 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    grep -v '^#[0-9].*\(NEW\|REDUCE\|pulse\)' "$log" | tail -40
    if [ "$status" -ne 0 ]; then
        echo "fuzz.sh: $target failed (exit $status); the input is in $build/artifacts/" >&2
        exit 1
    fi
done
