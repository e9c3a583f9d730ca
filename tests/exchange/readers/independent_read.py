#!/usr/bin/python3
"""Reads a table that VELDRIX wrote with a reader of someone else's making and
prints it for the writer tests: one line per row (the column names first),
cells separated by the unit separator (0x1F), each cell a type letter, a
colon and its value: N number (Python's repr), T text, D date (yyyy-mm-dd),
B boolean (0/1), Z empty.

Usage: independent_read.py xlrd|dbfread|html|ssconvert FILE
Exit code 3 when the reader's module (or gnumeric's ssconvert) is not installed.
"""
import sys

SEP = "\x1f"


def cell_number(v):
    return "N:" + repr(float(v))


def emit(rows):
    out = sys.stdout
    for row in rows:
        out.write(SEP.join(row) + "\n")


def read_xlrd(path):
    try:
        import xlrd
    except ImportError:
        sys.exit(3)
    book = xlrd.open_workbook(path)
    sheet = book.sheet_by_index(0)
    print("#sheet " + sheet.name + " biff " + str(book.biff_version))
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                row.append("Z:")
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                row.append(cell_number(cell.value))
            elif cell.ctype == xlrd.XL_CELL_DATE:
                y, m, d, *_ = xlrd.xldate_as_tuple(cell.value, book.datemode)
                row.append("D:%04d-%02d-%02d" % (y, m, d))
            elif cell.ctype == xlrd.XL_CELL_BOOLEAN:
                row.append("B:%d" % cell.value)
            else:
                row.append("T:" + cell.value)
        rows.append(row)
    emit(rows)


def read_dbfread(path):
    try:
        import dbfread
    except ImportError:
        sys.exit(3)
    import datetime
    table = dbfread.DBF(path, encoding=None, char_decode_errors="strict")
    print("#encoding " + table.encoding)
    rows = [["T:" + name for name in table.field_names]]
    for record in table:
        row = []
        for name in table.field_names:
            v = record[name]
            if v is None:
                row.append("Z:")
            elif isinstance(v, bool):
                row.append("B:%d" % v)
            elif isinstance(v, (int, float)):
                row.append(cell_number(v))
            elif isinstance(v, datetime.date):
                row.append("D:%04d-%02d-%02d" % (v.year, v.month, v.day))
            else:
                row.append("T:" + v)
        rows.append(row)
    emit(rows)


def read_html(path):
    from html.parser import HTMLParser

    class TableParser(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.rows, self.cell, self.charset, self.tables = [], None, None, 0

        def handle_starttag(self, tag, attrs):
            attrs = dict(attrs)
            if tag == "meta" and "charset" in attrs:
                self.charset = attrs["charset"]
            elif tag == "table":
                self.tables += 1
            elif tag == "tr":
                self.rows.append([])
            elif tag in ("td", "th"):
                self.cell = ""

        def handle_endtag(self, tag):
            if tag in ("td", "th"):
                self.rows[-1].append("T:" + self.cell)
                self.cell = None

        def handle_data(self, data):
            if self.cell is not None:
                self.cell += data

    with open(path, "rb") as f:
        raw = f.read()
    parser = TableParser()
    parser.feed(raw.decode("utf-8"))
    parser.close()
    print("#charset %s tables %d" % (parser.charset, parser.tables))
    emit(parser.rows)


def read_ssconvert(path):
    """gnumeric converts the workbook to CSV; cells are typed back from the
    texts it writes (numbers, dates as yyyy/mm/dd, TRUE/FALSE)."""
    import csv
    import os
    import re
    import shutil
    import subprocess
    import tempfile

    if not shutil.which("ssconvert"):
        sys.exit(3)
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "sheet.csv")
        subprocess.run(["ssconvert", "--export-type=Gnumeric_stf:stf_csv", path, out],
                       check=True, capture_output=True)
        with open(out, newline="", encoding="utf-8") as f:
            lines = list(csv.reader(f))
    rows = []
    for line in lines:
        row = []
        for text in line:
            date = re.fullmatch(r"(\d{4})/(\d\d)/(\d\d)", text)
            if text == "":
                row.append("Z:")
            elif date:
                row.append("D:%s-%s-%s" % date.groups())
            elif text in ("TRUE", "FALSE"):
                row.append("B:%d" % (text == "TRUE"))
            elif re.fullmatch(r"-?\d+(\.\d+)?([eE][-+]?\d+)?", text):
                row.append(cell_number(text))
            else:
                row.append("T:" + text)
        rows.append(row)
    emit(rows)


if __name__ == "__main__":
    readers = {"xlrd": read_xlrd, "dbfread": read_dbfread, "html": read_html, "ssconvert": read_ssconvert}
    readers[sys.argv[1]](sys.argv[2])
