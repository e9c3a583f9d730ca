#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing VELDRIX
# need. Packages already present are skipped, so a second run costs only the
# check. With --fixtures it also installs the independent tools that remake
# the committed test fixtures (tests/exchange/fixtures/make_fixtures.sh; it
# needs node and npm besides, which this machine's image provides).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  qt6-svg-dev
  libsqlite3-dev sqlite3
  # Linear algebra of the Poisson regression of the rate ratios.
  libeigen3-dev
  xvfb xauth x11-utils fonts-dejavu-core imagemagick
  mdbtools mdbtools-dev libfreexl-dev pxlib-dev libshp-dev
  # .xlsx, Stata, SAS and SPSS readers; openpyxl writes the .xlsx test workbooks.
  libzip-dev libreadstat-dev python3-openpyxl
  # .xlsx writer; R (haven, foreign), the readstat tool and LibreOffice Calc
  # read the written CSV, .xlsx and .dta files back and remake the fixtures.
  libxlsxwriter-dev r-base-core r-cran-haven r-cran-foreign readstat libreoffice-calc-nogui
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql postgresql
  python3
  # Independent readers of the exported tables in the writer tests.
  python3-xlrd python3-dbfread gnumeric
  libreoffice-writer-nogui poppler-utils xdotool
  # The study report is printed to PDF by headless Chromium; its test reads the PDF with pdftotext.
  chromium
  # R recomputes the example's stratum tables (tests/mortality/stratum_check.R).
  r-base-core r-cran-survival
  # The fuzz harnesses (fuzz/), which CTest builds and runs on their seeds:
  # clang and libFuzzer (libclang_rt.fuzzer is in libclang-rt-14-dev).
  clang-14 libclang-rt-14-dev ccache
)
if [ "${1:-}" = "--fixtures" ]; then
  packages+=(python3-xlwt python3-dbf python3-openpyxl)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}; run this script as root to install them." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
