#!/usr/bin/python3
"""Reads a table that VELDRIX wrote with a reader of someone else's making and
prints it for the writer tests: one line per row (the column names first),
cells separated by the unit separator (0x1F), each cell a type letter, a
colon and its value: N number (Python's repr), T text, D date (yyyy-mm-dd),
B boolean (0/1), Z empty.

Usage: independent_read.py xlrd|dbfread|html|ssconvert|csv|openpyxl|soffice|haven FILE
Exit code 3 when the reader's module (or gnumeric's ssconvert, LibreOffice,
R's haven) is not installed.
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


def typed_texts(lines, date_pattern, booleans):
    """Cells typed back from the texts of a CSV: empty, a date (with a time
    of day "hh:mm:ss" when not midnight), a boolean, a number, else text."""
    import re
    rows = []
    for line in lines:
        row = []
        for text in line:
            date = re.fullmatch(date_pattern, text)
            if text == "":
                row.append("Z:")
            elif date:
                row.append("D:%s-%s-%s" % date.groups()[:3] + (" " + date.group(4) if date.group(4) else ""))
            elif text in booleans:
                row.append("B:%d" % (text == booleans[0]))
            elif re.fullmatch(r"-?\d+(\.\d+)?([eE][-+]?\d+)?", text):
                row.append(cell_number(text))
            else:
                row.append("T:" + text)
        rows.append(row)
    return rows


def read_csv(path):
    """Python's csv module on the bytes as they are: a record must end in
    CR LF, and the file must be UTF-8."""
    import csv
    with open(path, "rb") as f:
        raw = f.read()
    print("#crlf %d lf %d" % (raw.count(b"\r\n"), raw.count(b"\n")))
    lines = list(csv.reader(raw.decode("utf-8").splitlines(keepends=True), strict=True))
    emit(typed_texts(lines, r"(\d{4})-(\d\d)-(\d\d)(?: (\d\d:\d\d:\d\d))?", ("True", "False")))


def read_openpyxl(path):
    try:
        import openpyxl
    except ImportError:
        sys.exit(3)
    import datetime
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    print("#sheet " + sheet.title + " sheets %d" % len(book.worksheets))
    rows = []
    for cells in sheet.iter_rows():
        row = []
        for cell in cells:
            v = cell.value
            if v is None:
                row.append("Z:")
            elif isinstance(v, bool):
                row.append("B:%d" % v)
            elif isinstance(v, datetime.datetime):
                row.append("D:%04d-%02d-%02d" % (v.year, v.month, v.day) +
                           (" " + v.strftime("%H:%M:%S") if v.time() != datetime.time() else ""))
            elif isinstance(v, (int, float)):
                row.append(cell_number(v))
            else:
                row.append("T:" + v)
        rows.append(row)
    emit(rows)


def read_soffice(path):
    """LibreOffice Calc converts the workbook to CSV (UTF-8) as the cells
    show: dates in their date format, booleans TRUE/FALSE."""
    import csv
    import os
    import shutil
    import subprocess
    import tempfile

    if not shutil.which("soffice"):
        sys.exit(3)
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + folder + "/profile",
                        "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir", folder, path],
                       check=True, capture_output=True)
        out = os.path.join(folder, os.path.splitext(os.path.basename(path))[0] + ".csv")
        with open(out, newline="", encoding="utf-8") as f:
            lines = list(csv.reader(f))
    emit(typed_texts(lines, r"(\d{4})-(\d\d)-(\d\d)(?: (\d\d:\d\d:\d\d))?", ("TRUE", "FALSE")))


HAVEN_SCRIPT = r"""
suppressMessages(library(haven))
d <- read_dta(commandArgs(TRUE)[1])
cat("#label", attr(d, "label"), "\n")
cell <- function(v) {
  if (is.na(v)) return("Z:")
  if (inherits(v, "Date")) return(paste0("D:", format(v, "%Y-%m-%d")))
  if (inherits(v, "POSIXct")) {
    t <- format(v, "%H:%M:%S", tz = "UTC")
    return(paste0("D:", format(v, "%Y-%m-%d", tz = "UTC"), if (t == "00:00:00") "" else paste0(" ", t)))
  }
  if (is.numeric(v)) return(paste0("N:", sprintf("%.17g", v)))
  paste0("T:", v)
}
cat(paste0("T:", names(d), collapse = "\x1f"), "\n", sep = "")
for (r in seq_len(nrow(d)))
  cat(paste(vapply(seq_along(d), function(c) cell(d[[c]][r]), ""), collapse = "\x1f"), "\n", sep = "")
"""


def read_haven(path):
    import shutil
    import subprocess
    if not shutil.which("Rscript"):
        sys.exit(3)
    run = subprocess.run(["Rscript", "-e", "if (!requireNamespace('haven', quietly = TRUE)) quit(status = 3)",
                          "-e", HAVEN_SCRIPT, path], capture_output=True)
    if run.returncode == 3:
        sys.exit(3)
    sys.stderr.write(run.stderr.decode())
    if run.returncode != 0:
        sys.exit(run.returncode)
    sys.stdout.write(run.stdout.decode("utf-8"))


if __name__ == "__main__":
    readers = {"xlrd": read_xlrd, "dbfread": read_dbfread, "html": read_html, "ssconvert": read_ssconvert,
               "csv": read_csv, "openpyxl": read_openpyxl, "soffice": read_soffice, "haven": read_haven}
    readers[sys.argv[1]](sys.argv[2])
