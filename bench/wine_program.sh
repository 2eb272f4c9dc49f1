#!/usr/bin/env bash
# The analyzer for Windows under Wine beside the Linux analyzer: both run
# at once on the virtual display, at the same size with the equalizer on
# and the time line shown, listening to the monitor of the same null sink
# while it plays music-like sound. Measures over 30 s each one's CPU time
# as a share of one core and its memory (peak VmRSS sampled each second,
# VmHWM), and what Wine's own processes of the prefix (wineserver and its
# services) spent meanwhile. Prints a table; exit status 0 when both
# analyzers meet the targets of whole_program.sh, 3 when one is missed, 1
# when something failed. Run by hand from the repository root:
#
#     bench/wine_program.sh [BUILD_DIR [WINDOWS_BUILD_DIR]]   (default: build build-win)
#
# Starts its own private sound server, session bus, Xvfb and Wine prefix,
# and stops everything it started by process id.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-build}
WINBUILD=${2:-build-win}
[[ $BUILD = /* ]] || BUILD=$PWD/$BUILD
[[ $WINBUILD = /* ]] || WINBUILD=$PWD/$WINBUILD
BIN=$BUILD/bin
WINBIN=$WINBUILD/bin
MEASURE_S=${VX_BENCH_SECONDS:-30}
WARMUP_S=3
TARGET_CPU_PCT=3
TARGET_RSS_MB=80

# shellcheck source=../scripts/services.sh
source "$ROOT/scripts/services.sh"
SEGMENT=VXBENCH_WINE_$$
BENCH=wine_program
# shellcheck source=analyzer.sh
source "$ROOT/bench/analyzer.sh"
bench_need "$BIN/vxsound" "$BIN/vxhost" "$WINBIN/vxsound.exe" "$WINBIN/vxhost.exe" "$WINBIN/vxsound-probe.exe" \
    wine wineboot wineserver sox paplay pactl Xvfb
WORK=$(mktemp -d /tmp/vx-bench-wine.XXXXXX)
PLAYER_PID=
WINE_PID=

export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    set +e
    if [[ -n $PLAYER_PID ]]; then
        kill "$PLAYER_PID" 2>/dev/null
        wait "$PLAYER_PID" 2>/dev/null
    fi
    if [[ -n $WINE_PID ]] && kill -0 "$WINE_PID" 2>/dev/null; then
        timeout 30 wine "$WINBIN/vxhost.exe" close --timeout 15000 >/dev/null 2>&1
        timeout 15 tail --pid="$WINE_PID" -f /dev/null
        kill -KILL "$WINE_PID" 2>/dev/null
        wait "$WINE_PID" 2>/dev/null
    fi
    if [[ -d $WINEPREFIX ]]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
        # The server's socket folder, named after the prefix's device and inode.
        rm -rf /tmp/wine-*/"$(printf 'server-%s-%x' "$(stat -c %D "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
    fi
    bench_cleanup
}
trap cleanup EXIT
trap 'exit 1' INT TERM

vx_start_services
[[ -n ${DISPLAY:-} ]] || { echo "$BENCH: no virtual display" >&2; exit 1; }
mkdir -p "$WINEPREFIX"
echo "$BENCH: a Wine prefix of its own"
wineboot -i >/dev/null 2>&1

# The sink's monitor by Wine's number for it; the Linux analyzer takes the
# default input, which the private server makes that monitor.
# (It ends with status 2 for the unknown name, after the list.)
number=$({ wine "$WINBIN/vxsound-probe.exe" --seconds 1 --device "No Such Input" 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^device \([0-9]*\): Monitor of Null Output$/\1/p' | head -n 1)
[[ -n $number ]] || { echo "$BENCH: Wine lists no \"Monitor of Null Output\"" >&2; exit 1; }
settings() {  # SoundCardNo X -> the settings file, the window at X
    printf '[VxSound]\nSoundCardNo=%s\nUseFFT=1\nShowInput=2\nRunMinimized=0\nFormLeft=%s\nFormTop=40\n' "$1" "$2"
    printf 'FormWidth=520\nFormHeight=420\nHSplitPos=300\nVSplitPos=300\nAutoSaveChanges=0\n'
}
settings 0 20 >"$WORK/VxSound.ini"
mkdir -p "$WORK/win/Source-Images/Glyphs"
cp "$WINBIN/vxsound.exe" "$WORK/win/"
cp "$ROOT/Source-Images/Glyphs/AudioLevel.bmp" "$WORK/win/Source-Images/Glyphs/"
settings $((number + 1)) 500 >"$WORK/win/VxSound.ini"

LEN=$((WARMUP_S + MEASURE_S + 15))
bench_make_music "$LEN" "$WORK/music.wav"

bench_start_analyzer xcb
VX_SEGMENT_NAME=$SEGMENT wine "$WORK/win/vxsound.exe" >"$WORK/wine.log" 2>&1 &
WINE_PID=$!
# Active once its record says so, as a host reads it.
wine_active() { wine "$WINBIN/vxhost.exe" --segment "$SEGMENT" dump 2>/dev/null | tr -d '\r' | grep -qx 'AnalyzerActive = 1'; }
for _ in $(seq 1 120); do
    wine_active && break
    kill -0 "$WINE_PID" 2>/dev/null || { echo "$BENCH: vxsound.exe ended at start-up:" >&2; cat "$WORK/wine.log" >&2; exit 1; }
    sleep 0.5
done
wine_active || { echo "$BENCH: vxsound.exe never became active" >&2; exit 1; }

CLK_TCK=$(getconf CLK_TCK)
ticks() {  # PID... -> utime + stime of those processes, all threads
    local pid stat f total=0
    for pid in "$@"; do
        stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
        stat=${stat##*) }  # the name may hold spaces; fields follow its ')'
        read -r -a f <<<"$stat"
        total=$((total + f[11] + f[12]))
    done
    echo $total
}
kb() { awk -v k="$2:" '$1 == k { print $2 }' "/proc/$1/status"; }
# Wine's own processes of this prefix: wineserver and the services it
# starts (every process here has the prefix in its environment).
wine_helpers() {
    local p comm
    for p in /proc/[0-9]*; do
        p=${p#/proc/}
        comm=$(cat "/proc/$p/comm" 2>/dev/null) || continue
        [[ $p != "$WINE_PID" && ($comm == wineserver* || $comm == *.exe) ]] || continue
        tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
    done
    return 0
}
helpers=$(wine_helpers | tr '\n' ' ')
[[ $(cat "/proc/$WINE_PID/comm") == vxsound.exe ]] || echo "$BENCH: warning: process $WINE_PID is $(cat "/proc/$WINE_PID/comm")" >&2

paplay -d "$VX_TEST_SINK" "$WORK/music.wav" &
PLAYER_PID=$!
sleep "$WARMUP_S"

echo "$BENCH: measuring for $MEASURE_S s (vxsound $ANALYZER_PID, vxsound.exe $WINE_PID, Wine's processes $helpers)"
t0=$(date +%s%N)
l0=$(ticks "$ANALYZER_PID") w0=$(ticks "$WINE_PID") h0=$(ticks $helpers)
peak_l=0 peak_w=0
for _ in $(seq 1 "$MEASURE_S"); do
    sleep 1
    for pid in "$ANALYZER_PID" "$WINE_PID"; do
        kill -0 "$pid" 2>/dev/null || { echo "$BENCH: analyzer $pid ended during the measurement" >&2; exit 1; }
    done
    rss=$(kb "$ANALYZER_PID" VmRSS) && ((rss > peak_l)) && peak_l=$rss
    rss=$(kb "$WINE_PID" VmRSS) && ((rss > peak_w)) && peak_w=$rss
done
l1=$(ticks "$ANALYZER_PID") w1=$(ticks "$WINE_PID") h1=$(ticks $helpers)
t1=$(date +%s%N)
hwm_l=$(kb "$ANALYZER_PID" VmHWM) hwm_w=$(kb "$WINE_PID" VmHWM)
kill -0 "$PLAYER_PID" 2>/dev/null || echo "$BENCH: warning: the music ended before the measurement did" >&2

pct() { awk -v d="$1" -v hz="$CLK_TCK" -v ns=$((t1 - t0)) 'BEGIN { printf "%.2f", 100 * d / hz / (ns / 1e9) }'; }
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v < t) ? "PASS" : "FAIL" }'; }
row() { printf '%-34s %12s %14s  %-8s %s %s\n' "$@"; }
cpu_l=$(pct $((l1 - l0))) cpu_w=$(pct $((w1 - w0))) cpu_h=$(pct $((h1 - h0)))
echo
row "figure" "vxsound" "vxsound.exe" "target" "Linux" "Wine"
row "CPU, % of one core ($MEASURE_S s)" "$cpu_l" "$cpu_w" "< $TARGET_CPU_PCT" "$(verdict "$cpu_l" $TARGET_CPU_PCT)" \
    "$(verdict "$cpu_w" $TARGET_CPU_PCT)"
row "  Wine's own processes, same time" "" "$cpu_h" "" "" ""
row "memory, peak VmRSS, MB" "$(mb $peak_l)" "$(mb $peak_w)" "< $TARGET_RSS_MB" \
    "$(verdict "$(mb $peak_l)" $TARGET_RSS_MB)" "$(verdict "$(mb $peak_w)" $TARGET_RSS_MB)"
row "memory, VmHWM, MB" "$(mb "$hwm_l")" "$(mb "$hwm_w")" "< $TARGET_RSS_MB" \
    "$(verdict "$(mb "$hwm_l")" $TARGET_RSS_MB)" "$(verdict "$(mb "$hwm_w")" $TARGET_RSS_MB)"

for v in "$cpu_l" "$cpu_w"; do [[ $(verdict "$v" $TARGET_CPU_PCT) == PASS ]] || exit 3; done
for v in "$hwm_l" "$hwm_w"; do [[ $(verdict "$(mb "$v")" $TARGET_RSS_MB) == PASS ]] || exit 3; done
exit 0
