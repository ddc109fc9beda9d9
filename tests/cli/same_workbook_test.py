#!/usr/bin/env python3
"""Lists tests/data as a workbook with quaverly-list and compares its sheets, cell for cell and
type for type, with those kept in tests_data_workbook.jsonl, a line a row: both platforms' builds must give
them. Numbers are compared to 12 significant digits, the most that the two builds' ways of
writing a number share; a workbook's creation time is not compared.

    same_workbook_test.py [--emulator E] PROGRAM FOLDER OUTPUT OUTPUT_FILE EXPECTED [--write]

OUTPUT is the workbook's path as the program names it, OUTPUT_FILE the same file as Python does;
--write keeps the sheets as EXPECTED instead.
"""

import argparse
import json
import subprocess
import sys

from workbook import workbook


def canonical(sheets):
    """A line for each row: its sheet, and its cells by column, numbers to 12 digits."""
    return [json.dumps([name, {column: [value[0], format(value[1], ".12g") if value[0] == "n"
                                        else value[1], *value[2:]]
                               for column, value in sorted(row.items())}], ensure_ascii=False)
            for name, rows in sheets.items() for row in rows]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulator", default="")
    parser.add_argument("--write", action="store_true")
    for name in ("program", "folder", "output", "output_file", "expected"):
        parser.add_argument(name)
    options = parser.parse_args()
    run = subprocess.run([*filter(None, [options.emulator]), options.program, "-f", "xlsx", "-o",
                          options.output, options.folder], capture_output=True)
    if run.returncode != 0:
        sys.exit(f"quaverly-list exited with {run.returncode}: {run.stderr.decode(errors='replace')}")
    sheets = canonical(workbook(open(options.output_file, "rb").read()))
    if options.write:
        with open(options.expected, "w", encoding="utf-8") as out:
            out.write("".join(line + "\n" for line in sheets))
        return
    expected = open(options.expected, encoding="utf-8").read().splitlines()
    for row, kept in zip(sheets, expected):
        if row != kept:
            sys.exit(f"{row}\nwhere this was kept:\n{kept}")
    if len(sheets) != len(expected):
        sys.exit(f"{len(sheets)} rows where {len(expected)} were kept")


if __name__ == "__main__":
    main()
