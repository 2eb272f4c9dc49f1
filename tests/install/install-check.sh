#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop and a
# host integrator get: every file in its place, the launcher and metainfo
# accepted by their validators, manual pages that render without warnings,
# icons of the size their folder says, and a C host that compiles against
# the header through pkg-config and works on a record.
# Usage: install-check.sh BUILD_DIR HOST_C. Exit 77: a tool is missing.
set -euo pipefail
build=$1
host_c=$2
for tool in desktop-file-validate appstreamcli man file pkg-config cc; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

prefix=$(mktemp -d /tmp/vx-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
bad() { echo "FAIL: $*" >&2; fail=1; }

id=org.corvane.AudioAnalyzer
share=$prefix/share
for f in bin/vxsound bin/vxhost bin/vxanalyze bin/vxbridge \
    lib/vamp/corvane.so lib/vamp/corvane.cat share/systemd/user/vxbridge.service \
    share/corvane-audio-analyzer/Source-Images/Glyphs/AudioLevel.bmp \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg \
    share/man/man1/vxsound.1.gz share/man/man1/vxhost.1.gz share/man/man1/vxanalyze.1.gz share/man/man1/vxbridge.1.gz \
    share/doc/corvane-audio-analyzer/copyright share/doc/corvane-audio-analyzer/changelog.gz \
    include/vxsoundmap.h share/pkgconfig/vxsoundmap.pc; do
    [[ -f $prefix/$f ]] || bad "not installed: $f"
done

desktop=$share/applications/$id.desktop
desktop-file-validate "$desktop" || bad "desktop-file-validate: $desktop"
grep -qx 'Categories=AudioVideo;Audio;' "$desktop" || bad "launcher categories"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" >/dev/null ||
    bad "appstreamcli validate: $(appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" 2>&1)"

# A scratch prefix is not /usr: the user unit goes where systemd looks
# for a per-user install (~/.local/share/systemd/user) and names the
# program of this prefix.
unit=$share/systemd/user/vxbridge.service
[[ -e $prefix/lib/systemd/user/vxbridge.service ]] && bad "user unit in lib/systemd/user for the prefix $prefix"
if [[ -f $unit ]]; then
    exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
    [[ $exec_start == "$prefix/bin/vxbridge "* ]] || bad "user unit: ExecStart=$exec_start"
fi

version=$(sed -n 's/^Version: //p' "$share/pkgconfig/vxsoundmap.pc")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || bad "vxsoundmap.pc: version '$version'"
for page in "$share"/man/man1/*; do
    [[ $page == *.1.gz ]] || bad "manual page not gzipped: $(basename "$page")"
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || bad "man $(basename "$page"): $warnings"
    zgrep -q '@[A-Z_]*@' "$page" && bad "man $(basename "$page"): unreplaced @VARIABLE@"
    zgrep -qF "\"Corvane Audio Analyzer $version\"" "$page" || bad "man $(basename "$page"): not of version $version"
done
for tool in vxhost vxanalyze vxbridge; do
    out=$("$prefix/bin/$tool" --version 2>&1) || bad "$tool --version failed"
    [[ $out == *"$version"* ]] || bad "$tool --version says '$out', the project is $version"
done

for size in 16 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$id.png
    file "$png" | grep -q "PNG image data, $size x $size," || bad "icon $size: $(file "$png")"
done

export PKG_CONFIG_PATH=$prefix/share/pkgconfig
# shellcheck disable=SC2046 # the flags are words
cc -Wall -Wextra -Werror -o "$prefix/host" "$host_c" \
    $(pkg-config --cflags vxsoundmap) $(pkg-config --libs vxsoundmap) || bad "C host does not compile"
if [[ -x $prefix/host ]]; then
    out=$("$prefix/host" "/vx-install-check-$$") || bad "C host failed"
    [[ $out == "1 1234.5 0" ]] || bad "C host printed '$out'"
fi

"$prefix/bin/vxanalyze" --help >/dev/null || bad "installed vxanalyze does not run"

((fail == 0)) && echo "install tree OK"
exit $fail
