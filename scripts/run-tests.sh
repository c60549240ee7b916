#!/usr/bin/env bash
# Builds everything and runs every test: the core cross-built for Windows and
# run under wine, each fuzz target for a minute, then the whole suite in a
# normal build and again in an AddressSanitizer + UndefinedBehaviorSanitizer
# build. The native suites come last so that their summary closes the run.
set -euo pipefail
cd "$(dirname "$0")/.."
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 0700 "$XDG_RUNTIME_DIR"

scripts/windows-tests.sh
scripts/fuzz.sh 60

# Every part named: a build folder configured earlier without tests or
# without the window gets them back.
scripts/build.sh build -DPASSERELLE_TESTS=ON -DPASSERELLE_WINDOW=ON -DPASSERELLE_BENCH=ON
ctest --test-dir build --output-on-failure --no-tests=error -j "${JOBS:-2}"

scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPASSERELLE_SANITIZE=ON \
  -DPASSERELLE_TESTS=ON -DPASSERELLE_WINDOW=ON -DPASSERELLE_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-sanitize --output-on-failure --no-tests=error -j "${JOBS:-2}"
