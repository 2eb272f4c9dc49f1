#!/usr/bin/env bash
# Set up, build and run every test: the normal build, again under
# AddressSanitizer+UndefinedBehaviorSanitizer, and the tests that cross
# threads under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/services.sh

vx_install_deps
trap vx_stop_services EXIT

JOBS=$(nproc)
build() { # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

vx_start_services

status=0
build build
(cd build && ctest --output-on-failure -j "$JOBS") || status=1

build build-asan -DVX_SANITIZE=address -DVX_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$JOBS") || status=1

build build-tsan -DVX_SANITIZE=thread -DVX_BUILD_BENCH=OFF
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --output-on-failure -j "$JOBS" -L threads) || status=1

if ((status)); then
    echo "test.sh: FAILED" >&2
else
    echo "test.sh: all suites passed"
fi
exit $status
