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

for tool in "$BIN/vxsound" "$BIN/vxhost" "$BIN/vxbridge" "$BIN/vx_bridge_latency"; do
    if [[ ! -x $tool ]]; then
        echo "bridge: $tool is missing; build first (cmake --build $BUILD)" >&2
        exit 1
    fi
done

# shellcheck source=../scripts/services.sh
source "$ROOT/scripts/services.sh"

WORK=$(mktemp -d /tmp/vx-bench-bridge.XXXXXX)
SEGMENT=VXBENCH_BRIDGE_AN_$$
ANALYZER_PID=

cleanup() {
    set +e
    if [[ -n $ANALYZER_PID ]] && kill -0 "$ANALYZER_PID" 2>/dev/null; then
        "$BIN/vxhost" --segment "$SEGMENT" close >/dev/null 2>&1
        local i
        for i in $(seq 1 150); do
            kill -0 "$ANALYZER_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$ANALYZER_PID" 2>/dev/null && kill "$ANALYZER_PID"
        wait "$ANALYZER_PID" 2>/dev/null
    fi
    rm -f "/dev/shm/$SEGMENT"
    rm -rf "$WORK"
    vx_stop_services
}
trap cleanup EXIT

vx_start_services
printf '[VxSound]\nAutoSaveChanges=0\nRunMinimized=0\n' >"$WORK/VxSound.ini"
VX_SETTINGS_DIR=$WORK VX_SEGMENT_NAME=$SEGMENT QT_QPA_PLATFORM=offscreen \
    "$BIN/vxsound" >"$WORK/vxsound.log" 2>&1 &
ANALYZER_PID=$!
for _ in $(seq 1 300); do
    [[ $(od -An -tu1 -j 2 -N 1 "/dev/shm/$SEGMENT" 2>/dev/null | tr -d ' ') == 1 ]] && break
    if ! kill -0 "$ANALYZER_PID" 2>/dev/null; then
        echo "bridge: the analyzer ended at start-up:" >&2
        cat "$WORK/vxsound.log" >&2
        ANALYZER_PID=
        exit 1
    fi
    sleep 0.05
done

echo "bridge: 1000 beats, then $CPU_S s idling on the analyzer (segment $SEGMENT)"
set +e
"$BIN/vx_bridge_latency" --bridge "$BIN/vxbridge" --cpu-segment "$SEGMENT" --cpu-seconds "$CPU_S"
rc=$?
set -e
exit $rc
