#!/usr/bin/env bash
# Checks that the analyzer has somewhere to show its window and something
# to listen to, with what to do when not. Sourced by run.sh; uses only the
# shell, so it answers before any package is installed.

# A Wayland socket, or an X display whose socket (local) or port (TCP, as
# ssh -X gives) answers. A platform chosen through QT_QPA_PLATFORM is the
# user's decision and not checked.
vx_check_display() {
    [[ -n ${QT_QPA_PLATFORM:-} ]] && return 0
    if [[ -n ${WAYLAND_DISPLAY:-} ]]; then
        local sock=$WAYLAND_DISPLAY
        [[ $sock == /* ]] || sock=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$sock
        [[ -S $sock ]] && return 0
    fi
    if [[ -n ${DISPLAY:-} ]]; then
        local host=${DISPLAY%%:*} num=${DISPLAY#*:}
        num=${num%%.*}
        if [[ $num =~ ^[0-9]+$ ]]; then
            if [[ -z $host || $host == unix ]]; then
                [[ -S /tmp/.X11-unix/X$num ]] && return 0
            elif timeout 3 bash -c 'exec 3<>"/dev/tcp/$0/$1"' "$host" $((6000 + num)) 2>/dev/null; then
                return 0
            fi
        fi
    fi
    cat >&2 <<MSG
run.sh: no display answers (DISPLAY='${DISPLAY:-}', WAYLAND_DISPLAY='${WAYLAND_DISPLAY:-}').
run.sh: the analyzer is a desktop window. Run this from a terminal inside your
run.sh: desktop session (X11 or Wayland); over ssh, connect with 'ssh -X' so
run.sh: that DISPLAY is set; or start a virtual display, e.g.
run.sh:   Xvfb :5 & DISPLAY=:5 ./run.sh
MSG
    return 1
}

# pactl when it is there; otherwise the server's socket, since pactl comes
# with the packages this check runs before.
vx_check_sound_server() {
    if command -v pactl >/dev/null 2>&1; then
        pactl info >/dev/null 2>&1 && return 0
    else
        local server=${PULSE_SERVER:-unix:${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native}
        case $server in
            unix:*) [[ -S ${server#unix:} ]] && return 0 ;;
            /*) [[ -S $server ]] && return 0 ;;
            *) return 0 ;; # a network server: pactl will tell after the set-up
        esac
    fi
    cat >&2 <<MSG
run.sh: no sound server answers.
run.sh: the analyzer listens through PulseAudio, or through PipeWire's PulseAudio
run.sh: server. Start your desktop's one and run this again:
run.sh:   PipeWire:   systemctl --user start pipewire pipewire-pulse
run.sh:   PulseAudio: systemctl --user start pulseaudio   (or: pulseaudio --start)
run.sh: run.sh never installs a sound server: on a PipeWire desktop that would
run.sh: replace your sound system.
MSG
    return 1
}
