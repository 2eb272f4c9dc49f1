#!/usr/bin/env bash
# The analyzer for Windows, vxsound.exe, under Wine as a host and a user
# meet it, started from portable folders (the program, its picture and a
# VxSound.ini that chooses the null sink's monitor) on a segment of its own:
#   - a 120 BPM click track played into the sink sets Trig at each click;
#     vxhost watch, the host, takes and counts them;
#   - host writes reach the window within a refresh tick (vx_winehost
#     adopt) and the settings the host left are saved at the close;
#   - vxhost close ends it without a question, AnalyzerActive goes to 0;
#   - keys typed into its window reach the host's key target (vxhost keys)
#     with the forwarded codes;
#   - a second start on the same segment says that an analyzer runs, brings
#     the first one's window to the front, leaves the record alone and ends
#     with status 1;
#   - a missing picture and a failing device give their boxes;
#   - a screenshot with sound playing (vxsound-wine-sound.png in OUT_DIR),
#     and the display areas on silent input pixel for pixel against the
#     Linux program's (vxsound-wine.png, vxsound-linux.png), when the Linux
#     build is there ($VX_LINUX_BIN, default SOURCE_DIR/build/bin).
# Usage: vxsound-windows.sh VXSOUND.EXE VXHOST.EXE VX_WINEHOST.EXE
#        VXSOUND-PROBE.EXE SOURCE_DIR OUT_DIR
# (Wine's prefix, DISPLAY and the private sound server from the
# environment). Exit 77 when one of them or a tool is missing.
set -u
vxsound=$1 vxhost=$2 winehost=$3 probe=$4 src=$5 out=$6
linux_bin=${VX_LINUX_BIN:-$src/build/bin}
caption="Corvane Audio Analyzer"
monitor="Monitor of Null Output"
if [[ -z ${DISPLAY:-} || -z ${WINEPREFIX:-} || -z ${VX_TEST_SINK:-} ]] || ! pactl info >/dev/null 2>&1; then
    echo "vxsound-windows: needs DISPLAY, WINEPREFIX and the private sound server: skipped"
    exit 77
fi
for tool in xdotool xwininfo import convert compare sox paplay; do
    command -v $tool >/dev/null || { echo "vxsound-windows: no $tool (scripts/deps.sh): skipped"; exit 77; }
done
work=$(mktemp -d /tmp/vx-winsound.XXXXXX)
segment=VXWINSOUND$$
linux_segment=VXLINSOUND$$
pids=()
# mine PID: a process this script started that still runs (an ended one's
# number may have gone to another process meanwhile).
mine() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }  # the fields after the name: state, parent, ...
    [[ ${stat%% *} != Z && ${stat#* } == "$$ "* ]]
}
# Wine's processes may not end on SIGTERM.
cleanup() {
    local p
    for p in "${pids[@]}"; do mine "$p" && kill -KILL "$p"; done
    wait 2>/dev/null
    rm -f "/dev/shm/$linux_segment"
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
passed=0 failed=0
ok() { echo "ok: $*"; passed=$((passed + 1)); }
bad() { echo "FAILED: $*"; failed=$((failed + 1)); }
# The end: the plain count line, and the status.
finish() {
    echo "vxsound-windows: $passed passed, $failed failed"
    ((failed == 0))
    exit $?
}
# Nothing after this step can run.
fatal() { bad "$*"; finish; }
# shellcheck source=../common/wine-script.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/wine-script.sh"
ended() { ! mine "$1"; }
# end_of PID SECONDS: its exit status once it ended, 124 when it did not.
end_of() {
    within "$2" ended "$1" || return 124
    wait "$1"
}
# The host's view: vxhost watch prints the record ten times a second and
# takes the trigs; the last line's FIELD (active, trigs).
watched() { lines "$work/watch" | grep ' bands=' | tail -n 1 | sed -n "s/.* $1=\([0-9]*\) .*/\1/p"; }
active_is() { [[ $(watched active) == "$1" ]]; }
trigs_at_least() { (($(watched trigs) >= $1)); }

# portable FOLDER [picture]: a scratch copy of the program (and its picture)
# with the settings file $work/FOLDER.ini beside it.
portable() {
    mkdir -p "$work/$1"
    cp "$vxsound" "$work/$1/vxsound.exe"
    if [[ ${2:-} == picture ]]; then
        mkdir -p "$work/$1/Source-Images/Glyphs"
        cp "$src/Source-Images/Glyphs/AudioLevel.bmp" "$work/$1/Source-Images/Glyphs/"
    fi
    cp "$work/$1.ini" "$work/$1/VxSound.ini"
}
# start FOLDER [NAME=VALUE...]: the analyzer of that folder on the segment;
# its output in $work/$LOG.out (LOG defaults to FOLDER).
analyzer=
start() {
    local folder=$1
    shift
    env VX_SEGMENT_NAME=$segment "$@" wine "$work/$folder/vxsound.exe" >"$work/${LOG:-$folder}.out" 2>&1 &
    analyzer=$!
    pids+=("$analyzer")
}
window_id() { xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | head -n 1; }
# shot FILE: the analyzer's window (its X window, without the frame).
shot() {
    local wid X Y W H
    wid=$(window_id) && [[ -n $wid ]] || return 1
    eval "$(xwininfo -id "$wid" | sed -n 's/^ *Absolute upper-left \([XY]\): *\(-*[0-9]*\)$/\1=\2/p
        s/^ *Width: *\([0-9]*\)$/W=\1/p; s/^ *Height: *\([0-9]*\)$/H=\1/p')"
    [[ -n ${H:-} ]] && import -window root -crop "${W}x$H+$X+$Y" +repage -depth 8 "$1" 2>/dev/null
}
# steady_shot FILE: a shot that the next one repeats exactly (silent input:
# nothing moves once the displays have been drawn).
steady_shot() {
    shot "$work/a.png" || return 1
    within 5 shot "$work/b.png" || return 1
    [[ $(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1) == 0 ]] && mv "$work/b.png" "$1"
}
play() { # FILE: into the sink, in the background; $player is its pid
    paplay --device="$VX_TEST_SINK" "$1" &
    player=$!
    pids+=("$player")
}

# ---- the device list as Wine gives it -------------------------------------
timeout 120 wine "$probe" --seconds 1 --device "No Such Input" >"$work/devices" 2>/dev/null
number=$(lines "$work/devices" | sed -n "s/^device \([0-9]*\): $monitor\$/\1/p" | head -n 1)
if [[ -z $number ]]; then
    echo "vxsound-windows: Wine lists no input \"$monitor\": skipped"
    exit 77
fi
card=$((number + 1))  # SoundCardNo 0 is the default input, k device k - 1
echo "vxsound-windows: $monitor is device $number, SoundCardNo=$card"

# Settings of the first run: design size and layout (the panels' splits
# measured from the right and bottom edges), the equalizer and the time
# line shown, keys passed, everything saved at the close.
cat >"$work/app.ini" <<EOF
[VxSound]
SoundCardNo=$card
UseFFT=1
ShowInput=2
RunMinimized=0
StayOnTop=1
AutoSaveChanges=1
PassKeys=1
FormLeft=40
FormTop=40
FormWidth=305
FormHeight=333
HSplitPos=154
VSplitPos=295
EOF
portable app picture

# ---- start, with the host first on the segment ----------------------------
wine "$vxhost" --segment "$segment" watch --plain >"$work/watch" 2>&1 &
pids+=($!)
start app
within 120 active_is 1 || fatal "the analyzer never set AnalyzerActive: $(lines "$work/app.out")"
ok "started from a portable folder; AnalyzerActive = 1"
within 60 eval '[[ -n $(window_id) ]]' || fatal "no window \"$caption\" on the display"

# ---- trigs at each click ---------------------------------------------------
# AnalyzerActive comes before the device is opened, which takes Wine
# seconds: a tone is played until the record's level shows it, and the
# clicks follow once the level is back at 0 (the tone's trig taken).
sox -n -r 44100 -c 2 -b 16 "$work/tone.wav" synth 0.3 sine 1000 vol 0.3
level_since() { lines "$work/watch" | tail -n +"$1" | grep -q "^level=$2 "; }
heard() {
    local from
    from=$(lines "$work/watch" | wc -l)
    paplay --device="$VX_TEST_SINK" "$work/tone.wav" && within 3 level_since "$from" '[0-9.]*[1-9][0-9.]*'
}
within 120 heard || fatal "the analyzer never showed a level for a tone played into the sink"
within 10 eval 'level_since "$(lines "$work/watch" | wc -l)" 0\\.0' || fatal "the level did not fall back to 0"
# 120 BPM: 20 clicks of 10 ms, 2 kHz, after half a second of silence.
clicks=20
sox -n -r 44100 -c 2 -b 16 "$work/clicks.wav" synth 0.01 sine 2000 vol 0.6 pad 0 0.49 repeat $((clicks - 1)) pad 0.5 0
before=$(watched trigs)
play "$work/clicks.wav"
within 60 ended "$player"
# The last click's trig is taken within a poll or two of the watch.
within 5 trigs_at_least $((before + clicks))
taken=$(($(watched trigs) - before))
if ((taken * 10 >= clicks * 9 && taken <= clicks)); then
    ok "$taken trigs taken for $clicks clicks"
else
    bad "$taken trigs taken for $clicks clicks"
fi

# ---- a screenshot with sound playing -----------------------------------------
sox -n -r 44100 -c 2 -b 16 "$work/noise.wav" synth 12 pinknoise vol 0.3
sox -n -r 44100 -c 2 -b 16 "$work/beat.wav" synth 0.05 sine 1000 vol 0.9 pad 0 0.45 repeat 23
sox -m "$work/noise.wav" "$work/beat.wav" "$work/music.wav"
before=$(watched trigs)
play "$work/music.wav"
# Six beats fill the time line and the tempo.
if within 30 trigs_at_least $((before + 6)) && shot "$out/vxsound-wine-sound.png"; then
    ok "screenshot with sound: $out/vxsound-wine-sound.png"
else
    bad "no screenshot with sound (trigs $(watched trigs), before $before)"
fi
mine "$player" && kill "$player"
wait "$player" 2>/dev/null

# ---- host writes adopted -----------------------------------------------------
if wine "$winehost" adopt "$segment" >"$work/adopt" 2>&1; then
    ok "host writes adopted: $(lines "$work/adopt" | grep median)"
else
    bad "host writes: $(lines "$work/adopt")"
fi

# ---- keys to the host's key target -----------------------------------------
wine "$vxhost" keys >"$work/keys" 2>&1 &
keys=$!
pids+=("$keys")
keyed() { lines "$work/keys" | grep -c "wParam=$1 "; }
# type_keys XDOTOOL-COMMANDS...: into the analyzer's window, focused first.
type_keys() { timeout 10 xdotool windowactivate --sync "$(window_id)" >/dev/null 2>&1 && xdotool "$@"; }
# A key typed before the host's window is up goes nowhere: type z until one
# arrives.
z_arrives() { type_keys key z && within 3 eval '(($(keyed 0x5a) > 0))'; }
if within 90 z_arrives; then
    # Only what follows the z's, without lParam and names.
    within 5 eval '(($(keyed 0x5a) % 2 == 0))'
    from=$(lines "$work/keys" | wc -l)
    # Modifiers held and released one by one: xdotool's shift+a releases
    # Shift before A.
    type_keys key a keydown shift key a keyup shift keydown ctrl key b keyup ctrl key Scroll_Lock key x
    within 20 eval '(($(keyed 0x58) >= 2))'
    got=$(lines "$work/keys" | tail -n +$((from + 1)) | sed -E 's/^(WM_[A-Z]+ wParam=0x[0-9a-f]+).*/\1/')
    expected="WM_KEYDOWN wParam=0x41
WM_KEYUP wParam=0x41
WM_KEYDOWN wParam=0x110
WM_KEYDOWN wParam=0x141
WM_KEYUP wParam=0x141
WM_KEYUP wParam=0x10
WM_KEYDOWN wParam=0x211
WM_KEYDOWN wParam=0x242
WM_KEYUP wParam=0x242
WM_KEYUP wParam=0x11
WM_KEYDOWN wParam=0x58
WM_KEYUP wParam=0x58"
    if [[ $got == "$expected" ]]; then
        ok "keys forwarded: a, Shift+A, Ctrl+B, not Scroll Lock"
    else
        bad "keys forwarded:"$'\n'"$got"$'\n'"expected:"$'\n'"$expected"
    fi
else
    bad "no key reached the host's key target: $(lines "$work/keys")"
fi
mine "$keys" && kill -INT "$keys"
end_of "$keys" 20 >/dev/null

# ---- a second start ----------------------------------------------------------
wine "$vxhost" --segment "$segment" dump >"$work/dump.before" 2>&1
timeout 20 xdotool windowminimize --sync "$(window_id)" >/dev/null 2>&1
# Whatever box it shows is answered.
wine "$winehost" box "already runs" 60 >"$work/box.second" 2>&1 &
box=$!
pids+=("$box")
first=$analyzer
LOG=second start app
second=$analyzer analyzer=$first
end_of "$second" 90
status=$?
wine "$vxhost" --segment "$segment" dump >"$work/dump.after" 2>&1
if ((status == 1)) && grep -qi "already runs" "$work/second.out" "$work/box.second"; then
    ok "a second start says an analyzer runs and ends with status 1: $(lines "$work/box.second")"
else
    bad "a second start: status $status, said: $(lines "$work/second.out") $(lines "$work/box.second")"
fi
if wine "$winehost" front 30 >"$work/front" 2>&1; then
    ok "the first analyzer's window came to the front"
else
    bad "after a second start: $(lines "$work/front")"
fi
if cmp -s "$work/dump.before" "$work/dump.after" && ! ended "$first" && active_is 1; then
    ok "the first runs on, its record untouched by the second"
else
    bad "after a second start the first $(ended "$first" && echo ended || echo runs); record changes:" \
        "$(diff "$work/dump.before" "$work/dump.after")"
fi
mine "$box" && kill -KILL "$box"
wait "$box" 2>/dev/null

# ---- the host's close ----------------------------------------------------------
if ! wine "$vxhost" close --timeout 20000 >"$work/close" 2>&1; then
    bad "vxhost close: $(lines "$work/close")"
fi
end_of "$analyzer" 60
status=$?
within 10 active_is 0
active=$(watched active)
missing=
for key in SoundCardNo=$card UseFFT=1 ShowInput=2 AutoSaveChanges=1 PassKeys=1 FormWidth= TrigDecay=9 TrigAggr=120 \
    EqualizerBand3=64 NoiseLevelSwitch=1 NoiseLevelValue=100 Gain=10; do
    lines "$work/app/VxSound.ini" | grep -q "^$key" || missing+=" $key"
done
if ((status == 0)) && [[ $active == 0 && -z $missing ]]; then
    ok "vxhost close ended it with status 0, AnalyzerActive = 0, the host's settings saved"
else
    bad "vxhost close: status $status, AnalyzerActive $active, not saved:$missing"
    lines "$work/app/VxSound.ini"
fi

# ---- the display areas against the Linux program's, on silent input ---------
# Real time with silence is a flat line through the level display; the
# spectrum shows no bars; the equalizer editor its flat bars in the middle.
# Both programs draw these from the same numbers at the same design size.
sed 's/^ShowInput=2/ShowInput=1/; s/^AutoSaveChanges=1/AutoSaveChanges=0/; /^PassKeys/d' "$work/app.ini" >"$work/silent.ini"
portable silent picture
start silent
if within 120 active_is 1 && within 60 steady_shot "$out/vxsound-wine.png"; then
    ok "screenshot on silent input: $out/vxsound-wine.png"
else
    bad "no steady screenshot of the analyzer on silent input"
fi
wine "$vxhost" close --timeout 20000 >/dev/null 2>&1
end_of "$analyzer" 60 >/dev/null
# The Linux program takes FormWidth and FormHeight as its client area, menu
# bar included, where Windows sizes the whole window: where its displays
# come out larger at the same settings, it runs again with the window and
# the splits grown by the difference, so that the displays have the same
# sizes and draw the same numbers.
linux_shot() { # SETTINGS: the Linux program's steady shot in vxsound-linux.png
    local linux
    rm -f "/dev/shm/$linux_segment"
    mkdir -p "$work/linux"
    cp "$1" "$work/linux/VxSound.ini"
    VX_SETTINGS_DIR=$work/linux VX_SEGMENT_NAME=$linux_segment QT_QPA_PLATFORM=xcb "$linux_bin/vxsound" \
        >"$work/linux.out" 2>&1 &
    linux=$!
    pids+=("$linux")
    linux_active() { [[ $(od -An -tu1 -j 2 -N 1 "/dev/shm/$linux_segment" 2>/dev/null | tr -d ' ') == 1 ]]; }
    within 60 linux_active && within 60 steady_shot "$out/vxsound-linux.png"
    local status=$?
    mine "$linux" && kill -TERM "$linux"
    end_of "$linux" 30 >/dev/null
    return $status
}
compare=$(dirname "$0")/compare-displays.sh
if [[ -x $linux_bin/vxsound && -f $out/vxsound-wine.png ]]; then
    sed "s/^SoundCardNo=.*/SoundCardNo=0/" "$work/silent.ini" >"$work/linux.ini"
    if linux_shot "$work/linux.ini"; then
        read -r w h _ < <(bash "$compare" regions "$out/vxsound-wine.png" | head -n 1 | tr 'x+' '  ')
        read -r lw lh _ < <(bash "$compare" regions "$out/vxsound-linux.png" | head -n 1 | tr 'x+' '  ')
        if [[ -n $w && -n $lw && "$w $h" != "$lw $lh" ]]; then
            echo "vxsound-windows: the level display with its label is ${w}x$h on Wine, ${lw}x$lh on Linux"
            awk -F= -v dw=$((w - lw)) -v dh=$((h - lh)) '
                $1 == "FormWidth" || $1 == "HSplitPos" { $2 += dw }
                $1 == "FormHeight" || $1 == "VSplitPos" { $2 += dh }
                { print $1 (NF > 1 ? "=" $2 : "") }' "$work/linux.ini" >"$work/linux-sized.ini"
            linux_shot "$work/linux-sized.ini"
        fi
    fi
    if [[ -f $out/vxsound-linux.png ]] && bash "$compare" "$out/vxsound-wine.png" "$out/vxsound-linux.png" "$work"; then
        ok "display areas as the Linux program draws them"
    else
        bad "display areas against the Linux program's (see $out/vxsound-wine.png, $out/vxsound-linux.png):" \
            "$(cat "$work/linux.out")"
    fi
else
    echo "vxsound-windows: no Linux build at $linux_bin: display areas not compared"
fi

# ---- the boxes: a missing picture, a failing device ------------------------
# box_run FOLDER TEXT STATUS [NAME=VALUE...]: the box that holds TEXT comes,
# with the program's caption, and is answered; the settings file stays as
# it was. STATUS: the exit status after the box, or "close" for a program
# that runs on until the host closes it.
box_run() {
    local folder=$1 text=$2 want=$3 said status
    shift 3
    start "$folder" "$@"
    said=$(wine "$winehost" box "$text" 120 2>&1 | tr -d '\r')
    if [[ $want == close ]]; then
        within 60 active_is 1
        wine "$vxhost" close --timeout 20000 >"$work/close" 2>&1
        want=0
    fi
    end_of "$analyzer" 60
    status=$?
    if [[ $said == "$caption|"* ]] && ((status == want)) && cmp -s "$work/$folder.ini" "$work/$folder/VxSound.ini"; then
        ok "$folder: the box \"${said#*|}\", status $status, settings left as they were"
    else
        bad "$folder: box \"$said\", status $status (wanted $want), output: $(lines "$work/$folder.out")"
    fi
}
printf '[VxSound]\nSoundCardNo=%s\nTrigDecay=5\nRunMinimized=0\n' "$card" >"$work/nopicture.ini"
portable nopicture
box_run nopicture "Cannot open file" close
cp "$work/nopicture.ini" "$work/nodevice.ini"
portable nodevice picture
# No sound server for it, and Wine's other sound drivers off: Wine lists
# no input at all.
box_run nodevice "Unspecified error" 1 PULSE_SERVER="unix:$work/no-server" \
    WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winealsa.drv,wineoss.drv=d"

finish
