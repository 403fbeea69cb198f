# Reads a workbook (openpyxl) or a CSV file (the csv module) as a spreadsheet user's
# program would, and prints what it holds as JSON, for the tests of the exports.
#   readback.py xlsx FILE            sheets: name, frozen cell, filter, widths, cells
#   readback.py csv FILE DELIMITER   byte order mark, records
import csv
import datetime
import io
import json
import sys


def cell(value):
    """The type and value of a cell: ["int", "42"]."""
    if value is None:
        return ["none", ""]
    if isinstance(value, bool):
        return ["bool", str(value)]
    if isinstance(value, int):
        return ["int", str(value)]
    if isinstance(value, float):
        return ["float", repr(value)]
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return [type(value).__name__, value.isoformat()]
    return ["str", value]


def workbook(path):
    import openpyxl

    book = openpyxl.load_workbook(path)
    sheets = []
    for sheet in book.worksheets:
        rows = [[cell(c.value) + [c.number_format, bool(c.font.b)] for c in row] for row in sheet.iter_rows()]
        widths = [sheet.column_dimensions[k].width for k in sorted(sheet.column_dimensions.keys())]
        sheets.append({"name": sheet.title, "freeze": sheet.freeze_panes, "filter": sheet.auto_filter.ref,
                       "widths": widths, "rows": rows})
    return sheets


def csv_file(path, delimiter):
    raw = open(path, "rb").read()
    bom = raw.startswith(b"\xef\xbb\xbf")
    text = raw.decode("utf-8-sig")
    return {"bom": bom, "rows": list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter))}


if __name__ == "__main__":
    result = workbook(sys.argv[2]) if sys.argv[1] == "xlsx" else csv_file(sys.argv[2], sys.argv[3])
    print(json.dumps(result, ensure_ascii=False))
