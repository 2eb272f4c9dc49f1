#!/usr/bin/env bash
# Whole-program benchmark: the real analyzer on a virtual display, the
# equalizer on and the time line shown, listening to a null sink that
# plays music-like sound. Measures over 30 s its CPU time as a share of
# one core and its resident memory, then, with the music stopped, the
# time from a click played into the sink to Trig = 1 in the record
# (vx_click_latency). Prints a table; exit status 0 when every target is
# met, 3 when one is missed, 1 when something failed. Run by hand from the
# repository root (it is not part of test.sh):
#
#     bench/whole_program.sh [BUILD_DIR]      (default: build)
#
# Starts its own private sound server, session bus and Xvfb, and stops
# everything it started by process id.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${1:-build}
[[ $BUILD = /* ]] || BUILD=$PWD/$BUILD
BIN=$BUILD/bin
MEASURE_S=${VX_BENCH_SECONDS:-30}
WARMUP_S=3
CLICKS=20

TARGET_CPU_PCT=3
TARGET_RSS_MB=80
TARGET_BEYOND_MS=46

# shellcheck source=../scripts/services.sh
source "$ROOT/scripts/services.sh"

SEGMENT=VXBENCH_$$
PLAYER_PID=
BENCH=whole_program
# shellcheck source=analyzer.sh
source "$ROOT/bench/analyzer.sh"
bench_need "$BIN/vxsound" "$BIN/vxhost" "$BIN/vx_click_latency" sox paplay pactl Xvfb
WORK=$(mktemp -d /tmp/vx-bench.XXXXXX)

cleanup() {
    set +e
    if [[ -n $PLAYER_PID ]]; then
        kill "$PLAYER_PID" 2>/dev/null
        wait "$PLAYER_PID" 2>/dev/null
    fi
    bench_cleanup
}
trap cleanup EXIT

vx_start_services
if [[ -z ${DISPLAY:-} ]]; then
    echo "whole_program: no virtual display" >&2
    exit 1
fi

# All three displays at a usable size, so that the drawing is measured too.
cat >"$WORK/VxSound.ini" <<'EOF'
[VxSound]
UseFFT=1
ShowInput=2
RunMinimized=0
FormLeft=40
FormTop=40
FormWidth=520
FormHeight=420
HSplitPos=300
VSplitPos=300
AutoSaveChanges=0
EOF

LEN=$((WARMUP_S + MEASURE_S + 7))
bench_make_music "$LEN" "$WORK/music.wav"

bench_start_analyzer xcb

paplay -d "$VX_TEST_SINK" "$WORK/music.wav" &
PLAYER_PID=$!
sleep "$WARMUP_S"

CLK_TCK=$(getconf CLK_TCK)
cpu_ticks() {  # utime + stime of the whole process (all threads)
    local stat
    stat=$(<"/proc/$ANALYZER_PID/stat")
    stat=${stat##*) }  # the name may hold spaces; fields follow its ')'
    read -r -a f <<<"$stat"
    echo $((f[11] + f[12]))  # fields 14 and 15 of the whole line
}
status_kb() {  # KEY -> value in kB from /proc/PID/status
    awk -v k="$1:" '$1 == k { print $2 }' "/proc/$ANALYZER_PID/status"
}
now_ns() { date +%s%N; }

echo "whole_program: measuring for $MEASURE_S s (analyzer pid $ANALYZER_PID, display $DISPLAY, sink $VX_TEST_SINK)"
trigs=0
ticks0=$(cpu_ticks)
t0=$(now_ns)
peak_rss=0
for _ in $(seq 1 "$MEASURE_S"); do
    sleep 1
    if ! kill -0 "$ANALYZER_PID" 2>/dev/null; then
        echo "whole_program: the analyzer ended during the measurement:" >&2
        cat "$WORK/vxsound.log" >&2
        ANALYZER_PID=
        exit 1
    fi
    rss=$(status_kb VmRSS)
    ((rss > peak_rss)) && peak_rss=$rss
    # A host takes trigs; count the seconds that had one, as a sign of life.
    if [[ $(record_byte $OFF_TRIG) == 1 ]]; then
        trigs=$((trigs + 1))
        printf '\0' | dd of="/dev/shm/$SEGMENT" bs=1 seek=$OFF_TRIG conv=notrunc status=none
    fi
done
ticks1=$(cpu_ticks)
t1=$(now_ns)
hwm=$(status_kb VmHWM)
kill -0 "$PLAYER_PID" 2>/dev/null || echo "whole_program: warning: the music ended before the measurement did" >&2

cpu_pct=$(awk -v d=$((ticks1 - ticks0)) -v hz="$CLK_TCK" -v ns=$((t1 - t0)) 'BEGIN { printf "%.2f", 100 * d / hz / (ns / 1e9) }')
rss_mb=$(awk -v k="$peak_rss" 'BEGIN { printf "%.1f", k / 1024 }')
hwm_mb=$(awk -v k="$hwm" 'BEGIN { printf "%.1f", k / 1024 }')

kill "$PLAYER_PID" 2>/dev/null || true
wait "$PLAYER_PID" 2>/dev/null || true
PLAYER_PID=
sleep 1

echo "whole_program: $CLICKS clicks into silence"
set +e
"$BIN/vx_click_latency" --segment "$SEGMENT" --sink "$VX_TEST_SINK" --clicks "$CLICKS" | tee "$WORK/clicks.txt"
click_rc=${PIPESTATUS[0]}
set -e
value() { sed -n "s/^$1=//p" "$WORK/clicks.txt"; }
server_ms=$(value server_latency_ms)
median_ms=$(value click_to_trig_median_ms)
worst_ms=$(value click_to_trig_worst_ms)
beyond_ms=$(value beyond_server_ms)
missed=$(value missed)

verdict() {  # VALUE TARGET -> PASS when VALUE < TARGET
    if [[ -z $1 ]]; then echo "FAIL"; return; fi
    awk -v v="$1" -v t="$2" 'BEGIN { print (v < t) ? "PASS" : "FAIL" }'
}
v_cpu=$(verdict "$cpu_pct" $TARGET_CPU_PCT)
v_rss=$(verdict "$rss_mb" $TARGET_RSS_MB)
v_hwm=$(verdict "$hwm_mb" $TARGET_RSS_MB)
v_beyond=$(verdict "$beyond_ms" $TARGET_BEYOND_MS)
[[ ${missed:-1} == 0 ]] || v_beyond=FAIL

echo
printf '%-36s %12s  %-12s %s\n' "figure" "measured" "target" "result"
printf '%-36s %12s  %-12s %s\n' "CPU, % of one core ($MEASURE_S s)" "$cpu_pct" "< $TARGET_CPU_PCT" "$v_cpu"
printf '%-36s %12s  %-12s %s\n' "resident memory, peak VmRSS, MB" "$rss_mb" "< $TARGET_RSS_MB" "$v_rss"
printf '%-36s %12s  %-12s %s\n' "resident memory, VmHWM, MB" "$hwm_mb" "< $TARGET_RSS_MB" "$v_hwm"
printf '%-36s %12s  %-12s %s\n' "sound server latency, median, ms" "${server_ms:-?}" "(measured)" ""
printf '%-36s %12s  %-12s %s\n' "click to Trig = 1, median, ms" "${median_ms:-?}" "" ""
printf '%-36s %12s  %-12s %s\n' "click to Trig = 1, worst of $CLICKS, ms" "${worst_ms:-?}" "" ""
printf '%-36s %12s  %-12s %s\n' "median beyond the server, ms" "${beyond_ms:-?}" "< $TARGET_BEYOND_MS" "$v_beyond"
printf '%-36s %12s\n' "seconds with a trig during music" "$trigs/$MEASURE_S"

if ((click_rc == 1 || click_rc == 2)); then
    echo "whole_program: the click measurement failed" >&2
    exit 1
fi
for v in "$v_cpu" "$v_rss" "$v_hwm" "$v_beyond"; do
    [[ $v == PASS ]] || exit 3
done
exit 0
