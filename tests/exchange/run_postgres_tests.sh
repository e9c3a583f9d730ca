#!/usr/bin/env bash
# Starts a private PostgreSQL server on 127.0.0.1 in a temporary folder, fills
# it with the tables of the PostgresOdbc tests, runs them and stops the server.
# Usage: run_postgres_tests.sh <test_exchange_odbc binary>
set -euo pipefail
binary="$1"
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
dir="$(mktemp -d)"
port=$((55432 + $$ % 1000))
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then su postgres -s /bin/sh -c "$*"; else sh -c "$*"; fi
}
[ "$(id -u)" -eq 0 ] && chown postgres "$dir"
stop() {
  as_owner "'$bin/pg_ctl' -D '$dir/data' -m fast -w stop" >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap stop EXIT
as_owner "'$bin/initdb' -D '$dir/data' -U postgres --auth=trust -E UTF8 --locale=C.UTF-8" >/dev/null
as_owner "'$bin/pg_ctl' -D '$dir/data' -l '$dir/log' -w -o '-c listen_addresses=127.0.0.1 -c port=$port -k $dir' start" >/dev/null
"$bin/pg_isready" -h 127.0.0.1 -p "$port" -t 20 >/dev/null
"$bin/psql" -q -h 127.0.0.1 -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 <<'SQL'
CREATE TABLE cohort (name VARCHAR(30), born DATE, sex SMALLINT, id INTEGER, weight DOUBLE PRECISION,
                     alive BOOLEAN, seen TIMESTAMP);
INSERT INTO cohort VALUES ('Smith', '1950-02-01', 1, 101, 72.5, true, '2001-02-03 12:00:00');
INSERT INTO cohort VALUES ('Müller', '1889-05-12', 2, 102, 60.25, false, NULL);
INSERT INTO cohort VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE SCHEMA study;
CREATE TABLE study.rates (age INTEGER, rate DOUBLE PRECISION);
INSERT INTO study.rates VALUES (40, 0.0012), (45, 0.0021);
SQL
VDX_PG_PORT="$port" "$binary" --gtest_filter='PostgresOdbc.*'
