#!/usr/bin/env bash
# The event journal's cost.
#
# (a) A journal of a million events spread over the last 30 days (about 33 000
#     in the last 24 hours), filled in one transaction through sqlite3 into the
#     file the program made, then `kv73ctl events --since 24h` timed, as text and
#     as JSON (target: under one second), with SQLite's plan for its query:
#     it must search the time index, not scan the table.
# (b) What a write costs a poll: the median and worst of one event written into
#     the journal (WAL mode, one transaction each) on this disk, alone and with
#     another process writing the same file; and the latency of `kv73ctl watch`
#     polls at 9600 baud (kv73-sim --wire-time) with the journal and with a
#     journal that cannot be written.
#
# On the development machine (SSD): 33 333 events of the last 24 h in 230-240 ms
# as text or JSON, SQLite searching the index on ms (events_ms; with --address the
# covering index on address and ms); a write 41 us median, 4 ms worst (a WAL
# checkpoint), 10 ms worst with another process writing; watch at 9600 baud
# 46.6 ms median a poll with the journal or without.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_BANCO[@]}"
eventos=${EVENTOS:-1000000}
sondeos=${SONDEOS:-200}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_BENCH=ON >/dev/null
cmake --build build-bench -j 2 --target diario_bench kv73ctl kv73-sim >/dev/null
command -v sqlite3 >/dev/null || { echo "bench/diario.sh needs sqlite3" >&2; exit 1; }

carpeta=$(mktemp -d /tmp/kv73-diario.XXXXXX)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; wait 2>/dev/null; rm -rf "$carpeta"' EXIT
export KV73_EVENTS="$carpeta/events.sqlite"
ctl=./build-bench/kv73ctl/kv73ctl

echo "== (a) $eventos events, kv73ctl events --since 24h"
# The program makes the file, its table and indexes; sqlite3 fills it.
./build-bench/diario_bench "$KV73_EVENTS" 1 >/dev/null
ahora=$(date +%s%3N)
tipos="'lamp','link','setpoints','reset-max'"
t0=$(date +%s%N)
sqlite3 "$KV73_EVENTS" <<SQL
BEGIN;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $eventos)
INSERT INTO events (time, ms, device, address, kind, what, value, before, after, source)
SELECT strftime('%Y-%m-%dT%H:%M:%f', ($ahora - i * 2592) / 1000.0, 'unixepoch') || '+00:00',
       $ahora - i * 2592, '/dev/ttyUSB0', 1 + i % 10,
       (CASE i % 4 WHEN 0 THEN 'lamp' WHEN 1 THEN 'link' WHEN 2 THEN 'setpoints' ELSE 'reset-max' END),
       'L1', (CASE i % 2 WHEN 0 THEN 'on' ELSE 'off' END), '"off"', '"on"', 'bench'
FROM n;
COMMIT;
SQL
t1=$(date +%s%N)
echo "filled in $(( (t1 - t0) / 1000000 )) ms; $(du -h "$KV73_EVENTS" | cut -f1) on disk"
desde=$(( ahora - 86400000 ))
echo "events in the last 24 h: $(sqlite3 "$KV73_EVENTS" "SELECT count(*) FROM events WHERE ms >= $desde")"
echo "query plan of events --since 24h:"
sqlite3 "$KV73_EVENTS" "EXPLAIN QUERY PLAN SELECT id, time, ms, device, address, kind, what, value,
  before, after, source FROM events WHERE ms >= $desde ORDER BY ms, id" | sed 's/^/  /'
echo "query plan of events --since 24h --address 5:"
sqlite3 "$KV73_EVENTS" "EXPLAIN QUERY PLAN SELECT id FROM events WHERE ms >= $desde
  AND address IN (5) ORDER BY ms, id" | sed 's/^/  /'
mide() {
    local t0 t1 lineas
    t0=$(date +%s%N)
    lineas=$("$ctl" "$@" | wc -l)
    t1=$(date +%s%N)
    printf '  kv73ctl %-38s %6d lines  %5d ms   target < 1000 ms\n' "$*" "$lineas" \
        $(( (t1 - t0) / 1000000 ))
}
"$ctl" events --since 24h >/dev/null # the file in the page cache, as on a used system
for _ in 1 2 3; do mide events --since 24h; done
mide events --since 24h --json
mide events --since 24h --address 5 --kind lamp
mide events --since 7d --until 6d

echo
echo "== (b) one write into the journal, and a poll's latency"
./build-bench/diario_bench "$carpeta/escrituras.sqlite" 2000
./build-bench/diario_bench --other-writer "$carpeta/escrituras.sqlite" 2000

./build-bench/simulador/kv73-sim --link "$carpeta/relay" --wire-time >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$carpeta/relay" ] && break; sleep 0.05; done
latencia() {
    KV73_EVENTS="$1" "$ctl" --device "$carpeta/relay" --json watch --interval 50 \
        --count "$sondeos" 2>/dev/null |
        sed -n 's/.*"latency_us":\([0-9]*\).*/\1/p' | sort -n |
        awk -v que="$2" '{ v[NR] = $1 } END {
            printf "  %-32s %d polls: median %.1f ms, worst %.1f ms\n", que, NR,
                   v[int((NR + 1) / 2)] / 1000, v[NR] / 1000 }'
}
latencia "$carpeta/watch.sqlite" "watch, journal written"
latencia "/proc/kv73-none/events.sqlite" "watch, journal unwritable"
latencia "$carpeta/watch.sqlite" "watch, journal written (again)"
echo "  (a poll journals only what changed: a lamp, the link; such a poll costs one write above)"
