#!/usr/bin/env bash
# Set up, build and start the analyzer on the user's own desktop and sound
# server. Installs only what building and running the programs takes (never
# a sound server), and checks the display and the sound server first, so
# that a missing one is said within seconds, not after the build.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
source scripts/checks.sh

vx_check_display || exit 1
vx_check_sound_server || exit 1

vx_install_deps "${VX_RUN_PACKAGES[@]}"
vx_check_sound_server || exit 1 # now with pactl, if it only just came

# Only the programs. A build folder configured before (by test.sh, say) is
# reused as it is, so its other targets are not thrown away.
if [[ ! -f build/CMakeCache.txt ]]; then
    cmake -S . -B build -G Ninja -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF
fi
cmake --build build --target vxsound vxhost vxanalyze

exec build/bin/vxsound "$@"
