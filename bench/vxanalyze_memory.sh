#!/usr/bin/env bash
# vxanalyze's memory over long input: peak resident memory (VmHWM) over
# one minute and over an hour of sound, in each output format. The sound
# (pink noise under a slow tremolo, so that there are trigs) comes from sox
# through a pipe, so no hour-long file is written. The hour may take no
# more than TARGET_MB above the minute: the rows go out as they come and
# only what the summary needs stays. Exit status 0 when met, 3 when not,
# 1 on a failure. Run by hand from the repository root:
#
#     bench/vxanalyze_memory.sh [BUILD_DIR]      (default: build)
#
# VX_BENCH_MINUTES sets the long run's length (default 60).
set -euo pipefail

BUILD=${1:-build}
[[ $BUILD = /* ]] || BUILD=$PWD/$BUILD
TOOL=$BUILD/bin/vxanalyze
LONG=${VX_BENCH_MINUTES:-60}
TARGET_MB=4

for need in "$TOOL" sox; do
    command -v "$need" >/dev/null 2>&1 || { echo "vxanalyze_memory: $need is missing" >&2; exit 1; }
done

# Peak resident memory in kB of vxanalyze over `minutes` of sound, with
# the options that follow. VmHWM only grows, so its last reading before
# the process ends is its peak.
peak_kb() {
    local minutes=$1
    shift
    local pipe pid hwm=0 now
    pipe=$(mktemp -u /tmp/vx-bench-mem.XXXXXX)
    mkfifo "$pipe"
    sox -q -n -r 44100 -c 1 -b 16 -t wav - synth $((minutes * 60)) pinknoise tremolo 2 100 2>/dev/null >"$pipe" &
    "$TOOL" "$@" /dev/stdin <"$pipe" >/dev/null &
    pid=$!
    rm -f "$pipe"
    while now=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) && [[ -n $now ]]; do
        hwm=$now
        sleep 0.05
    done
    wait "$pid" || { echo "vxanalyze_memory: vxanalyze $* failed" >&2; exit 1; }
    wait
    echo "$hwm"
}

status=0
printf '%-10s %12s %12s %10s\n' format "1 min (MB)" "$LONG min (MB)" growth
for format in "" --csv --json; do
    short=$(peak_kb 1 $format)
    long=$(peak_kb "$LONG" $format)
    growth=$(awk -v a="$short" -v b="$long" 'BEGIN { printf "%.1f", (b - a) / 1024 }')
    printf '%-10s %12.1f %12.1f %10s\n' "${format:-text}" "$(awk -v k="$short" 'BEGIN { print k / 1024 }')" \
        "$(awk -v k="$long" 'BEGIN { print k / 1024 }')" "$growth"
    if awk -v g="$growth" -v t="$TARGET_MB" 'BEGIN { exit !(g > t) }'; then
        status=3
    fi
done
echo "target: the $LONG-minute run at most $TARGET_MB MB above the 1-minute run"
exit $status
