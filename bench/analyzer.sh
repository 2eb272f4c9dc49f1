# The real analyzer for the benchmark scripts: started on the settings in
# $WORK/VxSound.ini and the segment $SEGMENT, closed the way a host closes
# it. Sourced after BIN, SEGMENT and BENCH (the script's name for its
# messages) are set; ANALYZER_PID holds the running analyzer's id.
ANALYZER_PID=

bench_need() {  # PROGRAM... -> exit 1 unless every one is there
    local tool
    for tool in "$@"; do
        if [[ $tool == */* ]]; then
            [[ -x $tool ]] || { echo "$BENCH: $tool is missing; build first" >&2; exit 1; }
        else
            command -v "$tool" >/dev/null || { echo "$BENCH: $tool is not installed" >&2; exit 1; }
        fi
    done
}

record_byte() {  # OFFSET -> decimal value, empty if the segment is not there
    od -An -tu1 -j "$1" -N 1 "/dev/shm/$SEGMENT" 2>/dev/null | tr -d ' '
}
OFF_ANALYZERACTIVE=2
OFF_TRIG=1299

# bench_make_music SECONDS FILE: music-like sound in stereo, made in $WORK:
# a kick on every beat at 120 BPM, a hi-hat on the off-beats, a slowly
# swelling chord and a bed of pink noise.
bench_make_music() {
    local len=$1 beats=$(($1 * 2)) fmt=(-r 44100 -c 1 -b 16)
    sox -n "${fmt[@]}" "$WORK/kick.wav" synth 0.15 sine 120-45 fade q 0.002 0.15 0.12 vol 0.8 \
        pad 0 0.35 repeat $((beats - 1))
    sox -n "${fmt[@]}" "$WORK/hat.wav" synth 0.04 whitenoise vol 0.25 highpass 6000 fade q 0.001 0.04 0.035 \
        pad 0.25 0.21 repeat $((beats - 1))
    sox -n -r 44100 -c 3 -b 16 "$WORK/chord3.wav" synth "$len" sine 220 sine 277.18 sine 329.63 tremolo 0.25 40
    sox "$WORK/chord3.wav" "$WORK/chord.wav" remix 1-3 vol 0.12
    sox -n "${fmt[@]}" "$WORK/noise.wav" synth "$len" pinknoise vol 0.05
    sox -m "$WORK/kick.wav" "$WORK/hat.wav" "$WORK/chord.wav" "$WORK/noise.wav" -c 2 "$2" trim 0 "$len" gain -n -1
}

bench_start_analyzer() {  # QT_PLATFORM -> returns once AnalyzerActive is 1
    VX_SETTINGS_DIR=$WORK VX_SEGMENT_NAME=$SEGMENT QT_QPA_PLATFORM=$1 \
        "$BIN/vxsound" >"$WORK/vxsound.log" 2>&1 &
    ANALYZER_PID=$!
    local i
    for i in $(seq 1 300); do
        [[ $(record_byte $OFF_ANALYZERACTIVE) == 1 ]] && return 0
        if ! kill -0 "$ANALYZER_PID" 2>/dev/null; then
            echo "$BENCH: the analyzer ended at start-up:" >&2
            cat "$WORK/vxsound.log" >&2
            ANALYZER_PID=
            exit 1
        fi
        sleep 0.05
    done
    echo "$BENCH: the analyzer never became active" >&2
    exit 1
}

bench_close_analyzer() {  # for the EXIT trap: asks to close, kills after 15 s
    [[ -n $ANALYZER_PID ]] && kill -0 "$ANALYZER_PID" 2>/dev/null || return 0
    "$BIN/vxhost" --segment "$SEGMENT" close >/dev/null 2>&1
    local i
    for i in $(seq 1 150); do
        kill -0 "$ANALYZER_PID" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$ANALYZER_PID" 2>/dev/null; then
        echo "$BENCH: the analyzer did not close; killing it" >&2
        kill "$ANALYZER_PID" 2>/dev/null
    fi
    wait "$ANALYZER_PID" 2>/dev/null
    local rc=$?
    ((rc == 0)) || echo "$BENCH: warning: the analyzer ended with status $rc" >&2
}

bench_cleanup() {  # for the EXIT trap: the analyzer, its segment, WORK, the services
    set +e
    bench_close_analyzer
    rm -f "/dev/shm/$SEGMENT"
    [[ -n ${WORK:-} ]] && rm -rf "$WORK"
    vx_stop_services
}
