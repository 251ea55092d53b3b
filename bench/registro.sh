#!/usr/bin/env bash
# What recording and the trend cost the desktop program: the live page (built
# from bench/pagina_viva.cpp) polls kv73-sim --drift for MINUTOS (10) minutes
# twice at the same time on two simulators, the page shown (offscreen) in both
# as on the operator's screen, once plain and once recording to a CSV file with
# the trend window open (shown too, so it redraws every two seconds). Prints
# each run's CPU time and resident memory, their ratio, and the rows recorded.
# Targets: under twice the plain run's CPU; memory growth of the recording run
# within the trend's 4 MiB (172 800 points x 24 bytes) plus 1 MiB.
#
# Then the 24-hour trend: 172 800 synthetic polls redrawn offscreen, the median
# of 15 redraws (target under 50 ms): 1.8-3.3 ms before the threshold steps
# and lamp marks, 4.0-4.2 ms after (bench/tendencia_24h.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."
minutos=${MINUTOS:-10}

cmake -S . -B build-soak -DCMAKE_BUILD_TYPE=Release -DKV73_BENCH=ON >/dev/null
cmake --build build-soak -j 2 --target pagina_viva tendencia_24h kv73-sim >/dev/null

carpeta=$(mktemp -d /tmp/kv73-registro.XXXXXX)
./build-soak/simulador/kv73-sim --link "$carpeta/a" --drift >/dev/null &
sim_a=$!
./build-soak/simulador/kv73-sim --link "$carpeta/b" --drift >/dev/null &
sim_b=$!
trap 'kill "$sim_a" "$sim_b" 2>/dev/null; wait 2>/dev/null; rm -rf "$carpeta"' EXIT
for _ in $(seq 100); do [ -e "$carpeta/a" ] && [ -e "$carpeta/b" ] && break; sleep 0.05; done

export QT_QPA_PLATFORM=offscreen
./build-soak/pagina_viva --device "$carpeta/a" --minutes "$minutos" --show >"$carpeta/plano" &
plano=$!
./build-soak/pagina_viva --device "$carpeta/b" --minutes "$minutos" --show \
    --record "$carpeta/valores.csv" >"$carpeta/registro" &
registro=$!
wait "$plano" "$registro"

echo "plain page, kv73-sim --drift, $minutos min:"
grep -E '^(polls|link failures|resident memory|cpu time)' "$carpeta/plano"
echo
echo "recording and trend window open, $minutos min:"
grep -E '^(polls|link failures|resident memory|cpu time)' "$carpeta/registro"
echo "rows recorded: $(($(wc -l <"$carpeta/valores.csv") - 1))"
cpu() { sed -n 's/^cpu time: \([0-9.]*\) s.*/\1/p' "$1"; }
echo
awk -v a="$(cpu "$carpeta/plano")" -v b="$(cpu "$carpeta/registro")" \
    'BEGIN { printf "cpu ratio recording/plain: %.2f   target < 2\n", (a > 0 ? b / a : 0) }'
echo
./build-soak/tendencia_24h
