#!/usr/bin/env bash
# Builds the Windows packages of a cross build tree and checks them as a
# user meets them: the .zip holds exactly the program folder, its texts
# with CR LF; the installer installs silently into Program Files with a
# Start-menu entry, the programs carry their icon and version, the
# installed host tool runs, the installed analyzer (on a display) keeps
# its settings in %APPDATA%, and the uninstaller removes the programs but
# leaves those settings.
# Usage: WINEPREFIX=<a private, booted prefix> windows-package-check.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
fail() { echo "windows-package-check: FAIL: $*" >&2; exit 1; }
[[ -n ${WINEPREFIX:-} && -d $WINEPREFIX/drive_c ]] || fail "needs WINEPREFIX, a private prefix made with wineboot"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=CorvaneAudioAnalyzer-$version-win64
rm -f "$build/$name.zip" "$build/$name.exe"
(cd "$build" && cpack -G "ZIP;NSIS" >windows-package.log 2>&1) || { cat "$build/windows-package.log" >&2; fail "cpack"; }

files=(vxsound.exe vxhost.exe Source-Images/Glyphs/AudioLevel.bmp README.txt LICENSE.txt)
expected=$(printf "$name/%s\n" "${files[@]}" | sort)
listed=$(unzip -Z1 "$build/$name.zip" | grep -v '/$' | sort)
[[ $listed == "$expected" ]] || fail "the .zip holds"$'\n'"$listed"$'\n'"instead of"$'\n'"$expected"
for txt in README.txt LICENSE.txt; do
    if unzip -p "$build/$name.zip" "$name/$txt" | grep -qv $'\r$'; then fail "$txt has lines without CR LF"; fi
done

wine "$build/$name.exe" /S || fail "the installer ended with status $?"
folders=$(wine cmd /c 'echo %ProgramFiles%^|%ProgramData%^|%APPDATA%' | tr -d '\r')
IFS='|' read -r program_files program_data appdata <<<"$folders"
root_win="$program_files\\Corvane Audio Analyzer"
root=$(winepath -u "$root_win")
lnk=$(winepath -u "$program_data\\Microsoft\\Windows\\Start Menu\\Programs\\Corvane Audio Analyzer\\Corvane Audio Analyzer.lnk")
[[ $root == */"Program Files/Corvane Audio Analyzer" ]] || fail "not the 64-bit Program Files: $root_win"
for f in "${files[@]}" Uninstall.exe; do
    [[ -f $root/$f ]] || fail "$f is not installed in $root_win"
done
for exe in vxsound.exe vxhost.exe; do
    resources=$(wrestool -l "$root/$exe")
    [[ $resources == *"--type=14 --name=1 "* && $resources == *"[type=version"* ]] || fail "$exe has no icon 1 or no version information"
done
grep -qaF 'Corvane Audio Analyzer\vxsound.exe' "$lnk" 2>/dev/null || fail "no Start-menu entry of vxsound.exe at $lnk"
out=$(wine "$root_win\\vxhost.exe" --version | tr -d '\r')
[[ $out == "vxhost $version" ]] || fail "installed vxhost.exe --version says '$out'"

# The user's settings. On a display the installed analyzer writes them
# itself: it starts from Program Files with its picture there and, closed
# as a host closes it, keeps its settings in %APPDATA%. It runs on a
# segment of its own.
settings="$(winepath -u "$appdata")/Corvane Audio Analyzer/VxSound.ini"
if [[ -n ${DISPLAY:-} ]]; then
    log=$build/windows-package-vxsound.log
    VX_SEGMENT_NAME=VXPKGCHECK$$ wine "$root_win\\vxsound.exe" >"$log" 2>&1 &
    pid=$!
    trap 'kill $pid 2>/dev/null || true' EXIT
    deadline=$((SECONDS + 60))
    # Closed once its window shows (start-up is over), as a host closes it.
    until xwininfo -name "Corvane Audio Analyzer" 2>/dev/null | grep -q IsViewable &&
        wine "$root_win\\vxhost.exe" close --timeout 5000 >/dev/null 2>&1; do
        kill -0 $pid 2>/dev/null || fail "the installed analyzer ended at start-up: $(cat "$log")"
        ((SECONDS < deadline)) || fail "the installed analyzer's window did not come up or take the close"
        sleep 0.3
    done
    while kill -0 $pid 2>/dev/null; do
        ((SECONDS < deadline)) || fail "the installed analyzer did not end after the host's close"
        sleep 0.2
    done
    status=0
    wait $pid || status=$?
    ((status == 0)) || fail "the installed analyzer ended with status $status after the host's close: $(cat "$log")"
    grep -q '^FormWidth=' "$settings" 2>/dev/null || fail "the installed analyzer kept no settings in $appdata\\Corvane Audio Analyzer"
else
    mkdir -p "$(dirname "$settings")"
    printf '[VxSound]\r\nFormWidth=640\r\n' >"$settings"
fi
# The uninstaller copies itself away and returns at once: wait for the files to go.
wine "$root_win\\Uninstall.exe" /S || fail "the uninstaller ended with status $?"
deadline=$((SECONDS + 60))
while [[ -e $root || -e $lnk ]]; do
    ((SECONDS < deadline)) || fail "after uninstalling, left: $(ls "$root" "$lnk" 2>&1 | tr '\n' ' ')"
    sleep 0.2
done
[[ -f $settings ]] || fail "the uninstaller removed the user's settings"
echo "windows-package-check: $name.zip and $name.exe pass"
