#!/usr/bin/env bash
# vxhost.exe under Wine against stand-ins in other processes (vx_standin):
# dump, set and watch on a record another process made, close to a stand-in
# analyzer window, keys posted by a stand-in analyzer.
# Usage: vxhost-windows.sh VXHOST.EXE VX_STANDIN.EXE (Wine's prefix and
# DISPLAY from the environment).
set -u
vxhost=$1 standin=$2
if [[ -z ${DISPLAY:-} ]]; then
    echo "vxhost-windows: no DISPLAY, Wine makes no windows: skipped"
    exit 77
fi
work=$(mktemp -d)
pids=()
# Left over only when a step failed; Wine's processes may not end on SIGTERM.
cleanup() {
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
    wait
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "vxhost-windows: $*" >&2; exit 1; }
# shellcheck source=../common/wine-script.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/wine-script.sh"
ended() { ! kill -0 "$1" 2>/dev/null; }
vxhost() { wine "$vxhost" "$@"; }

# dump, set and watch: the stand-in made the record and holds it.
segment=VXHOSTWIN$$
wine "$standin" analyzer $segment &
analyzer=$!
pids+=("$analyzer")
level_shown() { vxhost --segment $segment dump >"$work/dump" 2>&1 && lines "$work/dump" | grep -qx 'Level = 1234.5'; }
within 30 level_shown || fail "dump did not show the stand-in's record: $(cat "$work/dump")"
vxhost --segment $segment set UseFFT=1 TrigDecay=7 || fail "set failed"
vxhost --segment $segment dump >"$work/dump" || fail "dump failed"
lines "$work/dump" >"$work/dump.txt"
grep -qx 'UseFFT = 1' "$work/dump.txt" && grep -qx 'TrigDecay = 7' "$work/dump.txt" && grep -qx 'Level = 1234.5' "$work/dump.txt" ||
    fail "set did not reach the record: $(cat "$work/dump")"
vxhost --segment $segment watch --plain --count 2 >"$work/watch" || fail "watch failed"
[[ $(lines "$work/watch" | grep -c '^level=1234.5 ') == 2 ]] || fail "watch showed: $(cat "$work/watch")"

# close: the stand-in replies 0 and ends with status 0; then no window.
vxhost close --timeout 10000 >"$work/out" 2>&1 || fail "close: status $?: $(cat "$work/out")"
within 20 ended "$analyzer" || fail "the stand-in analyzer did not end"
wait "$analyzer" || fail "the stand-in analyzer did not get the close request (status $?)"
vxhost close --timeout 1000 >"$work/out" 2>&1
status=$?
[[ $status == 1 ]] && grep -q 'no analyzer window (TVxSoundApp)' "$work/out" ||
    fail "close without an analyzer: status $status: $(cat "$work/out")"

# keys: the lines of the keys posted to it; Ctrl+C ends it with status 0.
# Wine itself in the background, not a shell function: a background
# subshell would ignore the SIGINT.
wine "$vxhost" keys >"$work/keys" 2>"$work/keys.err" &
keys=$!
pids+=("$keys")
wine "$standin" press || fail "the stand-in could not forward keys (status $?)"
expected=$'WM_KEYDOWN wParam=0x141 lParam=0x001e0001 key=Shift+A\nWM_KEYUP wParam=0x41 lParam=0xc01e0001 key=A'
both_lines() { [[ $(lines "$work/keys") == "$expected" ]]; }
within 20 both_lines || fail "keys printed: $(cat "$work/keys" "$work/keys.err")"
kill -INT "$keys"
within 20 ended "$keys" || fail "keys did not end on Ctrl+C"
wait "$keys" || fail "keys ended with status $? on Ctrl+C: $(cat "$work/keys.err")"
