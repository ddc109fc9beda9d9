#!/usr/bin/env bash
# Installs the build into a folder of its own and checks that the programs, the desktop entry,
# the AppStream metadata and the icons are where a desktop looks for them, and valid.
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
expect share/applications/$id.desktop
expect share/metainfo/$id.metainfo.xml
for size in 16 32 48; do
    expect share/icons/hicolor/${size}x${size}/apps/$id.png
done
expect share/icons/hicolor/scalable/apps/$id.svg

desktop-file-validate "$prefix/share/applications/$id.desktop" || status=1
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || status=1
exit "$status"
