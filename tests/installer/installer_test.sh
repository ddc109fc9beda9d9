#!/usr/bin/env bash
# Makes the Windows installer of a build (32- or 64-bit), installs it silently into the
# build's Wine prefix, lists tests/data with the installed quaverly-list.exe, and uninstalls it
# again.
#
#   installer_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
wine_run=$source/scripts/wine-run
# The installed programs are named by their Windows paths, so wine-run is told the prefix.
export QUAVERLY_WINEPREFIX=${QUAVERLY_WINEPREFIX:-$build/wine}
prefix=$QUAVERLY_WINEPREFIX
folder="$prefix/drive_c/Program Files/Quaverly"

(cd "$build" && cpack -G NSIS >/dev/null)
setup=$(ls "$build"/Quaverly-*-setup.exe)

"$wine_run" "$setup" /S
for program in quaverly-list.exe quaverly-tag-worker.exe Uninstall.exe; do
    [[ -f "$folder/$program" ]] || { echo "not installed: $folder/$program" >&2; exit 1; }
done
cmp -s "$build/bin/quaverly-list.exe" "$folder/quaverly-list.exe" ||
    { echo "the installed quaverly-list.exe is not the build's" >&2; exit 1; }
# The installer registers its uninstaller in the registry view of its own word size, where
# Programs and Features looks first: for the 64-bit one, not under Wow6432Node. reg.exe runs
# with the prefix's word size, so it reads that view.
keys=$("$wine_run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null || true)
grep -q 'Uninstall\\Quaverly' <<<"$keys" ||
    { echo "no uninstaller registered in the registry view of the installer's word size" >&2; exit 1; }
# Explorer's "Make MP3 listing" and "Make MP3 catalogue" on a folder, for the user who installed.
verb='HKCU\Software\Classes\Directory\shell\Quaverly'
catalogue='HKCU\Software\Classes\Directory\shell\QuaverlyCatalogue'
if [[ -f "$build/bin/Quaverly.exe" ]]; then
    [[ -f "$folder/Quaverly.exe" ]] || { echo "not installed: Quaverly.exe" >&2; exit 1; }
    find "$prefix/drive_c" -path '*Start Menu*' -name 'Quaverly*.lnk' | grep -q . ||
        { echo "no Start-menu shortcut" >&2; exit 1; }
    name=$("$wine_run" reg query "$verb" /ve 2>/dev/null | tr -d '\r' || true)
    grep -q 'REG_SZ *Make MP3 listing$' <<<"$name" ||
        { echo "no \"Make MP3 listing\" on folders: $name" >&2; exit 1; }
    command=$("$wine_run" reg query "$verb\\command" /ve 2>/dev/null | tr -d '\r' || true)
    grep -qF 'REG_SZ    "C:\Program Files\Quaverly\Quaverly.exe" "%1"' <<<"$command" ||
        { echo "the folder verb does not start the installed dialog: $command" >&2; exit 1; }
    name=$("$wine_run" reg query "$catalogue" /ve 2>/dev/null | tr -d '\r' || true)
    grep -q 'REG_SZ *Make MP3 catalogue$' <<<"$name" ||
        { echo "no \"Make MP3 catalogue\" on folders: $name" >&2; exit 1; }
    command=$("$wine_run" reg query "$catalogue\\command" /ve 2>/dev/null | tr -d '\r' || true)
    grep -qF 'REG_SZ    "C:\Program Files\Quaverly\Quaverly.exe" --catalogue "%1"' <<<"$command" ||
        { echo "the catalogue verb does not start the installed program: $command" >&2; exit 1; }
fi

# The installed program finds its helper beside it and writes the page the build tree's does.
page=$(mktemp -d)
trap 'rm -rf "$page"' EXIT
data="Z:${source//\//\\}\\tests\\data"
errors=$("$wine_run" "C:\\Program Files\\Quaverly\\quaverly-list.exe" -o "Z:${page//\//\\}\\page.html" \
    "$data" 2>&1 >/dev/null) || { echo "installed quaverly-list failed: $errors" >&2; exit 1; }
if [[ -n $errors ]]; then
    echo "installed quaverly-list said: $errors" >&2
    exit 1
fi
expected=$(sed "s|@FOLDER@|$(printf '%s' "$data" | sed 's/[\\&|]/\\&/g')|g" \
    "$source/tests/cli/tests_data_listing.html" | od -An -tx1)
actual=$(od -An -tx1 "$page/page.html")
[[ "$expected" == "$actual" ]] || { echo "the installed program's page differs" >&2; exit 1; }

"$wine_run" "C:\\Program Files\\Quaverly\\Uninstall.exe" /S
# The uninstaller runs a copy of itself from the temporary folder and returns at once.
for _ in $(seq 60); do
    [[ -e "$folder/quaverly-list.exe" ]] || break
    sleep 0.5
done
for program in quaverly-list.exe quaverly-tag-worker.exe; do
    [[ ! -e "$folder/$program" ]] || { echo "not uninstalled: $program" >&2; exit 1; }
done
for key in "$verb" "$catalogue"; do
    for _ in $(seq 60); do
        "$wine_run" reg query "$key" >/dev/null 2>&1 || break
        sleep 0.5
    done
    if "$wine_run" reg query "$key" >/dev/null 2>&1; then
        echo "the uninstaller left $key on folders" >&2
        exit 1
    fi
done
echo "installer: installed, listed and uninstalled"
