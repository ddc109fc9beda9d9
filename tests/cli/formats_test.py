#!/usr/bin/env python3
"""quaverly-list's CSV and JSON Lines, read back by Python's own csv and json modules: row for
row the page's rows, in its order, with every name intact, names that are not valid UTF-8
carried whole in path_hex, and no name that a spreadsheet could take for a formula: a name the
guard against formulas changed is carried whole in path_hex too.

    formats_test.py QUAVERLY_LIST TESTS_DATA
"""

import csv
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

PROGRAM, DATA = sys.argv[1], sys.argv[2]


def listing(folder, format_):
    run = subprocess.run([PROGRAM, "-f", format_, "-o", "-", folder], capture_output=True)
    assert run.returncode in (0, 1), run.stderr
    return run.stdout


def page_rows(folder):
    """(kind, name, bitrate) for every row of the page: folders by their full path."""
    with tempfile.TemporaryDirectory() as out:
        page_path = os.path.join(out, "page.html")
        subprocess.run([PROGRAM, "-o", page_path, folder], capture_output=True)
        page = open(page_path, "rb").read()
    rows = []
    # Escaped names hold no "<".
    for match in re.finditer(rb"<tr><td bgcolor=red>\r\n\r\n([^<]*)</td>|<tr><td[^>]*>\r\n(?:([^<]*)"
                             rb"</td><td> (-?\d+) Kbs)?", page):
        if match.group(1) is not None:
            rows.append(("folder", match.group(1)))
        else:
            rows.append(("file", match.group(2), match.group(3)))
    return rows


def unescaped(name):
    for entity, byte in ((b"&lt;", b"<"), (b"&gt;", b">"), (b"&quot;", b'"'), (b"&amp;", b"&")):
        name = name.replace(entity, byte)
    return name


def raw_path(record):
    return bytes.fromhex(record["path_hex"]) if record.get("path_hex") else \
        record["path"].encode()


def check(folder):
    records = [json.loads(line) for line in listing(folder, "jsonl").decode().splitlines()]
    table = list(csv.DictReader(io.StringIO(listing(folder, "csv").decode("utf-8-sig"),
                                            newline="")))
    rows = page_rows(folder)
    assert len(records) == len(table) == len(rows), (len(records), len(table), len(rows))
    root = os.fsencode(os.path.abspath(folder))
    for record, line, row in zip(records, table, rows):
        assert record["type"] == line["type"] == row[0], (record, line, row)
        path = raw_path(record)
        # Exactly: a cell the formula guard changed has the raw path beside it.
        assert (bytes.fromhex(line["path_hex"]) if line["path_hex"] else
                line["path"].encode()) == path, (line, path)
        if row[0] == "folder":
            assert unescaped(row[1]) == (root + b"/" + path if path else root), (row, path)
            continue
        name = path.rsplit(b"/", 1)[-1]
        assert os.path.lexists(os.path.join(root, path)), path
        if row[1] is None:  # a file that is not an MP3 file by name
            assert record["mp3"] is False and line["mp3"] == "false"
            continue
        assert unescaped(row[1]) == name, (row, name)
        assert record["bitrate"] == int(row[2]) == int(line["bitrate"])
        if line["name"].lstrip(" ")[:1] in ("=", "+", "-", "@"):
            raise AssertionError("a formula in a spreadsheet: " + line["name"])
        if "frames" in record:
            seconds = record["frames"] * (1152 if record["layer"] > 1 else 384) / \
                record["sample_rate"]
            if record["layer"] == 3 and record["mpeg_version"] != "1":
                seconds /= 2
            # The playing time leaves out what the encoder's tag says it added.
            seconds -= (record.get("encoder_delay", 0) + record.get("encoder_padding", 0)) / \
                record["sample_rate"]
            assert abs(record["duration_seconds"] - seconds) < 0.001, record


def hostile_names():
    """A tree of names with commas, quotes, line breaks, control characters, bytes that are
    not UTF-8, and leading characters that start a formula."""
    folder = tempfile.mkdtemp()
    song = open(os.path.join(DATA, "cbr_128k_44100_info_frame.mp3"), "rb").read()
    names = [b"a,b.mp3", b'say "hi".mp3', b"two\nlines.mp3", b"tab\tbell\x07.mp3",
             b"\xff\xfe latin\xe9.mp3", b"=1+2.mp3", b"+cmd.mp3", b"-x.mp3", b"@sum.mp3",
             b"=1.mp3", b"'=1.mp3", b"  =2.mp3", b" -x.mp3",
             b" padded .mp3", "Dvořák – Ω.mp3".encode(), b"notes.txt"]
    # Every byte that JSON escapes, at each place in a run of eight bytes.
    escaped = bytes(range(1, 32)) + b'\x7f"\\'
    names += [b"n" * shift + escaped + b"n" * shift + b".mp3" for shift in range(9)]
    os.makedirs(os.path.join(os.fsencode(folder), b"sub, \"folder\"\n\xfe"))
    for name in names:
        for where in (b"", b"sub, \"folder\"\n\xfe/"):
            with open(os.path.join(os.fsencode(folder), where + name), "wb") as out:
                out.write(song)
    return folder


def tagged(folder, name, frames):
    """A song behind an ID3v2.3 tag of `frames`."""
    song = open(os.path.join(DATA, "cbr_128k_44100_info_frame.mp3"), "rb").read()
    size = len(frames)
    syncsafe = bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127])
    with open(os.path.join(folder, name), "wb") as out:
        out.write(b"ID3\3\0\0" + syncsafe + frames + song)


def frame(id_, body):
    return id_ + len(body).to_bytes(4, "big") + b"\0\0" + body


def tag_fields():
    """A title of 60,000 bytes that JSON escapes, each as six: the most a record can grow by;
    and a picture of a type beyond the list, which has no name."""
    folder = tempfile.mkdtemp()
    title = (bytes(range(1, 32)) + b'\x7f"\\' * 4) * (60_000 // 43)
    tagged(folder, "escaped.mp3", frame(b"TIT2", b"\0" + title))
    tagged(folder, "unnamed.mp3", frame(b"APIC", b"\0image/jpeg\0\x30\0" + b"\xFF" * 102))
    try:
        records = {record.get("name"): record for record in
                   (json.loads(line) for line in listing(folder, "jsonl").decode().splitlines())}
        assert records["escaped.mp3"].get("title") == title.decode("latin-1")
        assert records["unnamed.mp3"]["cover"] == {"type": "", "mime": "image/jpeg",
                                                   "bytes": 102}, records["unnamed.mp3"]
        table = {row["name"]: row for row in csv.DictReader(io.StringIO(
            listing(folder, "csv").decode("utf-8-sig"), newline=""))}
        assert table["unnamed.mp3"]["cover"] == "image/jpeg, 102", table["unnamed.mp3"]
    finally:
        shutil.rmtree(folder)


def main():
    check(DATA)
    tag_fields()
    folder = hostile_names()
    try:
        check(folder)
    finally:
        shutil.rmtree(folder)
    print("formats: CSV and JSON Lines read back row for row")


if __name__ == "__main__":
    main()
