#!/usr/bin/env bash
# Polls kv73-sim with kv73ctl for 30 s (60 polls at 500 ms) and prints the CPU
# time kv73ctl used and the time from the request to the accepted reply.
# Targets: under 0.3 s of CPU (under 1% of a core); median and 99th percentile
# latency under 2 ms on a pseudo-terminal.
# GUARDA=FILE keeps the sorted latencies (microseconds) in FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${SEGUNDOS:-30}
cuenta=$((segundos * 2))

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target kv73ctl kv73-sim >/dev/null

carpeta=$(mktemp -d /tmp/kv73-bench.XXXXXX)
./build-bench/simulador/kv73-sim --link "$carpeta/relay" >/dev/null &
simulador=$!
trap 'kill "$simulador" 2>/dev/null; wait "$simulador" 2>/dev/null; [ -n "${GUARDA:-}" ] && cp "$carpeta/lat" "$GUARDA"; rm -rf "$carpeta"' EXIT
for _ in $(seq 100); do [ -e "$carpeta/relay" ] && break; sleep 0.05; done

TIMEFORMAT='%U %S %R'
{ time ./build-bench/kv73ctl/kv73ctl --device "$carpeta/relay" --json watch --interval 500 \
      --count "$cuenta" >"$carpeta/polls.json"; } 2>"$carpeta/time"
read -r usuario sistema real <"$carpeta/time"

grep -o '"latency_us":[0-9]*' "$carpeta/polls.json" | cut -d: -f2 | sort -n >"$carpeta/lat"
n=$(wc -l <"$carpeta/lat")
percentil() { sed -n "$(( ($1 * n + 99) / 100 ))p" "$carpeta/lat"; }
mediana=$(percentil 50)
p99=$(percentil 99)

awk -v u="$usuario" -v s="$sistema" -v r="$real" -v n="$n" -v m="$mediana" -v p="$p99" 'BEGIN {
    cpu = u + s
    printf "polls: %d in %.1f s\n", n, r
    printf "kv73ctl CPU: %.3f s (user %.3f, system %.3f) = %.2f%% of a core   target < 0.3 s, < 1%%\n", cpu, u, s, 100 * cpu / r
    printf "request to accepted reply: median %.3f ms, 99th percentile %.3f ms   target < 2 ms\n", m / 1000, p / 1000
}'
