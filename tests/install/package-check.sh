#!/usr/bin/env bash
# Builds the Debian package from a configured build tree, installs it with
# apt as a user would, starts the installed analyzer as a non-root user on
# a private sound server, bus and virtual display of that user's own,
# closes it as a host does and checks that its settings landed in the
# user's ~/.config/corvane-audio-analyzer/VxSound.ini. Removes the package
# (and the user, if it made it) afterwards.
# Usage (as root): package-check.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)

# ---- the part that runs as the non-root user -------------------------------
if [[ ${1:-} == --as-user ]]; then
    source "$2/services.sh"
    wmclass_expected=$3
    vx_start_services || exit 1
    pid=""
    # A segment of this run's own, so that an analyzer the user runs on the
    # default segment is neither read nor written.
    export VX_SEGMENT_NAME=VXPKGCHECK$$
    finish() {
        [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
        rm -f "/dev/shm/$VX_SEGMENT_NAME"
        vx_stop_services
    }
    trap finish EXIT
    [[ -n ${DISPLAY:-} ]] || { echo "FAIL: no virtual display" >&2; exit 1; }
    # services.sh gives the servers a scratch home; the analyzer gets the
    # user's own, where its settings belong.
    export HOME=$VX_USER_HOME
    unset XDG_CONFIG_HOME VX_SETTINGS_DIR
    ini=$HOME/.config/corvane-audio-analyzer/VxSound.ini

    /usr/bin/vxsound >"$VX_RUNTIME/vxsound.log" 2>&1 &
    pid=$!
    # Ready when its window owns the bus name.
    deadline=$((SECONDS + 60))
    until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.corvane.vx.TVxSoundApp 2>/dev/null | grep -q 'boolean true'; do
        if ! kill -0 "$pid" 2>/dev/null || ((SECONDS > deadline)); then
            echo "FAIL: the installed analyzer did not come up:" >&2
            cat "$VX_RUNTIME/vxsound.log" >&2
            exit 1
        fi
        sleep 0.2
    done

    # The launcher's StartupWMClass is the class the window really has.
    wmclass=$(xprop -name "Corvane Audio Analyzer" WM_CLASS 2>&1 || true)
    if [[ $wmclass != *", \"$wmclass_expected\""* ]]; then
        echo "FAIL: window class is '$wmclass', the launcher says '$wmclass_expected'" >&2
        exit 1
    fi

    vxhost close --timeout 30000 || { echo "FAIL: vxhost close" >&2; exit 1; }
    deadline=$((SECONDS + 30))
    while kill -0 "$pid" 2>/dev/null; do
        ((SECONDS <= deadline)) || { echo "FAIL: the analyzer did not end after the close request" >&2; exit 1; }
        sleep 0.1
    done
    status=0
    wait "$pid" || status=$?
    pid=""
    ((status == 0)) || { echo "FAIL: the analyzer ended with status $status:" >&2; cat "$VX_RUNTIME/vxsound.log" >&2; exit 1; }
    if ! grep -q '^FormWidth=' "$ini" 2>/dev/null; then
        echo "FAIL: no settings in $ini:" >&2
        ls -la "$HOME" "$HOME/.config" >&2 || true
        cat "$VX_RUNTIME/vxsound.log" >&2
        exit 1
    fi
    echo "settings saved in $ini"
    exit 0
fi

# ---- the root part ----------------------------------------------------------------
if [[ $(id -u) -ne 0 ]]; then
    echo "package-check: SKIPPED, needs root (apt-get install, a test user)"
    exit 0
fi
build=$(cd "$1" && pwd)
if dpkg-query -W -f='${Status}' corvane-audio-analyzer 2>/dev/null | grep -q "install ok installed"; then
    echo "package-check: SKIPPED, corvane-audio-analyzer is installed on this machine and stays as it is"
    exit 0
fi
user=vxcheck
fail() { echo "package-check: FAIL: $*" >&2; exit 1; }

rm -f "$build"/corvane-audio-analyzer_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack"
deb=$(ls "$build"/corvane-audio-analyzer_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "package-check: $(basename "$deb"), Depends: $depends"
for lib in libqt6widgets6 libqt6dbus6 libpulse0 libsndfile1 libsamplerate0; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib"
done
[[ $depends =~ -dev([ ,]|$) ]] && fail "Depends names a -dev package"
[[ $depends =~ (^|[ ,])pulseaudio([ ,]|$) ]] && fail "Depends names the pulseaudio server"
# Debian's own package checks: no error, no warning.
if command -v lintian >/dev/null 2>&1; then
    lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 || true)
    if grep -q '^[EW]: ' <<<"$lintian_out"; then
        fail "lintian: $(grep '^[EW]: ' <<<"$lintian_out")"
    fi
    echo "package-check: lintian clean"
else
    fail "lintian is not installed (scripts/deps.sh installs it)"
fi
version=$(dpkg-deb -f "$deb" Version)

made_user=0
cleanup() {
    apt-get purge -y -qq corvane-audio-analyzer >/dev/null 2>&1 || true
    # The segment of the user's run, should its own clean-up not have run.
    find /dev/shm -maxdepth 1 -name 'VXPKGCHECK*' -user "$user" -delete 2>/dev/null || true
    if ((made_user)); then userdel -r "$user" >/dev/null 2>&1 || true; fi
    [[ -n ${scratch:-} ]] && rm -rf "$scratch"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install $deb"
for f in /usr/bin/vxsound /usr/bin/vxhost /usr/bin/vxanalyze /usr/bin/vxbridge /usr/lib/vamp/corvane.so \
    /usr/share/corvane-audio-analyzer/Source-Images/Glyphs/AudioLevel.bmp; do
    [[ -f $f ]] || fail "the package lacks $f"
done
# Every program says the package's version.
for tool in vxhost vxanalyze vxbridge; do
    out=$("/usr/bin/$tool" --version 2>&1) || fail "$tool --version"
    [[ $out == *"$version"* ]] || fail "$tool --version says '$out', the package is $version"
done
# The user unit is where the user's systemd looks for the package's units
# and starts the installed program.
unit=/usr/lib/systemd/user/vxbridge.service
[[ -f $unit ]] || fail "the package lacks $unit"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[[ $exec_start == "/usr/bin/vxbridge "* ]] || fail "$unit: ExecStart=$exec_start"
if command -v systemd-analyze >/dev/null 2>&1; then
    # A user manager's checks need a runtime folder; root has none.
    verify_run=$(mktemp -d /tmp/vx-verify.XXXXXX)
    verify=$(XDG_RUNTIME_DIR=$verify_run systemd-analyze --user --man=no verify "$unit" 2>&1) || {
        rm -rf "$verify_run"
        fail "systemd-analyze --user verify: $verify"
    }
    rm -rf "$verify_run"
fi
# Vamp hosts find the plugin on their default search path.
if command -v vamp-simple-host >/dev/null 2>&1; then
    env -u VAMP_PATH vamp-simple-host --list-ids 2>/dev/null | grep -qx "vamp:corvane:analyzer" ||
        fail "vamp-simple-host does not find the installed plugin"
fi

if ! id "$user" >/dev/null 2>&1; then
    useradd -m -s /bin/bash "$user"
    made_user=1
fi
home=$(getent passwd "$user" | cut -d: -f6)
rm -rf "$home/.config/corvane-audio-analyzer"
# The user may not read the checkout: its scripts go to a scratch folder.
scratch=$(mktemp -d /tmp/vx-package.XXXXXX)
cp "$repo/scripts/services.sh" "$0" "$scratch/"
chmod 755 "$scratch"
chmod 644 "$scratch"/*
wmclass=$(sed -n 's/^StartupWMClass=//p' /usr/share/applications/org.corvane.AudioAnalyzer.desktop)
runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin VX_USER_HOME="$home" \
    bash "$scratch/$(basename "$0")" --as-user "$scratch" "$wmclass" || fail "the installed program as $user"
[[ -e /usr/bin/VxSound.ini ]] && fail "settings were written beside the installed program"
echo "package-check: OK"
