#!/usr/bin/env bash
# Plays a 440 Hz tone of peak 11993 into the private sound server's null
# sink and runs, under Wine, either the ring's tests over wave input
# ("ring EXE") or the probe by the monitor's name and number ("probe EXE").
# The ring's tests also take away a sink of their own while recording its
# monitor.
# Exit 77: no private sound server, or Wine lists no monitor device.
set -euo pipefail
mode=$1 exe=$2
monitor="Monitor of Null Output"

if [[ -z ${VX_TEST_SINK:-} ]] || ! pactl info >/dev/null 2>&1; then
    echo "skipped: no private sound server (VX_TEST_SINK unset or no server answers)"
    exit 77
fi
scratch=$(mktemp -d /tmp/vx-winmm-tone.XXXXXX)
player=
module=
cleanup() {
    [[ -z $module ]] || pactl unload-module "$module" 2>/dev/null || true
    if [[ -n $player ]]; then
        kill "$player" 2>/dev/null || true
        wait "$player" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

sox -n -r 44100 -c 2 -t wav "$scratch/tone.wav" synth 90 sine 440 vol 0.366
paplay --device="$VX_TEST_SINK" "$scratch/tone.wav" &
player=$!

# A probe run: its output in $scratch/out, its status returned.
probe() {
    local status=0
    timeout 60 wine "$exe" "$@" >"$scratch/out" 2>"$scratch/err" || status=$?
    tr -d '\r' <"$scratch/out" >"$scratch/out.txt"
    return $status
}
fail() {
    echo "FAILED: $*"
    cat "$scratch/out.txt" "$scratch/err"
    exit 1
}

case $mode in
ring)
    status=0
    timeout 120 wine "$exe" --gtest_filter=-*GoesAway* >"$scratch/out" 2>&1 || status=$?
    tr -d '\r' <"$scratch/out"
    ((status == 0)) || exit $status
    if grep -q '^\[  SKIPPED \]' "$scratch/out"; then
        exit 77
    fi
    # A sink of this test's own, which Wine lists when it starts; unloaded
    # once the capture of its monitor has started.
    module=$(pactl load-module module-null-sink "sink_name=vxgone$$" \
        "sink_properties=device.description=VxGone$$" rate=44100 channels=2)
    VX_GONE_DEVICE="Monitor of VxGone$$" VX_GONE_DIR="Z:$scratch" \
        timeout 120 wine "$exe" --gtest_filter=*GoesAway* >"$scratch/gone.out" 2>&1 &
    gone=$!
    for _ in $(seq 1 600); do
        [[ -e $scratch/started ]] || ! kill -0 $gone 2>/dev/null && break
        sleep 0.05
    done
    pactl unload-module "$module"
    module=
    touch "$scratch/gone"
    status=0
    wait $gone || status=$?
    tr -d '\r' <"$scratch/gone.out"
    exit $status
    ;;
probe)
    probe --seconds 1 --device "No Such Input" && fail "an unknown name was taken"
    [[ $? == 2 ]] || fail "an unknown name did not end with status 2"
    grep -q "no input device is named \"No Such Input\"" "$scratch/err" || fail "no word on the unknown name"
    number=$(sed -n "s/^device \([0-9]*\): $monitor\$/\1/p" "$scratch/out.txt" | head -n 1)
    if [[ -z $number ]]; then
        echo "skipped: Wine lists no input \"$monitor\""
        exit 77
    fi
    for device in "$monitor" "$number"; do
        probe --seconds 3 --device "$device" || fail "--device $device ended with status $?"
        # The last second: the monitor's name, blocks at the real-time rate
        # (43 a second), and the tone's peak.
        grep -E "^$monitor \| blocks [0-9]+ \| peak [0-9]+\$" "$scratch/out.txt" | tail -n 2 >"$scratch/lines"
        (($(wc -l <"$scratch/lines") == 2)) || fail "--device $device: no read-out lines"
        read -r before after peak < <(sed -E 's/.*blocks ([0-9]+) \| peak ([0-9]+)/\1 \2/' "$scratch/lines" | tr '\n' ' ' |
            awk '{ print $1, $3, $4 }')
        echo "--device $device: $(tail -n 1 "$scratch/lines")"
        ((after - before >= 30 && after - before <= 56)) || fail "--device $device: $((after - before)) blocks in a second"
        ((peak >= 11873 && peak <= 12113)) || fail "--device $device: peak $peak"
    done
    ;;
*)
    echo "usage: $0 ring|probe EXE" >&2
    exit 2
    ;;
esac
