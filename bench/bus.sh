#!/usr/bin/env bash
# Several relays on one line, and the same relay over TCP:
#  1. a scan of addresses 1..247 at 9600 baud against kv73-sim --wire-time with
#     relays at 1, 5 and 17, beside the wire-time limit of that scan: each
#     address costs at least its request, the 3.5-character silence and the
#     time the reply would take, (8 + 3.5 + 11) x 10 / baud, whether a relay is
#     there or not. Target: under 30 s.
#  2. the three relays watched in turn (watch --address 1,5,17 --interval 1)
#     at 9600 baud with wire time: polls per second against the line's limit,
#     one poll every (8 + 3.5 + 33) x 10 / baud as bench/compare.sh counts it.
#     Target: at least 90% of the limit.
#  3. one relay polled over a pseudo-terminal and over tcp:// on loopback
#     (kv73-sim --link and --tcp at once, no wire time), POLLS (200) polls each
#     20 ms apart: the median and 99th percentile of watch's latency_us, the
#     time from the request to the accepted reply.
set -euo pipefail
cd "$(dirname "$0")/.."
polls=${POLLS:-200}
rondas=${RONDAS:-100}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target kv73ctl kv73-sim >/dev/null
ctl=./build-bench/kv73ctl/kv73ctl
sim=./build-bench/simulador/kv73-sim

carpeta=$(mktemp -d /tmp/kv73-bus.XXXXXX)
simulador=
termina() { [ -n "$simulador" ] && kill "$simulador" 2>/dev/null && wait "$simulador" 2>/dev/null; simulador=; }
trap 'termina; rm -rf "$carpeta"' EXIT
# Starts kv73-sim with the given options and waits for its announcement.
arranca() {
    "$sim" --link "$carpeta/relay" "$@" >"$carpeta/sim.out" &
    simulador=$!
    for _ in $(seq 100); do
        grep -q -- '->' "$carpeta/sim.out" 2>/dev/null && return
        sleep 0.05
    done
    echo "kv73-sim did not start" >&2
    exit 1
}
ahora() { date +%s.%N; }

# --- 1. scan ---
arranca --wire-time --address 1,5,17
inicio=$(ahora)
"$ctl" --device "$carpeta/relay" scan >"$carpeta/scan.out"
fin=$(ahora)
echo "scan 1..247 at 9600 baud, relays at 1, 5, 17 (wire time):"
sed 's/^/  /' "$carpeta/scan.out"
awk -v a="$inicio" -v b="$fin" 'BEGIN {
    limite = 247 * (8 + 3.5 + 11) * 10 / 9600
    printf "  took %.2f s; wire-time limit %.2f s (%.1f ms an address); target < 30 s\n", b - a, limite, 1000 * limite / 247
}'

# --- 2. three relays watched in turn ---
inicio=$(ahora)
"$ctl" --device "$carpeta/relay" --address 1,5,17 --json watch --interval 1 --count "$rondas" \
    >"$carpeta/watch.json"
fin=$(ahora)
buenas=$(grep -c '"latency_us"' "$carpeta/watch.json")
termina
awk -v a="$inicio" -v b="$fin" -v n="$buenas" 'BEGIN {
    limite = 9600 / ((8 + 3.5 + 33) * 10)
    pps = n / (b - a)
    printf "three relays in turn at 9600 baud (wire time): %d good polls in %.2f s = %.2f polls/s; line limit %.2f polls/s; %.1f%% of it (target >= 90%%)\n", n, b - a, pps, limite, 100 * pps / limite
}'

# --- 3. pseudo-terminal against tcp:// ---
arranca --tcp 0
puerto=$(grep -o 'tcp://127.0.0.1:[0-9]*' "$carpeta/sim.out" | head -1)
mide() {
    "$ctl" --device "$1" --json watch --interval 20 --count "$polls" |
        grep -o '"latency_us":[0-9]*' | cut -d: -f2 | sort -n >"$carpeta/lat"
    local n; n=$(wc -l <"$carpeta/lat")
    local m; m=$(sed -n "$(( (50 * n + 99) / 100 ))p" "$carpeta/lat")
    local p; p=$(sed -n "$(( (99 * n + 99) / 100 ))p" "$carpeta/lat")
    awk -v q="$2" -v n="$n" -v m="$m" -v p="$p" 'BEGIN {
        printf "  %-18s %4d polls   median %.3f ms   99th percentile %.3f ms\n", q, n, m / 1000, p / 1000 }'
}
echo "one relay, request to accepted reply (no wire time):"
mide "$carpeta/relay" "pseudo-terminal"
mide "$puerto" "tcp:// loopback"
