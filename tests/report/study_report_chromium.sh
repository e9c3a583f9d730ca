#!/usr/bin/env bash
# The study report in a real browser: headless Chromium prints the HTML of
# the example study to PDF, pdftotext reads it back; veldrix-cli's own PDF
# (printed the same way) is read too. Skipped (77) without chromium or pdftotext.
# Usage: study_report_chromium.sh <veldrix-cli> <examples folder>
set -u
CLI="$(realpath "$1")"
EXAMPLES="$(realpath "$2")"
CHROMIUM="$(command -v chromium || command -v chromium-browser)" || { echo "SKIP: chromium is not installed"; exit 77; }
command -v pdftotext > /dev/null || { echo "SKIP: pdftotext is not installed"; exit 77; }
WORK="$(mktemp -d /tmp/vdx_study_pdf.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cp "$EXAMPLES/example.vdx" study.vdx
"$CLI" smr study.vdx --rate Rates --death ICD=162 --pytable "Age*Calendar*Sex=1" > /dev/null || fail "smr"
"$CLI" study-report study.vdx --out report.html || fail "study-report --out report.html"
"$CHROMIUM" --headless --no-sandbox --disable-gpu --no-pdf-header-footer --user-data-dir="$WORK/profile" \
    --print-to-pdf="$WORK/browser.pdf" "file://$WORK/report.html" > chromium.log 2>&1 || fail "chromium: $(tail -3 chromium.log)"
"$CLI" study-report study.vdx --out report.pdf || fail "study-report --out report.pdf"

# O, E and SMR of the project as `projects` lists them, rounded as the report shows them.
IFS=$'\t' read -r -a p < <("$CLI" projects study.vdx | sed -n 2p)
observed="$(printf '%.0f' "${p[6]}")"
expected="$(printf '%.2f' "${p[7]}")"
smr="$(awk -v s="${p[8]}" 'BEGIN { printf "%.2f", s * 100 }')"
persons="$("$CLI" pyears study.vdx --dob DOB --entry DOE --exit DOX --age 15:85:5 --calendar 1950:2015:5 \
    --sex SEX=1,2 --lag DOH=10 | sed -n 's/^Persons included: \([0-9]*\) rows*$/\1/p')"
[ -n "$persons" ] || fail "pyears prints the persons included"

for pdf in browser.pdf report.pdf; do
    [ -s "$pdf" ] || { fail "$pdf not written"; continue; }
    pdftotext -layout "$pdf" "$pdf.txt" || { fail "pdftotext $pdf"; continue; }
    text="$(cat "$pdf.txt")"
    pages="$(pdfinfo "$pdf" | sed -n 's/^Pages: *//p')"
    [ "${pages:-0}" -ge 2 ] || fail "$pdf: $pages pages"
    for heading in "Study report: study.vdx" "Cohort" "Person-years settings" "SMR projects" "Plots" "Methods"; do
        grep -q "^ *$heading *$" <<<"$text" || fail "$pdf: heading '$heading'"
    done
    # Each figure on the line of its label or its project.
    grep -Eq "Persons included +$persons\b" <<<"$text" || fail "$pdf: persons included $persons"
    grep -Eq "Project1 .* $observed +$expected +$smr\b" <<<"$text" || fail "$pdf: Project1 $observed $expected $smr"
    # The plots' own texts come through as text: they are drawings, not pictures.
    grep -q "Person-years by age class and calendar period" <<<"$text" || fail "$pdf: the heat map"
    # No empty table: every table's header line is followed by a line of figures.
    grep -Eq "Reason +Persons" <<<"$text" && ! grep -EA1 "Reason +Persons" <<<"$text" | tail -1 | grep -q '[0-9]' &&
        fail "$pdf: the persons left out table is empty"
done
echo "$failures failures"
[ "$failures" -eq 0 ]
