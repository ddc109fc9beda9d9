#!/usr/bin/env python3
"""Our tag fields against the ID3 tag library's: the text of the frames behind artist, album,
title, track, year and genre must be the library's wherever both read them.

    id3lib_differential.py ID3LIB_FIELDS TAG_FIELDS TESTS_DATA TESTS_TAGGED

Compared are every MP3 file of tests/data and tests/tagged, a few tags built here that no tool
in tests/tagged writes (ID3v2.2, a v2.3 tag unsynchronised as a whole, an extended header), and
damaged copies of all of them: bytes of their tags changed at random and tags cut short, with a
fixed seed. The library runs once per file in a process of its own (id3lib_fields), since it
crashes on some damaged tags; a file it crashes on is counted and left out.

Where the library is known to be wrong, the fields are not compared, and the count says so:
  - it reads no frame of an ID3v2.4 tag at all (its frame header has no layout for v2.4);
  - it reads UTF-16 without a byte order mark as big-endian, where we read it as the Windows
    programs that leave the mark out write it, little-endian;
  - it reads the text of encodings 2 (UTF-16BE) and 3 (UTF-8) as UTF-16 with a mark;
  - it names a genre byte of ID3v1 beyond the list "(200)", where we name none;
  - it inflates compressed frames, which we leave out (reading them costs what the fields
    should not).
On the files as written, every field must be equal or left out for one of these reasons. On a
damaged file the two readers may also walk through the frames differently, so that one of them
finds a field the other does not: the library goes on past a frame id that is none, where we
stop; it reads a frame that runs up to ten bytes past the end of the tag, and the data of an
encrypted frame as if it were not; it takes the padding size of a v2.3 extended header, which
we skip with the header; it reads no tag of a revision it does not know. Those are counted, and
only a field that both find must be equal.

tests/tagged/written-fields.tsv holds what the commands in tests/tagged/make-tag-files wrote:
our fields must be those, v2.4 tags included.
"""

import json
import os
import random
import re
import struct
import subprocess
import sys
import tempfile
from collections import Counter

ID3LIB_FIELDS, TAG_FIELDS, DATA, TAGGED = sys.argv[1:5]
FIELDS = ("artist", "album", "title", "track", "year", "genre")
MUTATIONS = 400
SEED = 20240607

failures = []
counts = Counter()


# Tags built here -------------------------------------------------------------------------------

def syncsafe(n):
    return bytes(((n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F))


def frame(version, fid, body):
    if version == 2:
        return fid.encode() + struct.pack(">I", len(body))[1:] + body
    return fid.encode() + struct.pack(">I", len(body)) + b"\0\0" + body


def tag(version, frames, padding=64, flags=0):
    return b"ID3" + bytes((version, 0, flags)) + syncsafe(len(frames) + padding) + frames + \
        b"\0" * padding


def unsynchronised(data):
    out = bytearray()
    for i, byte in enumerate(data):
        out.append(byte)
        if byte == 0xFF and (i + 1 == len(data) or data[i + 1] == 0 or data[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)


def utf16(text):
    return b"\x01" + text.encode("utf-16") + b"\0\0"


def built_tags(audio):
    v22 = frame(2, "TT2", b"\0Caf\xe9 \xff") + frame(2, "TP1", utf16("Ωmega 🎵")) + \
        frame(2, "TAL", b"\0Album") + frame(2, "TRK", b"\x0012") + frame(2, "TYE", b"\x001987") + \
        frame(2, "TCO", b"\0(4)Disco")
    v23 = frame(3, "TIT2", b"\0\xff\xe0\xff title") + frame(3, "PRIV", b"\xff\0\xff\xe7" * 40) + \
        frame(3, "TPE1", utf16("Ärtist")) + frame(3, "TALB", b"\0Album \xff") + \
        frame(3, "TCON", b"\0(13)")
    extended = struct.pack(">I", 6) + b"\0" * 6
    return {
        "built_v22.mp3": tag(2, v22) + audio,
        "built_v23_unsynchronised.mp3": tag(3, unsynchronised(v23), 0, 0x80) + audio,
        "built_v23_extended_header.mp3": tag(3, extended + v23, 32, 0x40) + audio,
    }


# Where the library is known to be wrong --------------------------------------------------------

def first_frames(data):
    """The first frame of each id in the ID3v2 tags at the start of `data`: its tag's version,
    its text encoding and whether a UTF-16 text opens with a byte order mark, walked as the
    headers state."""
    found = {}
    at = 0
    for _ in range(16):
        header = data[at:at + 10]
        if len(header) < 10 or header[:3] != b"ID3" or header[3] == 0xFF or header[4] == 0xFF \
                or any(b & 0x80 for b in header[6:10]):
            break
        version, flags = header[3], header[5]
        size = sum((header[6 + i] & 0x7F) << (21 - 7 * i) for i in range(4))
        body = data[at + 10:at + 10 + size]
        if flags & 0x80 and version < 4:
            body = body.replace(b"\xff\x00", b"\xff")
        pos = 0
        if flags & 0x40 and version == 3 and len(body) >= 4:
            pos = 4 + int.from_bytes(body[:4], "big")
        length = 6 if version == 2 else 10
        while pos + length <= len(body) and body[pos] != 0:
            fid = body[pos:pos + (3 if version == 2 else 4)].decode("latin-1")
            if version == 2:
                fsize = int.from_bytes(body[pos + 3:pos + 6], "big")
            else:
                fsize = int.from_bytes(body[pos + 4:pos + 8], "big")
            text = body[pos + length:pos + length + min(fsize, 3)]
            if fsize == 0 or pos + length + fsize > len(body):
                break
            if fid not in found and text:
                found[fid] = (version, text[0], text[1:3] in (b"\xff\xfe", b"\xfe\xff"))
            pos += length + fsize
        at += 10 + size + (10 if version == 4 and flags & 0x10 else 0)
    return found


V2_FRAMES = {"artist": ("TPE1", "TP1", "TPE2", "TP2"), "album": ("TALB", "TAL"),
             "title": ("TIT2", "TT2"), "track": ("TRCK", "TRK"), "year": ("TYER", "TYE", "TDRC"),
             "genre": ("TCON", "TCO")}


def known_wrong(data, field, tag_kind):
    """Why the library's value of `field` is not to be compared, or None."""
    if tag_kind == "v1":
        if field == "genre" and len(data) >= 128 and data[-128:-125] == b"TAG" \
                and 192 <= data[-1] < 255:
            return "ID3v1 genre beyond the list"
        return None
    frames = first_frames(data)
    for fid in V2_FRAMES[field]:
        if fid in frames:
            version, encoding, marked = frames[fid]
            if version == 4:
                return "ID3v2.4, which the library does not read"
            if encoding == 1 and not marked:
                return "UTF-16 without a byte order mark"
            if encoding in (2, 3):
                return "UTF-16BE or UTF-8, which the library reads as UTF-16"
    if data[:3] == b"ID3" and data[3] == 4:
        return "ID3v2.4, which the library does not read"
    return None


# The two readers -------------------------------------------------------------------------------

def ours(paths):
    run = subprocess.run([TAG_FIELDS, *paths], capture_output=True, check=True)
    lines = [json.loads(line) for line in run.stdout.decode("utf-8").splitlines()]
    return {line["path"]: line for line in lines}


def unescaped(value):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r"}.get(m.group(1), m.group(1)), value)


def library(path):
    """The library's fields of the ID3v2 tags and of the ID3v1 tag, or None when it crashed."""
    try:
        run = subprocess.run([ID3LIB_FIELDS, path], capture_output=True, timeout=30)
    except subprocess.TimeoutExpired:
        return None
    if run.returncode != 0:
        return None
    frames = {}
    for line in run.stdout.decode("utf-8").split("\n"):
        key, _, value = line.partition("=")
        frames[key] = unescaped(value)
    result = {}
    for kind in ("v2", "v1"):
        get = lambda name: frames.get(f"{kind}.{name}", "")
        time = get("TDRC")
        result[kind] = {
            "artist": get("TPE1") or get("TPE2"),
            "album": get("TALB"),
            "title": get("TIT2"),
            "track": get("TRCK"),
            "year": time[:4] if re.fullmatch(r"[0-9]{4}.*", time, re.S) else get("TYER"),
            "genre": get("genre"),
        }
    return result


def compare(name, data, mine, theirs, strict):
    """Compares one file's fields; `strict` for files as written."""
    if theirs is None:
        if strict:
            failures.append(f"{name}: the library failed on a file as written")
        counts["files the library crashed on"] += 1
        return
    counts["files compared"] += 1
    for kind in ("v2", "v1"):
        for field in FIELDS:
            a, b = mine[kind][field], theirs[kind][field]
            if a == b:
                counts["fields equal" if a else "fields absent in both"] += 1
                continue
            reason = known_wrong(data, field, kind)
            if reason:
                counts[f"not compared: {reason}"] += 1
            elif a and b:
                failures.append(f"{name}: {kind} {field}: ours {a!r}, the library's {b!r}")
            elif strict:
                failures.append(f"{name}: {kind} {field}: ours {a!r}, the library's {b!r}")
            else:
                counts["found by " + ("us" if a else "the library") + " only"] += 1


# The files ------------------------------------------------------------------------------------

def mp3s(folder):
    return sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".mp3"))


def tag_region(data):
    """Where the bytes of the tags lie: the ID3v2 tags up to their padding, and ID3v1."""
    regions = []
    if data[:3] == b"ID3":
        size = sum((data[6 + i] & 0x7F) << (21 - 7 * i) for i in range(4))
        end = min(len(data), 10 + size)
        used = len(data[:end].rstrip(b"\0"))
        regions.append((0, max(used, 10)))
    if len(data) >= 128 and data[-128:-125] == b"TAG":
        regions.append((len(data) - 128, len(data)))
    return regions


def mutated(rng, data):
    data = bytearray(data)
    start, end = rng.choice(tag_region(data))
    kind = rng.random()
    if kind < 0.2:
        return bytes(data[:rng.randrange(start, end)])
    for _ in range(rng.randint(1, 4)):
        at = rng.randrange(start, end)
        data[at] = rng.randrange(256) if kind < 0.6 else data[at] ^ (1 << rng.randrange(8))
    return bytes(data)


def main():
    work = tempfile.mkdtemp()
    files = {}
    for path in mp3s(DATA) + mp3s(TAGGED):
        with open(path, "rb") as f:
            files[os.path.basename(path)] = f.read()
    audio = files["cbr_64k_44100_mono.mp3"][:2000]
    files.update(built_tags(audio))
    paths = {}
    for name, data in files.items():
        paths[name] = os.path.join(work, name)
        with open(paths[name], "wb") as f:
            f.write(data)

    mine = ours(list(paths.values()))
    for name, data in files.items():
        compare(name, data, mine[paths[name]], library(paths[name]), strict=True)
    as_written = counts["files compared"]

    # What the commands wrote.
    with open(os.path.join(TAGGED, "written-fields.tsv"), encoding="utf-8") as f:
        rows = [line.rstrip("\n").split("\t") for line in f][1:]
    written = {}
    for name, field, value in rows:
        written.setdefault(name, {})[field] = value
    for name, values in written.items():
        fields = mine[paths[name]]["all"]
        cover = fields.get("cover")
        got = {field: fields[field] for field in FIELDS if fields[field]}
        if cover:
            got["cover"] = f"{cover['typeName']}, {cover['mime']}, {cover['bytes']}"
        if got != values:
            failures.append(f"{name}: ours {got}, written {values}")
        counts["files as written checked"] += 1

    # Damaged copies.
    rng = random.Random(SEED)
    bases = [name for name, data in files.items() if tag_region(data)]
    damaged = {}
    for i in range(MUTATIONS):
        base = rng.choice(bases)
        name = f"damaged_{i:03}_{base}"
        damaged[name] = mutated(rng, files[base])
        paths[name] = os.path.join(work, name)
        with open(paths[name], "wb") as f:
            f.write(damaged[name])
    mine = ours([paths[name] for name in damaged])
    for name, data in damaged.items():
        compare(name, data, mine[paths[name]], library(paths[name]), strict=False)

    for name in paths.values():
        os.remove(name)
    os.rmdir(work)

    print(f"{as_written} files as written, {MUTATIONS} damaged copies:")
    for what, count in sorted(counts.items()):
        print(f"  {what}: {count}")
    for failure in failures:
        print("DIFFERENT " + failure)
    print(f"{counts['fields equal']} fields equal, {len(failures)} different")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
