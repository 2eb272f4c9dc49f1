#!/usr/bin/env bash
# A private sound server with a null sink whose monitor is the default
# source, a private session bus and a virtual display. Sourced by test.sh;
# everything started here is stopped by its process id in vx_stop_services.
# Tests that draw into the display (label "display") use DISPLAY, managed
# by openbox; the other window tests force Qt's offscreen platform
# themselves.
VX_SERVICE_PIDS=()
VX_SINK=vxtest

vx_start_services() {
    VX_RUNTIME=$(mktemp -d /tmp/vx-runtime.XXXXXX)
    chmod 700 "$VX_RUNTIME"
    mkdir -p "$VX_RUNTIME/home"
    export XDG_RUNTIME_DIR=$VX_RUNTIME
    export HOME=$VX_RUNTIME/home
    export VX_TEST_SINK=$VX_SINK

    dbus-daemon --session --nofork --nopidfile --address="unix:path=$VX_RUNTIME/bus" >/dev/null 2>&1 &
    VX_SERVICE_PIDS+=($!)
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$VX_RUNTIME/bus"

    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
        -L "module-native-protocol-unix auth-anonymous=1" \
        -L "module-null-sink sink_name=$VX_SINK rate=44100 channels=2" \
        -L module-always-sink >"$VX_RUNTIME/pulse.log" 2>&1 &
    VX_SERVICE_PIDS+=($!)
    local i
    for i in $(seq 1 100); do
        pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    if ! pactl info >/dev/null 2>&1; then
        echo "sound server did not start:" >&2
        cat "$VX_RUNTIME/pulse.log" >&2
        return 1
    fi
    pactl set-default-source "$VX_SINK.monitor"
    pactl set-default-sink "$VX_SINK"
    for i in $(seq 1 50); do
        [[ -S $VX_RUNTIME/bus ]] && break
        sleep 0.1
    done
    vx_start_display
}

# Xvfb on the first free display number from 90 up. Without Xvfb, DISPLAY
# stays unset and the display tests skip.
vx_start_display() {
    if ! command -v Xvfb >/dev/null 2>&1; then
        echo "services: no Xvfb, display tests will skip" >&2
        return 0
    fi
    local n
    for n in $(seq 90 140); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$VX_RUNTIME/xvfb.log" 2>&1 &
        # Another run may take the same number between the check and the
        # start: then this server exits and the next number is tried.
        if vx_await_ready $! test -S "/tmp/.X11-unix/X$n"; then
            export DISPLAY=":$n"
            vx_start_window_manager
            return 0
        fi
    done
    echo "services: Xvfb did not start, display tests will skip:" >&2
    cat "$VX_RUNTIME/xvfb.log" >&2
    return 0
}

# Openbox on the virtual display, so that the display tests see frames,
# placement and iconic states as a user's desktop gives them. Ready once
# it has set _NET_SUPPORTING_WM_CHECK on the root window. Without openbox
# the display runs bare and the window-manager tests skip.
vx_start_window_manager() {
    if ! command -v openbox >/dev/null 2>&1 || ! command -v xprop >/dev/null 2>&1; then
        echo "services: no openbox or xprop, window-manager tests will skip" >&2
        return 0
    fi
    local i
    # The display's socket may exist before the server answers.
    for i in $(seq 1 100); do
        xprop -root >/dev/null 2>&1 && break
        sleep 0.05
    done
    # Tried a few times: right after the server comes up a client may
    # still be refused.
    local try
    for try in 1 2 3; do
        openbox --sm-disable >"$VX_RUNTIME/openbox.log" 2>&1 &
        vx_await_ready $! vx_window_manager_running && return 0
    done
    echo "services: openbox did not start, window-manager tests will skip:" >&2
    cat "$VX_RUNTIME/openbox.log" >&2
    return 0
}

vx_window_manager_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# PID COMMAND...: waits up to 5 s for COMMAND to succeed while PID runs.
# Then PID is kept as a service; if it ended or never got ready it is
# stopped and the call fails.
vx_await_ready() {
    local pid=$1 i
    shift
    for i in $(seq 1 100); do
        "$@" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null && "$@"; then
        VX_SERVICE_PIDS+=("$pid")
        return 0
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return 1
}

vx_stop_services() {
    local pid
    for pid in "${VX_SERVICE_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${VX_SERVICE_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    VX_SERVICE_PIDS=()
    [[ -n ${VX_RUNTIME:-} ]] && rm -rf "$VX_RUNTIME"
}
