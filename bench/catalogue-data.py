#!/usr/bin/python3
"""Writes the data of a made-up collection as the catalogue page takes it (res/catalogue/README.md):
folders Artist/Album of about 12 tracks and a cover each, most VBR "-V 2" or "-V 0", some CBR,
a few files with findings. For timing the page:

    bench/catalogue-data.py 500000 > data.json
    cmake -DDATA=data.json -DPAGE=page.html -P res/catalogue/embed_catalogue.cmake
"""
import json
import random
import sys

HEALTH = ["cut-short", "junk-before-audio", "vbr-without-header", "lame-tag-crc", "junk-inside",
          "frame-crc", "music-crc"]
PROFILES = [  # share, the profile's fields after its kind
    (60, [1, 3, 44100, "joint stereo", "Xing", "Xing", "VBR", "LAME3.100", "-V 2", 19500, True, 576]),
    (18, [1, 3, 44100, "joint stereo", "Xing", "Xing", "VBR", "LAME3.100", "-V 0", 22100, True, 576]),
    (8, [1, 3, 44100, "joint stereo", "Info", "Info", "CBR", "LAME3.99r", "-b 320", 20500, True, 576]),
    (6, [1, 3, 44100, "stereo", "Info", "Info", "CBR", "LAME3.98r", "-b 192", 19000, True, 576]),
    (5, [1, 3, 44100, "joint stereo", None, "frames", "CBR", "", "", None, None]),
    (3, [1, 3, 48000, "joint stereo", "Xing", "Xing", "ABR", "LAME3.100", "--abr 160", 17500, True, 576]),
]
WORDS = ("love night blue river fire dream road home light rain heart stone city gold wind shadow "
         "summer winter echo silver ocean dance wild morning electric last first lost young").split()
GENRES = ["Rock", "Pop", "Jazz", "Electronic", "Folk", "Classical", "Hip-Hop", "Metal"]


def text(rng, words):
    return " ".join(rng.choice(WORDS).capitalize() for _ in range(words))


def escaped(value):
    out = json.dumps(value, ensure_ascii=False, separators=(",", ":"))
    for ch, esc in (("<", "\\u003c"), (">", "\\u003e"), ("&", "\\u0026"), ("\u2028", "\\u2028"),
                    ("\u2029", "\\u2029")):
        out = out.replace(ch, esc)
    return out


def trimmed(record):
    while record and record[-1] is None:
        record.pop()
    return record


class Rollup:
    def __init__(self):
        self.files = self.mp3 = self.bytes = self.findings = 0
        self.seconds = self.weighted = 0.0
        self.lowest = None
        self.encoders, self.modes = {}, {}

    def add(self, other):
        self.files += other.files
        self.mp3 += other.mp3
        self.bytes += other.bytes
        self.findings += other.findings
        self.seconds += other.seconds
        self.weighted += other.weighted
        if other.lowest is not None and (self.lowest is None or other.lowest < self.lowest):
            self.lowest = other.lowest
        for mine, theirs in ((self.encoders, other.encoders), (self.modes, other.modes)):
            for key, count in theirs.items():
                mine[key] = mine.get(key, 0) + count

    def record(self):
        average = round(self.weighted / self.seconds) if self.seconds else None
        return [4, self.files, self.mp3, self.bytes, round(self.seconds, 3), self.lowest, average,
                self.findings, self.encoders, self.modes]


def main():
    total = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    rng = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)
    out = sys.stdout
    out.write("[" + escaped({"catalogue": 1, "folder": "/srv/music", "separator": "/", "base": "../music/",
                       "health": HEALTH}))
    profiles = {}
    written = 0
    root = Rollup()
    artist_number = 0
    while written < total:
        artist_number += 1
        artist = text(rng, rng.randint(1, 3)) + " " + str(artist_number)
        artist_rollup = Rollup()
        for _ in range(rng.randint(1, 12)):
            if written >= total:
                break
            album = text(rng, rng.randint(1, 4))
            folder = artist + "/" + album
            out.write(",\n" + escaped([1, folder]))
            share = rng.uniform(0, 100)
            for weight, fields in PROFILES:
                share -= weight
                if share <= 0:
                    break
            key = json.dumps(fields)
            if key not in profiles:
                profiles[key] = len(profiles)
                out.write(",\n" + escaped(trimmed([2] + fields)))
            profile = profiles[key]
            cover = rng.randint(20000, 400000)
            year = str(rng.randint(1960, 2024))
            out.write(",\n" + escaped([3, artist, album, year, rng.choice(GENRES), "front cover",
                                       "image/jpeg", cover] if rng.random() < 0.8 else
                                      [3, artist, album, year, rng.choice(GENRES)]))
            r = Rollup()
            tracks = min(total - written, max(1, int(rng.gauss(12, 3))))
            mode = fields[6]
            for n in range(1, tracks + 1):
                title = text(rng, rng.randint(1, 5))
                name = "%02d %s.mp3" % (n, title)
                seconds = round(rng.uniform(90, 420), 3)
                if mode == "CBR":
                    bitrate = average = int(fields[8][3:]) if fields[8] else 128
                else:
                    average = rng.randint(170, 260) if fields[8] != "-V 2" else rng.randint(160, 230)
                    bitrate = rng.choice([128, 160, 192, 224, 256, 320])
                size = int(seconds * average * 125) + 4000
                frames = int(seconds * 38.28)
                health = None
                failure = None
                if rng.random() < 0.02:
                    health = [rng.choice(HEALTH)]
                if rng.random() < 0.003:
                    failure = "read error at %d" % rng.randint(0, size)
                record = [name, size, bitrate, profile, frames, seconds, average, 4096, 3, "%d/%d" % (n, tracks),
                          rng.randint(100, 1800), health, failure]
                out.write(",\n" + escaped(trimmed(record)))
                r.files += 1
                r.mp3 += 1
                r.bytes += size
                r.seconds += seconds
                r.weighted += average * seconds
                r.findings += 1 if health or failure else 0
                r.lowest = bitrate if r.lowest is None else min(r.lowest, bitrate)
                r.encoders[fields[7]] = r.encoders.get(fields[7], 0) + 1
                r.modes[mode] = r.modes.get(mode, 0) + 1
                written += 1
            if written < total:
                out.write(",\n" + escaped(["cover.jpg", cover]))
                r.files += 1
                r.bytes += cover
                written += 1
            out.write(",\n" + escaped(r.record()))
            artist_rollup.add(r)
        out.write(",\n" + escaped([1, artist]) + ",\n" + escaped(artist_rollup.record()))
        root.add(artist_rollup)
    out.write(",\n" + escaped([1, ""]) + ",\n" + escaped(root.record()) + "\n]")


if __name__ == "__main__":
    main()
