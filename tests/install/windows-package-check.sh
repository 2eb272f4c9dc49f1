#!/usr/bin/env bash
# Builds the Windows packages of a cross build tree and checks them as a
# user meets them: the .zip holds exactly the program folder, its texts
# with CR LF; the installer installs silently into Program Files with a
# Start-menu entry, the programs carry their icon and version, the
# installed host tool runs, and the uninstaller removes the programs but
# leaves the user's settings.
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

# The user's settings, as the installed analyzer keeps them.
settings="$(winepath -u "$appdata")/Corvane Audio Analyzer/VxSound.ini"
mkdir -p "$(dirname "$settings")"
printf '[Settings]\r\nFormWidth=640\r\n' >"$settings"
# The uninstaller copies itself away and returns at once: wait for the files to go.
wine "$root_win\\Uninstall.exe" /S || fail "the uninstaller ended with status $?"
deadline=$((SECONDS + 60))
while [[ -e $root || -e $lnk ]]; do
    ((SECONDS < deadline)) || fail "after uninstalling, left: $(ls "$root" "$lnk" 2>&1 | tr '\n' ' ')"
    sleep 0.2
done
[[ -f $settings ]] || fail "the uninstaller removed the user's settings"
echo "windows-package-check: $name.zip and $name.exe pass"
