#!/usr/bin/env bash
# vxbridge benchmark: Trig = 1 to the OSC press at a UDP socket (median and
# worst of 1000 beats), and the bridge's CPU share while it idles for 30 s
# on a running analyzer (silence on the sink). Prints the figures beside
# the targets; exit status 0 when every target is met, 3 when one is
# missed, 1 when something failed. Run by hand from the repository root:
#
#     bench/bridge.sh [BUILD_DIR]      (default: build)
#
# Starts its own private sound server and session bus (the analyzer runs
# on Qt's offscreen platform) and stops everything it started by process id.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-build}
[[ $BUILD = /* ]] || BUILD=$PWD/$BUILD
BIN=$BUILD/bin
CPU_S=${VX_BENCH_SECONDS:-30}

# shellcheck source=../scripts/services.sh
source "$ROOT/scripts/services.sh"

SEGMENT=VXBENCH_BRIDGE_AN_$$
BENCH=bridge
# shellcheck source=analyzer.sh
source "$ROOT/bench/analyzer.sh"
bench_need "$BIN/vxsound" "$BIN/vxhost" "$BIN/vxbridge" "$BIN/vx_bridge_latency"
WORK=$(mktemp -d /tmp/vx-bench-bridge.XXXXXX)

trap bench_cleanup EXIT

vx_start_services
printf '[VxSound]\nAutoSaveChanges=0\nRunMinimized=0\n' >"$WORK/VxSound.ini"
bench_start_analyzer offscreen

echo "bridge: 1000 beats, then $CPU_S s idling on the analyzer (segment $SEGMENT)"
set +e
"$BIN/vx_bridge_latency" --bridge "$BIN/vxbridge" --cpu-segment "$SEGMENT" --cpu-seconds "$CPU_S"
rc=$?
set -e
exit $rc
