#!/usr/bin/env bash
# Set up, build and run every test: the normal build with its tests, the
# install tree; the programs in Release and, as root, their Debian package
# installed and run as a user; the tests again under
# AddressSanitizer+UndefinedBehaviorSanitizer; the tests that cross
# threads under ThreadSanitizer; and the core cross-built for Windows, its
# tests run under Wine. Warnings are errors throughout.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/services.sh

vx_install_deps "${VX_RUN_PACKAGES[@]}" "${VX_TEST_PACKAGES[@]}" "${VX_WINDOWS_PACKAGES[@]}"
# The Wine prefix of the Windows stage, if it got that far.
VX_WINEPREFIX=
vx_stop_wine() {
    [[ -n $VX_WINEPREFIX ]] || return 0
    WINEPREFIX=$VX_WINEPREFIX wineserver -k 2>/dev/null || true
    WINEPREFIX=$VX_WINEPREFIX wineserver -w 2>/dev/null || true
    # Wine's server keeps its socket in /tmp/wine-*/server-DEV-INODE of
    # the prefix, and leaves it there.
    local server d
    server=$(printf 'server-%s-%x' "$(stat -c %D "$VX_WINEPREFIX")" "$(stat -c %i "$VX_WINEPREFIX")")
    for d in /tmp/wine-*/"$server"; do
        [[ -d $d ]] || continue
        rm -rf "$d"
        rmdir "$(dirname "$d")" 2>/dev/null || true
    done
    rm -rf "$VX_WINEPREFIX"
    VX_WINEPREFIX=
}
trap 'vx_stop_wine; vx_stop_services' EXIT

JOBS=$(nproc)
# ccache makes a second run cheap; the first run of a fresh clone gains
# nothing from it (every tree has its own flags).
# The private services give the tests a scratch HOME, so the cache's
# folder is fixed here, in the user's own.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
fi
stage() { echo "test.sh: $* ($(date +%T))"; }
# build DIR TARGETS -- CMAKE_ARGS...; TARGETS may be "all".
build() {
    local dir=$1 targets=()
    shift
    while [[ $1 != -- ]]; do targets+=("$1"); shift; done
    shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVX_WERROR=ON "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS" --target "${targets[@]}"
}
# The sanitizer trees build at -O1 with line tables only (-g1): reports
# keep their file:line stacks, and the trees build in half the time.
SANITIZER_FLAGS=(-DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG")

vx_start_services

status=0
stage "plain build and tests"
# run.sh may have configured build/ without tests: switch them on again.
build build all -- -DVX_BUILD_TESTS=ON -DVX_BUILD_BENCH=ON -DVX_SANITIZE=
(cd build && ctest --output-on-failure -j "$JOBS") || status=1

stage "Release build of the programs, the package"
build build-release all -- -DCMAKE_BUILD_TYPE=Release -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF
bash tests/install/package-check.sh build-release || status=1

stage "AddressSanitizer"
build build-asan all -- -DVX_SANITIZE=address -DVX_BUILD_TESTS=ON -DVX_BUILD_BENCH=OFF "${SANITIZER_FLAGS[@]}"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure -j "$JOBS" -LE install) || status=1

stage "ThreadSanitizer"
build build-tsan vx_threads_tests -- -DVX_SANITIZE=thread -DVX_BUILD_TESTS=ON -DVX_BUILD_BENCH=OFF "${SANITIZER_FLAGS[@]}"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --output-on-failure -j "$JOBS" -L threads) || status=1

stage "Windows cross build and tests under Wine"
build build-win all -- -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVX_BUILD_TESTS=ON
# Each program carries its runtime: it may import Windows' own DLLs only.
for exe in build-win/bin/*.exe; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z'); do
        case $dll in
        kernel32.dll | user32.dll | gdi32.dll | winmm.dll | comctl32.dll | shell32.dll | advapi32.dll | msvcrt.dll) ;;
        *) echo "test.sh: $exe imports $dll, which Windows does not ship" >&2; status=1 ;;
        esac
    done
done
# A private prefix: nothing of the user's Wine is used or changed, and
# Wine's server stops with the stage.
VX_WINEPREFIX=$(mktemp -d /tmp/vx-wine.XXXXXX)
(
    export WINEPREFIX=$VX_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # Wine's server, and the services that its first program starts, keep
    # that program's output open: started here, for the whole stage, they
    # hold no test's output, which ctest would wait for until they end.
    wineserver -p >/dev/null 2>&1
    wineboot -i >/dev/null 2>&1
    cd build-win && ctest --output-on-failure -j "$JOBS"
) || status=1
# The .zip and the installer, installed and uninstalled in the same prefix.
WINEPREFIX=$VX_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" bash tests/install/windows-package-check.sh build-win || status=1
vx_stop_wine

stage "done"
if ((status)); then
    echo "test.sh: FAILED" >&2
else
    echo "test.sh: all suites passed"
fi
exit $status
