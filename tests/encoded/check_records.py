#!/usr/bin/env python3
"""quaverly-list's JSON Lines records of the encoded files, against truth.json: what make-files
knows of each file from how it made it. Every difference is reported, as file, field, expected
and got; the records of a run with --verify are checked for their health words too.

    check_records.py QUAVERLY_LIST ENCODED_FOLDER
"""

import json
import os
import subprocess
import sys

PROGRAM, FOLDER = sys.argv[1], sys.argv[2]
TRUTH = json.load(open(os.path.join(FOLDER, "truth.json"), encoding="utf-8"))["files"]
TAG_FIELDS = ("artist", "album", "title", "track", "year", "genre", "cover")

failures = []
checks = 0


def fail(name, field, expected, got):
    failures.append(f"{name}: {field}: expected {expected!r}, got {got!r}")


def records(*options):
    """The file records of one run, by name, or None when the run failed."""
    run = subprocess.run([PROGRAM, *options, "-f", "jsonl", "-o", "-", FOLDER],
                         capture_output=True)
    shown = " ".join(["quaverly-list", *options, "-f", "jsonl", "-o", "-", "tests/encoded"])
    if run.returncode not in (0, 1):
        fail("(run)", shown, "exit status 0 or 1",
             f"{run.returncode}: {run.stderr.decode(errors='replace')}")
        return None
    found = {}
    for line in run.stdout.decode().splitlines():
        record = json.loads(line)
        if record.get("type") == "file":
            found[record["name"]] = record
    if not found:
        fail("(run)", shown, "a record per file", f"none: {run.stderr.decode(errors='replace')}")
        return None
    return found


def empty(value):
    return value is None or value == "" or value == [] or value == {}


def same(field, expected, got):
    if expected is None:
        return empty(got)
    if field == "health":
        return isinstance(got, list) and sorted(got) == sorted(expected)
    if field in ("track", "year"):
        # A number, or the text of one: "3", "03" and "3/12" are track 3.
        try:
            return int(str(got).split("/")[0]) == expected
        except ValueError:
            return False
    return got == expected


def check(name, record, truth):
    global checks
    for field, expected in truth["record"].items():
        checks += 1
        if not same(field, expected, record.get(field)):
            fail(name, field, expected, record.get(field))
    for field, allowed in truth.get("record_one_of", {}).items():
        checks += 1
        got = record.get(field)
        if not any(same(field, value or None, got) for value in allowed):
            fail(name, field, "one of " + repr(allowed), got)
    for field in ("duration_seconds", "average_bitrate"):
        if field in truth:
            checks += 1
            bounds = truth[field]
            got = record.get(field)
            if not isinstance(got, (int, float)) or not bounds["min"] <= got <= bounds["max"]:
                fail(name, field, f"{bounds['min']:.6f} to {bounds['max']:.6f}"
                     + (f" ({bounds['why']})" if "why" in bounds else ""), got)
    if "encoder_delay_plus_padding" in truth:
        checks += 1
        delay, padding = record.get("encoder_delay"), record.get("encoder_padding")
        got = delay + padding if isinstance(delay, int) and isinstance(padding, int) else None
        if got != truth["encoder_delay_plus_padding"]:
            fail(name, "encoder_delay + encoder_padding", truth["encoder_delay_plus_padding"],
                 f"{delay!r} + {padding!r}")


def check_all(found, verify):
    global checks
    for name, truth in TRUTH.items():
        checks += 1
        record = found.get(name)
        if record is None:
            fail(name, "record", "a record", None)
        elif verify:
            checks += 1
            expected = truth["record_verify"]["health"]
            if not same("health", expected, record.get("health")):
                fail(name, "health with --verify", expected, record.get("health"))
        else:
            check(name, record, truth)
    for name, record in found.items():
        if record.get("mp3") and name not in TRUTH:
            fail(name, "truth", "an entry in truth.json (rerun make-files)", None)


for options, verify in (((), False), (("--verify",), True)):
    found = records(*options)
    if found is not None:
        check_all(found, verify)

for failure in failures:
    print(failure)
print(f"encoded: {len(TRUTH)} files, {checks} checks, {len(failures)} failed")
sys.exit(1 if failures else 0)
