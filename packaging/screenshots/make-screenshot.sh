#!/usr/bin/env bash
# The metainfo's screenshot: the real analyzer at its usual size on the
# virtual display, with pink noise and a click every half second playing
# into the private sound server's null sink, the equalizer and the
# time-line shown. Run by hand from the repository root after a build:
#
#     packaging/screenshots/make-screenshot.sh [BUILD_DIR]   (default: build)
#
# Writes packaging/screenshots/main-window.png (the window with its frame).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${1:-build}
[[ $BUILD = /* ]] || BUILD=$PWD/$BUILD
BIN=$BUILD/bin
OUT=$ROOT/packaging/screenshots/main-window.png

# shellcheck source=../../scripts/services.sh
source "$ROOT/scripts/services.sh"
SEGMENT=VXSHOT_$$
BENCH=make-screenshot
# shellcheck source=../../bench/analyzer.sh
source "$ROOT/bench/analyzer.sh"
bench_need "$BIN/vxsound" "$BIN/vxhost" sox paplay xdotool import
WORK=$(mktemp -d /tmp/vx-shot.XXXXXX)
PLAYER=
trap '[[ -n $PLAYER ]] && kill $PLAYER 2>/dev/null; bench_cleanup' EXIT

vx_start_services
printf '[VxSound]\nFormLeft=40\nFormTop=40\nFormWidth=520\nFormHeight=420\nHSplitPos=300\nVSplitPos=300\nUseFFT=1\nShowInput=2\nRunMinimized=0\nAutoSaveChanges=0\n' \
    >"$WORK/VxSound.ini"
sox -n -r 44100 -c 2 -b 16 "$WORK/noise.wav" synth 30 pinknoise vol 0.3
sox -n -r 44100 -c 2 -b 16 "$WORK/clicks.wav" synth 0.05 sine 1000 vol 0.9 pad 0 0.45 repeat 59
sox -m "$WORK/noise.wav" "$WORK/clicks.wav" "$WORK/sound.wav"

bench_start_analyzer xcb
paplay -d "$VX_TEST_SINK" "$WORK/sound.wav" &
PLAYER=$!
# Twelve clicks, taken as a host takes them: the time-line is full and
# the tempo is locked.
trigs=0
for _ in $(seq 1 600); do
    if [[ $(record_byte $OFF_TRIG) == 1 ]]; then
        printf '\0' | dd of="/dev/shm/$SEGMENT" bs=1 seek=$OFF_TRIG conv=notrunc status=none
        trigs=$((trigs + 1))
        ((trigs >= 12)) && break
    fi
    sleep 0.05
done
((trigs >= 12)) || { echo "$BENCH: only $trigs trigs in 30 s" >&2; exit 1; }
window=$(xdotool search --pid "$ANALYZER_PID" --onlyvisible | tail -1)
import -window "$window" -frame "$OUT"
echo "$BENCH: wrote $OUT ($(identify -format '%wx%h' "$OUT"))"
