#!/usr/bin/env python3
"""The study report of the example study against the program's other outputs.

Usage: study_report_check.py VELDRIX_CLI EXAMPLES_FOLDER

Makes two SMR projects in a copy of the example study, writes the study
report as HTML and compares its figures with what `pyears`, `projects`,
`report` and `strata` print and with the cohort file read here; then the
escaping of user texts, --projects and the refused arguments.
"""
import csv
import datetime
import html
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

CLI, EXAMPLES = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def run(*args, rc=0):
    p = subprocess.run([CLI, *args], capture_output=True, text=True)
    check(p.returncode == rc, f"{args[0]} exit {p.returncode} (expected {rc}): {p.stderr.strip()}")
    return p.stdout


def fact(doc, row_id):
    """The data-value (or the text) of the cohort table's row `row_id`."""
    m = re.search(r'<tr id="%s">.*?</tr>' % re.escape(row_id), doc, re.S)
    check(m is not None, f"the report has a row {row_id}")
    if not m:
        return None
    values = re.findall(r'data-value="([^"]*)"', m.group(0))
    if values:
        return [float(v) for v in values]
    return re.sub(r"<[^>]*>", "", re.search(r"<td>(.*?)</td>", m.group(0), re.S).group(1))


work = tempfile.mkdtemp(prefix="vdx_study_report.")
try:
    os.chdir(work)
    shutil.copy(os.path.join(EXAMPLES, "example.vdx"), "study.vdx")
    summary = run("pyears", "study.vdx", "--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5",
                  "--calendar", "1950:2015:5", "--sex", "SEX=1,2", "--lag", "DOH=10")
    run("smr", "study.vdx", "--rate", "Rates", "--death", "ICD=162", "--pytable", "Age*Calendar*Sex=1")
    run("smr", "study.vdx", "--rate", "Rates", "--death", "ICD=160-165", "--pytable", "Age*Calendar*Sex=1",
        "--method", "Exact", "--level", "0.01")
    odd = "Resp <160-165> & \"co\" 'x'"
    run("rename", "study.vdx", "Project2", odd)
    run("study-report", "study.vdx", "--out", "report.html")
    doc = open("report.html", encoding="utf-8").read()

    # ---- the persons: as the person-years run counts them ---------------------------
    said = dict(re.findall(r"^(Persons \w+(?: \w+)?): (\d+) rows?$", summary, re.M))
    check(len(said) == 3, f"pyears prints persons read, included, left out: {said}")
    for label, row_id in [("Persons read", "persons-read"), ("Persons included", "persons-included"),
                          ("Persons left out", "persons-left-out")]:
        check(fact(doc, row_id) == said.get(label), f"{label}: report {fact(doc, row_id)}, pyears {said.get(label)}")
    days = int(re.search(r"^Person-years in Age\*Calendar: \S+ \((\d+) days\)$", summary, re.M).group(1))
    check(abs(fact(doc, "person-years")[0] - days / 365.25) < 1e-9, "person-years equal the run's days / 365.25")

    # ---- the cohort, read here from the file it was brought in from -----------------
    # Left out: follow-up that starts 10 years after hire (29 February: 28) later than the exit.
    day = lambda t: datetime.date(int(t[4:]), int(t[2:4]), int(t[:2]))
    lag_end = lambda d: d.replace(year=d.year + 10, day=28 if (d.month, d.day) == (2, 29) else d.day)
    rows = [line.rstrip("\n").split(";") for line in open(os.path.join(EXAMPLES, "cohort.txt"))][1:]
    kept = [r for r in rows if max(day(r[4]), lag_end(day(r[3]))) <= day(r[5])]
    check(len(rows) - len(kept) == int(said.get("Persons left out", -1)), "left out here as by pyears")
    ages = [(day(r[4]) - day(r[2])).days for r in kept]
    check(fact(doc, "persons-sex1") == str(sum(r[1] == "1" for r in kept)), "persons with SEX = 1")
    check(fact(doc, "persons-sex2") == str(sum(r[1] == "2" for r in kept)), "persons with SEX = 2")
    check(fact(doc, "deaths") == str(sum(r[6] != "0" for r in kept)), "deaths: ICD not 0")
    median, low, high = fact(doc, "age-at-entry")
    check(abs(median - statistics.median(ages) / 365.25) < 1e-9, f"median age at entry {median}")
    check(abs(low - min(ages) / 365.25) < 1e-9 and abs(high - max(ages) / 365.25) < 1e-9, "range of age at entry")
    first = min(day(r[4]) for r in kept).strftime("%d.%m.%Y")
    last = max(day(r[5]) for r in kept).strftime("%d.%m.%Y")
    check(fact(doc, "follow-up") == f"{first} to {last}", f"follow-up {fact(doc, 'follow-up')}")

    # ---- every SMR project: as projects, report and strata print it ----------------
    table = re.findall(r'<tr class="project">(.*?)</tr>', doc, re.S)
    listed = [line.split("\t") for line in run("projects", "study.vdx").splitlines()[1:]]
    check(len(table) == len(listed) == 2, f"two projects in the report ({len(table)}) and in projects")
    for line, row in zip(listed, table):
        name, observed, expected, smr, lower, upper = line[0], *line[6:11]
        check(html.unescape(re.search(r"<td>(.*?)</td>", row).group(1)) == name, f"project {name} in its row")
        cells = [float(v) for v in re.findall(r'data-value="([^"]*)"', row)]
        check(cells[:2] == [float(observed), float(expected)], f"{name}: O and E {cells[:2]}")
        check(all(abs(c - 100 * float(x)) <= 1e-12 * abs(c) for c, x in zip(cells[2:], (smr, lower, upper))),
              f"{name}: SMR and bounds times 100")
        report = run("report", "study.vdx", name)
        shown = re.search(r"^(\d+\.\d{8}) +(\d+\.\d{8}) +(\d+\.\d{8}) +(\S.*)$", report, re.M)
        check(shown is not None and [f"{c:.8f}" for c in cells[2:]] == list(shown.groups()[:3]),
              f"{name}: SMR and bounds as report prints them")
        check(shown is not None and shown.group(4).strip() in row, f"{name}: the method of the report")
        check(f"{cells[1]:.8f}" in report, f"{name}: Expected Cases as report prints it")
        totals = run("strata", "study.vdx", name).splitlines()[-1].split("\t")
        check(float(totals[-2]) == cells[1] and float(totals[-4]) == cells[0], f"{name}: strata totals {totals}")

    # ---- user texts escaped; nothing left empty --------------------------------------
    check(odd not in doc and html.escape(odd, quote=True).replace("&#x27;", "&#39;") in doc, "project name escaped")
    for t in re.findall(r"<table>(.*?)</table>", doc, re.S):
        check(re.search(r"<td[^>]*>[^<\s]", t) is not None, "a table without figures")
    for heading in ["Cohort", "Person-years settings", "SMR projects", "Plots", "Methods"]:
        check(f">{heading}</h2>" in doc, f"heading {heading}")
    check(doc.count("data:image/svg+xml;base64,") == 4, "forest, two observed-expected, person-years plots")
    methods = re.search(r'<h2 id="methods">Methods</h2>\n<p>(.*?)</p>', doc, re.S).group(1)
    for said_in_methods in ["10 years after the date of hire (DOH)", "14 age classes from 15 to 85",
                            "13 calendar periods from 1950 to 2015", "Byar and Exact methods", "95 and 99 %"]:
        check(said_in_methods in methods, f"methods say '{said_in_methods}'")

    # ---- --projects and --null; refused arguments ------------------------------------
    run("study-report", "study.vdx", "--out", "one.html", "--projects", "Project1", "--null", "1")
    one = open("one.html", encoding="utf-8").read()
    rows1 = re.findall(r'<tr class="project">(.*?)</tr>', one, re.S)
    check(len(rows1) == 1 and "Project1" in rows1[0], "--projects Project1: its row only")
    check(rows1 and abs(float(re.findall(r'data-value="([^"]*)"', rows1[0])[2]) - float(listed[0][8])) < 1e-15,
          "--null 1: the plain ratio")
    err = subprocess.run([CLI, "study-report", "study.vdx", "--out", "x.html", "--projects", "Nope"],
                         capture_output=True, text=True)
    check(err.returncode == 1 and "Nope" in err.stderr and not os.path.exists("x.html"), "unknown project refused")
    # ---- a table of causes and the SMR by exposure category: as their commands print them
    shutil.copy(os.path.join(EXAMPLES, "example.vdx"), "axis.vdx")
    run("pyears", "axis.vdx", "--dob", "DOB", "--entry", "DOE", "--exit", "DOX", "--age", "15:85:5",
        "--calendar", "1950:2015:5", "--by", "time-since-hire:0,10,20,30", "--hire", "DOH")
    printed = {"causes": run("causes", "axis.vdx", "--list", "default", "--death", "ICD", "--rate", "Rates",
                             "--name", "All causes"),
               "categories": run("categories", "axis.vdx", "--rate", "Rates", "--death", "ICD=162",
                                 "--name", "Lung by hire"),
               "ratios": run("rate-ratios", "axis.vdx", "--death", "ICD=162", "--name", "Lung ratios")}
    run("study-report", "axis.vdx", "--out", "axis.html")
    axis_doc = open("axis.html", encoding="utf-8").read()
    for heading, kind in [("Causes of death: All causes", "causes"), ("SMR by exposure category: Lung by hire",
                                                                        "categories")]:
        m = re.search(r"<h2>%s</h2>\n.*?</table>\n<table>(.*?)</table>" % re.escape(heading), axis_doc, re.S)
        check(m is not None, f"a section {heading}")
        if not m:
            continue
        shown = [[float(v) for v in re.findall(r'data-value="([^"]*)"', r)]
                 for r in re.findall(r"<tr[^>]*>(<td>.*?)</tr>", m.group(1), re.S)]
        lines = list(csv.reader(printed[kind].splitlines()))[1:]
        check(len(shown) == len(lines) > 1, f"{kind}: {len(shown)} rows shown, {len(lines)} printed")
        # causes print cause, sex, O, E, SMR, low, high; categories category, days, person-years, O, E, ...
        plain = 2 if kind == "causes" else 3
        for row, line in zip(shown, lines):
            expected = [float(v) if v not in ("", "nan") else None for v in line[2:]]
            got = row[:plain] + [v / 100 for v in row[plain:]]
            check(got == [e for e in expected if e is not None] or len(got) == len(expected),
                  f"{kind} {line[0]}: {got} vs {expected}")
            check(all(e is not None and abs(g - e) <= 1e-9 * max(1, abs(e)) for g, e in zip(got, expected)),
                  f"{kind} {line[0]}: {got} vs {expected}")
    # rate ratios: observed, person-years, ratio and bounds, standardised rate, ratio and bounds, as printed
    m = re.search(r"<h2>Rate ratios by exposure category: Lung ratios</h2>\n.*?</table>\n<table>(.*?)</table>",
                  axis_doc, re.S)
    check(m is not None, "a section of the rate ratios")
    printed_rows = [line for line in csv.reader(printed["ratios"].splitlines()[1:])
                    if line[0] not in ("trend", "heterogeneity")]
    shown = [[float(v) for v in re.findall(r'data-value="([^"]*)"', r)]
             for r in re.findall(r"<tr[^>]*>(<td>.*?)</tr>", m.group(1) if m else "", re.S)]
    check(len(shown) == len(printed_rows) > 1, f"ratios: {len(shown)} rows shown, {len(printed_rows)} printed")
    for row, line in zip(shown, printed_rows):
        expected = [float(v) for v in line[1:] if v]
        check(len(row) == len(expected) and all(abs(g - e) <= 1e-9 * max(1, abs(e)) for g, e in zip(row, expected)),
              f"ratios {line[0]}: {row} vs {expected}")
    check("split by time since first hire" in axis_doc, "methods name the exposure axis")

    run("new", "empty.vdx")
    err = subprocess.run([CLI, "study-report", "empty.vdx", "--out", "x.html"], capture_output=True, text=True)
    check(err.returncode == 1 and "person-years" in err.stderr and not os.path.exists("x.html"),
          "a study without person-years refused")
    for bad in (["--out", "x.txt"], ["--out", "x.html", "--null", "10"], ["--out", "x.html", "--projects", ","],
                ["--out"], []):
        run("study-report", "study.vdx", *bad, rc=2)
finally:
    shutil.rmtree(work, ignore_errors=True)

print(f"{len(failures)} failures")
sys.exit(1 if failures else 0)
