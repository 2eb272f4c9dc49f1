#!/usr/bin/env bash
# The Debian packages the project needs, one list per purpose, and their
# installation (only those missing). Sourced by run.sh and test.sh.
#
# VX_RUN_PACKAGES: what building and running the programs takes. Never a
# sound server: the user's own runs (PulseAudio, or PipeWire with its
# PulseAudio server), and installing pulseaudio beside pipewire-audio would
# make apt remove the user's sound system.
VX_RUN_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-wayland libpulse-dev libsndfile1-dev libsamplerate0-dev
    pulseaudio-utils
)
# VX_TEST_PACKAGES: the test suite, its private services (sound server,
# session bus, virtual display with a window manager), the benchmarks and
# the install and package checks.
VX_TEST_PACKAGES=(
    libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
    pulseaudio dbus xvfb xauth openbox x11-utils
    imagemagick xdotool sox locales ccache
    desktop-file-utils appstream dpkg-dev file man-db lintian
    liblo-tools liblo-dev libavahi-client-dev vamp-plugin-sdk vamp-examples
    qlcplus
)
# VX_WINDOWS_PACKAGES: the cross build for 64-bit Windows and its tests
# under Wine (test.sh only; run.sh builds for Linux). GoogleTest comes as
# sources and is built for the target. The package: the icon drawn from
# the launcher's SVG (rsvg-convert, icotool), the installer (makensis),
# and the check of the .zip (unzip) and of the programs' resources
# (wrestool).
VX_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix wine wine64 googletest
    librsvg2-bin icoutils nsis unzip
)

# vx_install_deps PACKAGE...: installs those not installed yet, with apt's
# own progress on the terminal.
vx_install_deps() {
    local missing=()
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    ((${#missing[@]})) || return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}
