#!/usr/bin/env python3
"""A workbook made while its temporary folder fills up: at every size of that folder the run
either writes a workbook whose every part is whole or fails with exit status 2, says why, and
leaves neither the listing nor a file in the folder. The tree is tests/data and, last, a file
whose title fills a cell, so that the last row, which the library holds until the end, is
large. Needs root, for a small tmpfs; exits 77 (skipped) without.

    full_temporary_folder_test.py QUAVERLY_LIST TESTS_DATA
"""

import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile

PROGRAM, DATA = sys.argv[1], sys.argv[2]


def main():
    if os.geteuid() != 0:
        sys.exit(77)
    with tempfile.TemporaryDirectory() as work:
        folder = os.path.join(work, "temporary")
        listing = os.path.join(work, "listing.xlsx")
        tree = os.path.join(work, "tree")
        shutil.copytree(DATA, tree)
        title = b"\0" + b"t" * 40000
        frame = b"TIT2" + len(title).to_bytes(4, "big") + b"\0\0" + title
        size = len(frame)
        with open(os.path.join(tree, "zz.mp3"), "wb") as out:
            out.write(b"ID3\3\0\0" + bytes((size >> 21 & 127, size >> 14 & 127, size >> 7 & 127,
                                             size & 127)) + frame +
                      open(os.path.join(DATA, "cbr_128k_44100_info_frame.mp3"), "rb").read())
        os.mkdir(folder)
        whole = failed = 0
        for pages in range(1, 64):
            if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={pages * 4}k", "tmpfs",
                               folder]).returncode != 0:
                sys.exit(77)
            try:
                run = subprocess.run([PROGRAM, "-f", "xlsx", "-o", listing, tree],
                                     env=dict(os.environ, TMPDIR=folder), capture_output=True)
                assert os.listdir(folder) == [], (pages, os.listdir(folder))
            finally:
                subprocess.run(["umount", folder], check=True)
            if run.returncode == 0:
                with zipfile.ZipFile(listing) as book:
                    assert book.testzip() is None, pages
                    for name in book.namelist():
                        ElementTree.fromstring(book.read(name))  # every part whole
                    assert book.read("xl/worksheets/sheet1.xml").count(b"<row ") == 18, pages
                os.remove(listing)
                whole += 1
            else:
                assert run.returncode == 2, (pages, run.returncode, run.stderr)
                assert b"No space left on device" in run.stderr, (pages, run.stderr)
                assert not os.path.exists(listing), pages
                failed += 1
        assert whole > 0 and failed > 0, (whole, failed)
    print(f"a full temporary folder: {failed} sizes failed, {whole} gave a whole workbook")


if __name__ == "__main__":
    main()
