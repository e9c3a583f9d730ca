#!/usr/bin/env bash
# Our stratum tables of the example study against the same figures computed
# in R (stratum_check.R): two SMR projects, their strata printed by
# veldrix-cli and compared cell by cell.
# Usage: stratum_check.sh <veldrix-cli> <examples folder> <stratum_check.R>
set -u
CLI="$(realpath "$1")"
EXAMPLES="$(realpath "$2")"
SCRIPT="$(realpath "$3")"
command -v Rscript > /dev/null && Rscript -e 'library(survival)' > /dev/null 2>&1 ||
    { echo "SKIP: Rscript with the survival package is not installed"; exit 77; }
WORK="$(mktemp -d /tmp/vdx_stratum_check.XXXXXX)"
trap 'rm -rf "$WORK"' EXIT
cd "$WORK" || exit 1

cp "$EXAMPLES/example.vdx" x.vdx
"$CLI" smr x.vdx --rate Rates --death ICD=162 --name All >/dev/null 2>err.txt || { cat err.txt; exit 1; }
"$CLI" smr x.vdx --rate Rates --death "ICD=160-165" --pytable "Age*Calendar*Sex=1" --name MenGroup >/dev/null 2>err.txt ||
    { cat err.txt; exit 1; }
"$CLI" strata x.vdx All --format csv --null 1 >all.csv || exit 1
"$CLI" strata x.vdx MenGroup --format csv --null 1 >men.csv || exit 1
Rscript "$SCRIPT" "$EXAMPLES/cohort.txt" "$EXAMPLES/rates.txt" all.csv men.csv
