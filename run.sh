#!/usr/bin/env bash
# Set up, build and start the program on the user's own sound server.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh

vx_install_deps
cmake -S . -B build -G Ninja
cmake --build build

if ! pactl info >/dev/null 2>&1; then
    echo "run.sh: no sound server answers (PulseAudio, or PipeWire with its PulseAudio server)." >&2
    echo "run.sh: start your desktop's sound server, then run this again." >&2
    exit 1
fi
exec build/bin/vxsound "$@"
