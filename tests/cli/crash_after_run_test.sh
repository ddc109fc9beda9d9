#!/bin/sh
# A crash right after a run that said it was done leaves its page whole: on a loop-mounted ext4
# with noauto_da_alloc (no help from the file system's rename heuristic), a run replaces an old
# page, then the file system goes down as in a crash (journal flushed, data in memory lost),
# and after the remount the page is the old one or the new one, whole, never empty.
# Needs root and loop devices: skipped (77) without them.
#
#   crash_after_run_test.sh QUAVERLY_LIST SHUT_DOWN_FILE_SYSTEM TESTS_DATA
set -u
program=$1 shut_down=$2 data=$3
[ "$(id -u)" = 0 ] && command -v mkfs.ext4 >/dev/null || exit 77
work=$(mktemp -d)
trap 'umount "$work/mnt" 2>/dev/null; rm -rf "$work"' EXIT
truncate -s 32M "$work/image" && mkfs.ext4 -q -F "$work/image" && mkdir "$work/mnt" || exit 1
mount -o loop,noauto_da_alloc "$work/image" "$work/mnt" 2>/dev/null || exit 77

"$program" -o "$work/expected.html" "$data" || exit 1
"$program" -o "$work/mnt/page.html" "$data" || exit 1
sync
"$program" -o "$work/mnt/page.html" "$data" || exit 1
"$shut_down" "$work/mnt" || exit 1
umount "$work/mnt" && mount -o loop "$work/image" "$work/mnt" || exit 1

if ! cmp -s "$work/expected.html" "$work/mnt/page.html"; then
    echo "after the crash the page holds $(wc -c <"$work/mnt/page.html") bytes," \
        "not the $(wc -c <"$work/expected.html") of the whole page" >&2
    exit 1
fi
echo "the page survived the crash whole"
