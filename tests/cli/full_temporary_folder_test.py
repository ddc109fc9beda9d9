#!/usr/bin/env python3
"""A workbook made while its temporary folder fills up: at every size of that folder the run
either writes a workbook whose every part is whole or fails with exit status 2, says why, and
leaves neither the listing nor a file in the folder. Needs root, for a small tmpfs; exits 77
(skipped) without.

    full_temporary_folder_test.py QUAVERLY_LIST TESTS_DATA
"""

import os
import subprocess
import sys
import tempfile
import zipfile

PROGRAM, DATA = sys.argv[1], sys.argv[2]


def main():
    if os.geteuid() != 0:
        sys.exit(77)
    with tempfile.TemporaryDirectory() as work:
        folder = os.path.join(work, "temporary")
        listing = os.path.join(work, "listing.xlsx")
        os.mkdir(folder)
        whole = failed = 0
        for pages in range(1, 40):
            if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={pages * 4}k", "tmpfs",
                               folder]).returncode != 0:
                sys.exit(77)
            try:
                run = subprocess.run([PROGRAM, "-f", "xlsx", "-o", listing, DATA],
                                     env=dict(os.environ, TMPDIR=folder), capture_output=True)
                assert os.listdir(folder) == [], (pages, os.listdir(folder))
            finally:
                subprocess.run(["umount", folder], check=True)
            if run.returncode == 0:
                with zipfile.ZipFile(listing) as book:
                    assert book.testzip() is None, pages
                    sheet = book.read("xl/worksheets/sheet1.xml")
                    assert sheet.endswith(b"</worksheet>") and sheet.count(b"<row ") == 17, pages
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
