"""A workbook read back without a spreadsheet program: its sheets' cells with their types, as a
spreadsheet reads them, from Python's zipfile and an XML parser. It fails on anything a
listing's workbook must not hold: a formula, a shared or error string, a sheet without its
frozen header and its filter."""

import io
import re
import xml.etree.ElementTree as ElementTree
import zipfile

SHEET = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"


def cell_text(text):
    """A cell's string as a spreadsheet reads it: "_xHHHH_" is the character U+HHHH."""
    return re.sub(r"_x([0-9A-Fa-f]{4})_", lambda match: chr(int(match.group(1), 16)), text)


def workbook(data):
    """{sheet name: rows}, each row {column name: (type, value)}: "s" text, "n" number (with
    whether it is shown as a time), "b" boolean; and "@notes", the notes of its cells by
    column."""
    book = zipfile.ZipFile(io.BytesIO(data))
    styles = ElementTree.fromstring(book.read("xl/styles.xml"))
    formats = {int(f.get("numFmtId")): f.get("formatCode") for f in styles.iter(SHEET + "numFmt")}
    times = [formats.get(int(xf.get("numFmtId"))) == "[h]:mm:ss"
             for xf in styles.find(SHEET + "cellXfs")]
    names = [sheet.get("name") for sheet in
             ElementTree.fromstring(book.read("xl/workbook.xml")).iter(SHEET + "sheet")]
    sheets = {}
    for number, name in enumerate(names, 1):
        xml = book.read(f"xl/worksheets/sheet{number}.xml")
        assert b"<f>" not in xml and b"<f " not in xml, name  # no formula anywhere
        root = ElementTree.fromstring(xml)
        assert root.find(f"{SHEET}sheetViews/{SHEET}sheetView/{SHEET}pane").get("state") == "frozen"
        assert root.find(SHEET + "autoFilter") is not None, name
        notes = {}
        relations = f"xl/worksheets/_rels/sheet{number}.xml.rels"
        for relation in (ElementTree.fromstring(book.read(relations)) if relations in
                         book.namelist() else []):
            if relation.get("Target").startswith("../comments"):
                for comment in ElementTree.fromstring(book.read(
                        "xl/" + relation.get("Target")[3:])).iter(SHEET + "comment"):
                    notes[comment.get("ref")] = "".join(comment.itertext())
        header, rows = None, []
        for row in root.iter(SHEET + "row"):
            cells, cut = {}, {}
            for cell in row:
                column = re.match(r"[A-Z]+", cell.get("r")).group()
                kind = cell.get("t", "n")
                if kind == "inlineStr":
                    value = ("s", cell_text("".join(cell.find(SHEET + "is").itertext())))
                elif kind == "b":
                    value = ("b", cell.find(SHEET + "v").text == "1")
                else:
                    assert kind == "n", (name, kind)  # never a shared, formula or error string
                    value = ("n", float(cell.find(SHEET + "v").text),
                             times[int(cell.get("s", "0"))])
                cells[column] = value
                if cell.get("r") in notes:
                    cut[column] = notes[cell.get("r")]
            if header is None:
                header = {column: value[1] for column, value in cells.items()}
            else:
                rows.append({header.get(column, column): value for column, value in cells.items()})
                if cut:
                    rows[-1]["@notes"] = {header[column]: note for column, note in cut.items()}
        sheets[name] = rows
    return sheets
