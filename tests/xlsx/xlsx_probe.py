"""Looks at .xlsx files with openpyxl and zipfile for the workbook tests.

  xlsx_probe.py dump FILE [MAX_ROWS]  what each sheet holds, as JSON
  xlsx_probe.py parts FILE            SHA-256 of every zip entry's content, as JSON
  xlsx_probe.py fixture FILE          writes a workbook like one a user keeps: two sheets, shared
                                      strings, a formula with its calculation chain, a merge,
                                      column widths and a part no spreadsheet code knows
  xlsx_probe.py prefixed FILE         the same, its first sheet written with an "x:" prefix as some
                                      generators write it
  xlsx_probe.py macros FILE           the fixture as a macro-enabled workbook (.xlsm) with a VBA project,
                                      both of its sheets selected (grouped)
  xlsx_probe.py replace FILE ENTRY TEXT  replaces the content of one zip entry
  xlsx_probe.py rename FILE ENTRY NAME   renames one zip entry
"""
import hashlib
import json
import re
import sys
import zipfile

import openpyxl
from openpyxl.styles import Alignment, Font
from openpyxl.utils import get_column_letter


def read_entries(path):
    with zipfile.ZipFile(path) as archive:
        return {info.filename: archive.read(info) for info in archive.infolist()}


def write_entries(path, entries):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries.items():
            archive.writestr(name, data)


def dump(path, max_rows):
    book = openpyxl.load_workbook(path, keep_vba=path.lower().endswith(".xlsm"))
    with zipfile.ZipFile(path) as archive:
        types = archive.read("[Content_Types].xml").decode()
    workbook_type = re.search(r'PartName="/xl/workbook.xml" ContentType="([^"]*)"', types)
    result = {"sheets": book.sheetnames, "data": {},
              "states": {sheet.title: sheet.sheet_state for sheet in book.worksheets},
              "active": book.active.title,
              "selected": [sheet.title for sheet in book.worksheets if sheet.sheet_view.tabSelected],
              "workbookType": workbook_type.group(1) if workbook_type else None}
    for sheet in book.worksheets:
        cells = {}
        for row in sheet.iter_rows(max_row=min(sheet.max_row, max_rows)):
            for cell in row:
                if cell.value is None and not cell.has_style:
                    continue
                border = cell.border
                cells[cell.coordinate] = {
                    "value": cell.value if not hasattr(cell.value, "isoformat") else str(cell.value),
                    "type": cell.data_type,
                    "format": cell.number_format,
                    "size": cell.font.sz,
                    "h": cell.alignment.horizontal,
                    "v": cell.alignment.vertical,
                    "border": ",".join(str(side.style) for side in
                                       (border.left, border.right, border.top, border.bottom)),
                }
        result["data"][sheet.title] = {
            "cells": cells,
            "merges": sorted(str(r) for r in sheet.merged_cells.ranges),
            "widths": {get_column_letter(c): v.width for v in sheet.column_dimensions.values()
                       if v.customWidth for c in range(v.min, v.max + 1)},
            "orientation": sheet.page_setup.orientation,
            "heights": {str(r): d.height for r, d in sheet.row_dimensions.items() if d.customHeight},
        }
    json.dump(result, sys.stdout)


def parts(path):
    with zipfile.ZipFile(path) as archive:
        if archive.testzip() is not None:
            raise SystemExit("damaged zip entry")
        json.dump({info.filename: hashlib.sha256(archive.read(info)).hexdigest()
                   for info in archive.infolist()}, sys.stdout)


def fixture(path):
    book = openpyxl.Workbook()
    report = book.active
    report.title = "Report"
    for r in range(1, 7):
        for c in range(1, 5):
            report.cell(row=r, column=c, value=f"old {r}-{c}")
    report["E7"] = "=SUM(1,2)"
    report["B2"].font = Font(sz=20)
    report["B2"].alignment = Alignment(horizontal="right")
    report.merge_cells("B2:C2")
    report.column_dimensions["B"].width = 30  # widened to B:F below
    report.page_setup.orientation = "landscape"
    other = book.create_sheet("Other")
    other["A1"] = "共享文本"
    other["A1"].font = Font(bold=True, sz=14)
    other["A2"] = "old 1-1"
    other["B1"] = 42
    other.sheet_state = "hidden"
    book.save(path)

    # Add what openpyxl does not write: shared strings as the spreadsheet application keeps text,
    # a calculation chain and a part of another program.
    entries = read_entries(path)
    strings = []

    def shared(match):
        strings.append(match.group(1))
        return b't="s"><v>%d</v></c>' % (len(strings) - 1)
    for name in ("xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"):
        entries[name] = re.sub(rb't="inlineStr"><is><t>([^<]*)</t></is></c>', shared, entries[name])
    entries["xl/sharedStrings.xml"] = (
        b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        b'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="%d" uniqueCount="%d">'
        % (len(strings), len(strings)) + b"".join(b"<si><t>%s</t></si>" % s for s in strings) + b"</sst>")
    entries["xl/calcChain.xml"] = (
        b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        b'<calcChain xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
        b'<c r="E7" i="1"/></calcChain>')
    entries["xl/worksheets/sheet1.xml"] = entries["xl/worksheets/sheet1.xml"].replace(
        b'min="2" max="2"', b'min="2" max="6"')
    entries["customXml/item1.xml"] = b'<?xml version="1.0"?><data xmlns="urn:example">\xe6\x95\xb0</data>'
    entries["[Content_Types].xml"] = entries["[Content_Types].xml"].replace(
        b"</Types>",
        b'<Override PartName="/xl/calcChain.xml" ContentType="application/'
        b'vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml"/>'
        b'<Override PartName="/xl/sharedStrings.xml" ContentType="application/'
        b'vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/></Types>')
    entries["xl/_rels/workbook.xml.rels"] = entries["xl/_rels/workbook.xml.rels"].replace(
        b"</Relationships>",
        b'<Relationship Id="rId99" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
        b'relationships/calcChain" Target="calcChain.xml"/>'
        b'<Relationship Id="rId98" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
        b'relationships/sharedStrings" Target="sharedStrings.xml"/></Relationships>')
    write_entries(path, entries)


def macros(path):
    fixture(path)
    entries = read_entries(path)
    entries["xl/vbaProject.bin"] = bytes(range(256)) * 16
    # Both sheets selected, as when the user grouped them.
    for name in ("xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"):
        entries[name] = entries[name].replace(b'<sheetView workbookViewId="0">',
                                              b'<sheetView tabSelected="1" workbookViewId="0">')
    entries["[Content_Types].xml"] = entries["[Content_Types].xml"].replace(
        b"spreadsheetml.sheet.main+xml", b"placeholder").replace(
        b"application/vnd.openxmlformats-officedocument.placeholder",
        b"application/vnd.ms-excel.sheet.macroEnabled.main+xml").replace(
        b"</Types>", b'<Default Extension="bin" ContentType="application/vnd.ms-office.vbaProject"/></Types>')
    entries["xl/_rels/workbook.xml.rels"] = entries["xl/_rels/workbook.xml.rels"].replace(
        b"</Relationships>",
        b'<Relationship Id="rId97" Type="http://schemas.microsoft.com/office/2006/relationships/vbaProject" '
        b'Target="vbaProject.bin"/></Relationships>')
    write_entries(path, entries)


def replace(path, entry, text, new_name=None):
    entries = read_entries(path)
    if new_name:
        entries[new_name] = entries.pop(entry)
    else:
        entries[entry] = text.encode()
    write_entries(path, entries)


def prefixed(path):
    fixture(path)
    with zipfile.ZipFile(path) as archive:
        sheet = archive.read("xl/worksheets/sheet1.xml").decode()
    sheet = re.sub(r"<(/?)([A-Za-z]+)", r"<\1x:\2", sheet).replace("xmlns=", "xmlns:x=")
    replace(path, "xl/worksheets/sheet1.xml", sheet)


if __name__ == "__main__":
    command, target = sys.argv[1], sys.argv[2]
    if command == "dump":
        dump(target, int(sys.argv[3]) if len(sys.argv) > 3 else 1000)
    elif command == "parts":
        parts(target)
    elif command == "fixture":
        fixture(target)
    elif command == "macros":
        macros(target)
    elif command == "prefixed":
        prefixed(target)
    elif command == "replace":
        replace(target, sys.argv[3], sys.argv[4])
    elif command == "rename":
        replace(target, sys.argv[3], None, sys.argv[4])
    else:
        raise SystemExit(f"unknown command {command}")
