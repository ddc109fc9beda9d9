#!/usr/bin/env python3
"""quaverly-list's CSV and JSON Lines, read back by Python's own csv and json modules: row for
row the page's rows, in its order, with every name intact, names that are not valid UTF-8
carried whole in path_hex, and no name that a spreadsheet could take for a formula: a name the
guard against formulas changed is carried whole in path_hex too. The catalogue's data and the
workbook's sheets (read with zipfile and an XML parser) hold the same records.

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
import urllib.parse

from workbook import workbook

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
    records = [json.loads(line) for line in listing(folder, "jsonl").decode().split("\n")[:-1]]
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


PROFILE = ["mpeg_version", "layer", "sample_rate", "channel_mode", "vbr_header",
           "duration_source", "bitrate_mode", "encoder", "encoder_settings", "lowpass_hz",
           "encoder_tag_crc", "encoder_delay"]
ALBUM = ["artist", "album", "year", "genre"]
FILE = ["name", "size", "bitrate", None, "frames", "duration_seconds", "average_bitrate",
        "id3v2_size", "title", "track", "encoder_padding", "health", "failure", "junk_inside_at",
        "verified_frames", "path_hex"]


def catalogue_records(folder, *options):
    """The catalogue's data made back into the records, and its folders' roll-ups."""
    run = subprocess.run([PROGRAM, "-f", "catalogue", "-o", "-", *options, folder],
                         capture_output=True)
    assert run.returncode in (0, 1), run.stderr
    page = run.stdout.decode()
    start = page.index('<script type="application/json" id="catalogue-data">') + 52
    text = page[start:page.index("</script>", start)]
    # Nothing in the data can end its element, open a comment or end a line in a script.
    assert not set(text) & {"<", ">", "&", "\u2028", "\u2029"}, text
    head, *elements = json.loads(text)
    records, profiles, album, rollups = [], [], {}, []
    values = lambda names, items: {k: v for k, v in zip(names, items) if k and v is not None}
    for element in elements:
        kind, items = (0, element) if isinstance(element[0], str) else (element[0], element[1:])
        if kind == 1:
            records.append(values(["path", "path_hex"], items))
            records[-1].update(type="folder", folder=items[0])
        elif kind == 2:
            profile = values(PROFILE, items)
            profile.update(mpeg_version=f"{profile['mpeg_version']:g}",
                           vbr_header=profile.get("vbr_header", ""))
            profiles.append(profile)
        elif kind == 3:
            album = values(ALBUM, items)
            if len(items) > 4:
                album["cover"] = values(["type", "mime", "bytes"], items[4:])
        elif kind == 4:
            rollups.append((records[-1] if records[-1]["type"] == "folder" else
                            next(r for r in reversed(records) if r["type"] == "folder"), items))
        else:
            record = values(FILE, items)
            if isinstance(record.get("title"), int):  # where it starts in the name
                record["title"] = record["name"][record["title"]:-4]
            where = next(r for r in reversed(records) if r["type"] == "folder")["path"]
            record.update(type="file", mp3=len(items) > 2 and items[2] is not None, folder=where,
                          path=os.path.join(where, items[0]) if where else items[0])
            if len(items) > 3 and items[3] is not None:
                record.update(profiles[items[3]])
            if record["mp3"]:
                record.update(album)
            if record.get("health") is None:
                record.pop("health", None)
            records.append(record)
    return head, records, rollups


def check_catalogue(folder):
    """Every fact of the records is in the catalogue, and each folder's roll-up is the sum of
    the records below it."""
    records = [json.loads(line) for line in listing(folder, "jsonl").decode().split("\n")[:-1]]
    head, made, rollups = catalogue_records(folder)
    for record in records:
        record.pop("health", None) if record.get("health") == [] else None
    assert made == records, next((a, b) for a, b in zip(made, records) if a != b)
    for rollup_folder, items in rollups:
        path = rollup_folder["path"]
        below = [r for r in records if r["type"] == "file" and
                 (not path or r["path"].startswith(path + "/"))]
        mp3 = [r for r in below if r["mp3"]]
        rates = [r["bitrate"] for r in mp3 if r["bitrate"] > 0]
        assert items[:5] == [len(below), len(mp3), sum(r.get("size", 0) for r in below),
                             round(sum(r.get("duration_seconds", 0) for r in mp3), 3),
                             min(rates) if rates else None], (path, items)
        assert items[6] == sum(1 for r in mp3 if r.get("health") or r.get("failure") or
                               "layer" not in r), items
        assert sum(items[7].values()) == sum(items[8].values()) == len(mp3), items
    # The links lead from the page (here, as standard output's, the current folder).
    expected = urllib.parse.quote(os.path.relpath(os.path.abspath(folder))) + "/"
    assert head["base"] == expected, (head, expected)
    # Written through a link and "..", the page's links lead from where the system put it.
    with tempfile.TemporaryDirectory() as out:
        os.makedirs(os.path.join(out, "real", "x"))
        os.mkdir(os.path.join(out, "real", "pages"))
        os.symlink(os.path.join(out, "real", "x"), os.path.join(out, "link"))
        page = os.path.join(out, "link", "..", "pages", "p.html")
        subprocess.run([PROGRAM, "-f", "catalogue", "-o", page, folder], check=True,
                       capture_output=True)
        base = json.loads(open(os.path.join(out, "real", "pages", "p.html")).read().split(
            'id="catalogue-data">[', 1)[1].split(",\n", 1)[0])["base"]
        assert os.path.realpath(os.path.join(out, "real", "pages", urllib.parse.unquote(base))) \
            == os.path.realpath(folder), base
    shared, _, _ = catalogue_records(folder, "--no-links")
    assert "base" not in shared and "/" not in shared["folder"].rstrip("/"), shared


TEXTS = ["path", "folder", "name", "channel_mode", "vbr_header", "failure", "path_hex",
         "duration_source", "bitrate_mode", "encoder", "encoder_settings", "artist", "album",
         "title", "track", "year", "genre"]
NUMBERS = ["size", "bitrate", "layer", "sample_rate", "frames", "average_bitrate", "id3v2_size",
           "lowpass_hz", "encoder_delay", "encoder_padding", "junk_inside_at", "verified_frames"]


def expected_cells(record):
    """A file's record as the workbook's row holds it."""
    cells = {name: ("s", record[name]) for name in TEXTS if record.get(name, "") != ""}
    cells.update({name: ("n", float(record[name]), False) for name in NUMBERS if name in record})
    cells.update({name: ("b", record[name]) for name in ("mp3", "encoder_tag_crc")
                  if name in record})
    if "mpeg_version" in record:
        cells["mpeg_version"] = ("n", float(record["mpeg_version"]), False)
    if record.get("health"):
        cells["health"] = ("s", ";".join(record["health"]))
    if "cover" in record:
        cover = record["cover"]
        cells["cover"] = ("s", ", ".join(str(part) for part in
                                         (cover["type"], cover["mime"], cover.get("bytes", ""))
                                         if part != ""))
    return cells


def check_workbook(folder):
    """Every file's cells are its record's values, typed; every folder's row sums up the files
    below it."""
    records = [json.loads(line) for line in listing(folder, "jsonl").decode().split("\n")[:-1]]
    sheets = workbook(listing(folder, "xlsx"))
    assert list(sheets)[:2] == ["Files", "Folders"], list(sheets)
    files = [record for record in records if record["type"] == "file"]
    assert len(sheets["Files"]) == len(files), (len(sheets["Files"]), len(files))
    for record, row in zip(files, map(dict, sheets["Files"])):
        seconds = row.pop("duration_seconds", None)
        if "duration_seconds" in record:
            assert seconds[2] and abs(seconds[1] * 86400 - record["duration_seconds"]) < 1e-6
        expected = expected_cells(record)
        for name, note in row.pop("@notes", {}).items():  # a text cut where the cell is full
            whole, cut = expected.pop(name)[1], row.pop(name)[1]
            assert whole.startswith(cut) and len(cut) < len(whole), name
            assert note.startswith("Cut to ") and f" of {len(whole.encode('utf-16-le')) // 2:,} " in note, note
            expected["path_hex"] = ("s", raw_path(record).hex())
        assert row == expected, {name: (str(row.get(name))[:200], str(expected.get(name))[:200])
                                 for name in set(row) | set(expected)
                                 if row.get(name) != expected.get(name)}
    folders = [record for record in records if record["type"] == "folder"]
    assert len(sheets["Folders"]) == len(folders)
    for record, row in zip(folders, sheets["Folders"]):
        path = raw_path(record)
        below = [file for file in files if path == b"" or raw_path(file).startswith(path + b"/")]
        mp3 = [file for file in below if file["mp3"]]
        rates = [file["bitrate"] for file in mp3 if file["bitrate"] > 0]
        findings = [file for file in mp3 if file.get("failure") or file.get("health") or
                    "frames" not in file]
        assert row.get("path", ("s", ""))[1] == record["path"], (row, record)
        assert row.get("path_hex", ("s", ""))[1] == record.get("path_hex", ""), (row, record)
        assert (row["files"][1], row["mp3_files"][1], row["size"][1], row["findings"][1]) == \
            (len(below), len(mp3), sum(file.get("size", 0) for file in below), len(findings))
        assert row.get("lowest_bitrate", (0, None))[1] == (min(rates) if rates else None), row
        assert row["duration_seconds"][2], row
    return sheets


def spreadsheet_names():
    """Names a spreadsheet takes for something else in a CSV: numbers, dates, booleans,
    formulas and its own escapes, as folders, files and tags."""
    folder = tempfile.mkdtemp()
    song = open(os.path.join(DATA, "cbr_128k_44100_info_frame.mp3"), "rb").read()
    for where in ("0123", "1e5", "2026-01-02", "3/4", "TRUE"):
        os.makedirs(os.path.join(folder, where), exist_ok=True)
    for name in ("3/4/0042", "0042", "0123/01", "1e5/FALSE", "2026-01-02/=1+2.mp3",
                 "_x0041_.mp3", "_x005F_x0041_.mp3", "1,5.mp3", "12:30.mp3", "-1.mp3",
                 "50%.mp3", "TRUE/#VALUE!.mp3", " 7 .mp3", "\r.mp3"):
        with open(os.path.join(folder, name), "wb") as out:
            out.write(song)
    texts = {b"TIT2": b"=HYPERLINK(\"http://example.com\")", b"TPE1": b"0042",
             b"TYER": b"2026-01-02", b"TRCK": b"3/4", b"TALB": b"_x0041_\x01"}
    tagged(folder, "tags.mp3", b"".join(frame(id_, b"\0" + body) for id_, body in texts.items()))
    # Beyond U+FFFF, two UTF-16 units each: the cut counts them as a spreadsheet does.
    tagged(folder, "long.mp3", frame(b"TIT2", b"\3" + "\U0001F3B5".encode() * 20000))
    return folder


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
    # A title the name holds is said by where it starts, when only ASCII stands before it.
    for name in ("03 - Song.mp3", "Ünï - Song.mp3", "Song.MP3", "Song.mp3.mp3"):
        tagged(folder, name, frame(b"TIT2", b"\0Song"))
    try:
        check_catalogue(folder)
        check_workbook(folder)
        page = subprocess.run([PROGRAM, "-f", "catalogue", "-o", "-", folder],
                              capture_output=True).stdout.decode()
        assert '["03 - Song.mp3",' in page and ',5,' in page.split('["03 - Song.mp3"')[1], page
        assert '"Song","' not in page.split('["Song.MP3"')[1].split("\n")[0], page
        records = {record.get("name"): record for record in
                   (json.loads(line) for line in listing(folder, "jsonl").decode().split("\n")[:-1])}
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
    check_catalogue(DATA)
    check_workbook(DATA)
    tag_fields()
    folder = spreadsheet_names()
    try:
        sheets = check_workbook(folder)
        names = {row["path"][1]: row for row in sheets["Files"]}
        for name in ("3/4/0042", "0042", "0123/01", "1e5/FALSE", "_x0041_.mp3", "12:30.mp3"):
            assert names[name]["name"][0] == "s", names[name]
        tags = names["tags.mp3"]
        assert (tags["title"][1], tags["artist"][1], tags["year"][1], tags["album"][1]) == \
            ('=HYPERLINK("http://example.com")', "0042", "2026-01-02", "_x0041_\x01"), tags
        cut = names["long.mp3"]["title"][1]
        assert len(cut.encode("utf-16-le")) // 2 in (32766, 32767), len(cut)
        assert [row.get("path", (0, ""))[1] for row in sheets["Folders"]] == \
            ["0123", "1e5", "2026-01-02", "3/4", "3", "TRUE", ""], sheets["Folders"]
    finally:
        shutil.rmtree(folder)
    folder = hostile_names()
    # A name holds no "/": the path "</script><img...>" is the folder "<" and a file in it.
    os.mkdir(os.path.join(folder, "<"))
    for name in ("</script><img src=x onerror=alert(1)>.mp3", "<!-- a.mp3", "\u2028line.mp3",
                 "\u202eexe.mp3", "a&amp;b>.mp3"):
        shutil.copy(os.path.join(DATA, "vbr_xing_44100.mp3"), os.path.join(folder, name))
    try:
        check(folder)
        check_catalogue(folder)
        check_workbook(folder)
    finally:
        shutil.rmtree(folder)
    print("formats: CSV, JSON Lines, the catalogue's data and the workbook read back row for row")


if __name__ == "__main__":
    main()
