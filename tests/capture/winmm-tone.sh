#!/usr/bin/env bash
# Plays a 440 Hz tone of peak 11993 into the private sound server's null
# sink and runs, under Wine, either the ring's tests over wave input
# ("ring EXE") or the probe by the monitor's name and number ("probe EXE").
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
cleanup() {
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
    timeout 120 wine "$exe" >"$scratch/out" 2>&1 || status=$?
    tr -d '\r' <"$scratch/out"
    ((status == 0)) || exit $status
    if grep -q '^\[  SKIPPED \]' "$scratch/out"; then
        exit 77
    fi
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
        # (43 a second, less the start-up), and the tone's peak.
        line=$(grep -E "^$monitor \| blocks [0-9]+ \| peak [0-9]+\$" "$scratch/out.txt" | tail -n 1)
        [[ -n $line ]] || fail "--device $device: no read-out line"
        read -r blocks peak < <(sed -E 's/.*blocks ([0-9]+) \| peak ([0-9]+)/\1 \2/' <<<"$line")
        echo "--device $device: $line"
        ((blocks >= 60 && blocks <= 140)) || fail "--device $device: $blocks blocks in 3 s"
        ((peak >= 11873 && peak <= 12113)) || fail "--device $device: peak $peak"
    done
    ;;
*)
    echo "usage: $0 ring|probe EXE" >&2
    exit 2
    ;;
esac
