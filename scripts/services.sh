#!/usr/bin/env bash
# A private sound server with a null sink whose monitor is the default
# source, and a private session bus. Sourced by test.sh; everything
# started here is stopped by its process id in vx_stop_services.
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
