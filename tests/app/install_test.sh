#!/usr/bin/env bash
# Installs the build into a folder of its own and checks that the programs, the desktop entry,
# the AppStream metadata, the icons and the manual pages are where a desktop and man look for
# them, and valid.
#   install_test.sh BUILD_DIR PREFIX
set -euo pipefail
build=$1
prefix=$2
id=example.quaverly.Quaverly
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
expect() {
    if [[ ! -s "$prefix/$1" ]]; then
        echo "missing: $1" >&2
        status=1
    fi
}
expect bin/quaverly
expect bin/quaverly-list
expect libexec/quaverly/quaverly-tag-worker
expect share/applications/$id.desktop
expect share/applications/$id.Catalogue.desktop
expect share/metainfo/$id.metainfo.xml
for size in 16 32 48; do
    expect share/icons/hicolor/${size}x${size}/apps/$id.png
done
expect share/icons/hicolor/scalable/apps/$id.svg
expect share/man/man1/quaverly.1
expect share/man/man1/quaverly-list.1

desktop-file-validate "$prefix/share/applications/$id.desktop" || status=1
# "Open With" on a folder starts the dialog with that folder.
grep -qx 'MimeType=inode/directory;' "$prefix/share/applications/$id.desktop" &&
    grep -qx 'Exec=quaverly %f' "$prefix/share/applications/$id.desktop" ||
    { echo "the desktop entry does not take a folder" >&2; status=1; }
# "Make MP3 catalogue" on a folder, in no menu and the default for nothing.
catalogue=$prefix/share/applications/$id.Catalogue.desktop
desktop-file-validate "$catalogue" || status=1
grep -qx 'MimeType=inode/directory;' "$catalogue" &&
    grep -qx 'Exec=quaverly --catalogue %f' "$catalogue" &&
    grep -qx 'NoDisplay=true' "$catalogue" ||
    { echo "the catalogue's desktop entry does not take a folder out of the menus" >&2; status=1; }
if find "$prefix" -name 'mimeapps.list' -o -name 'defaults.list' | grep -q .; then
    echo "the install names a default application" >&2
    status=1
fi
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || status=1
# man's own check, as a Debian package's pages get it: any warning from groff is a fault.
for page in quaverly quaverly-list; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$prefix/share/man/man1/$page.1" 2>&1 >/dev/null)
    if [[ -n "$warnings" ]]; then
        echo "$page.1: $warnings" >&2
        status=1
    fi
done
exit "$status"
