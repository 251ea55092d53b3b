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
#  4. the desktop program's bus window on ten relays (kv73-sim --address 1..10
#     --wire-time at 9600 baud, the window's list 1-10, the page on relay 1):
#     the rounds the window measured (the time between two polls of its first
#     relay) over MINUTOS_BUS (1) minutes, beside the wire limit of a round:
#     each of the nine bus polls follows one poll of the page's relay, and each
#     poll is (8 + 3.5 + 33 + 3.5) characters of 10 bits (request, silence,
#     reply, silence). The window polls at the page's pace, one bus relay a
#     500 ms tick: a round is 9 x 500 ms by design, not the line's limit.
#  5. the CPU time of the desktop program over MINUTOS_CPU (10) minutes with
#     the bus and Events windows open, against the plain page, both shown
#     offscreen, at the same time on two simulators of ten relays. Target:
#     under twice. Measured: rounds of 4.5 s (median 4500 ms) against a wire
#     limit of 900 ms; CPU 2.42 times the plain page's over 10 minutes (1.37 s
#     against 3.31 s; 2.55 before the Events window stopped querying the
#     journal when nothing had changed). Over two minutes each window alone:
#     the bus window 2.2 times the plain page, the Events window 1.45 times
#     (mostly its first painting and the journal's opening).
# SOLO_ESCRITORIO=1 runs parts 4 and 5 only.
set -euo pipefail
cd "$(dirname "$0")/.."
polls=${POLLS:-200}
rondas=${RONDAS:-100}

solo_escritorio=${SOLO_ESCRITORIO:-0}
minutos_bus=${MINUTOS_BUS:-1}
minutos_cpu=${MINUTOS_CPU:-10}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF -DKV73_BENCH=ON >/dev/null
if [ "$solo_escritorio" != 1 ]; then
    cmake --build build-bench -j "$(nproc)" --target kv73ctl kv73-sim >/dev/null
fi
cmake --build build-bench -j "$(nproc)" --target pagina_viva kv73-sim >/dev/null
viva=./build-bench/pagina_viva
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

if [ "$solo_escritorio" != 1 ]; then
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
fi

# --- 4. the desktop's bus window: its round against the wire limit ---
export QT_QPA_PLATFORM=offscreen
# The bus window keeps its list in the settings: the bench's, not the user's.
export XDG_CONFIG_HOME="$carpeta/config"
# Each kv73-sim of the desktop parts: ten relays, line timed at 9600 baud.
diez() { "$sim" --link "$1" --wire-time --baud 9600 --address 1,2,3,4,5,6,7,8,9,10 >/dev/null & }
diez "$carpeta/bus"
sim_bus=$!
trap 'termina; kill "$sim_bus" 2>/dev/null; wait 2>/dev/null; rm -rf "$carpeta"' EXIT
for _ in $(seq 100); do [ -e "$carpeta/bus" ] && break; sleep 0.05; done
"$viva" --device "$carpeta/bus" --minutes "$minutos_bus" --show --bus 1-10 >"$carpeta/viva_bus"
kill "$sim_bus" 2>/dev/null; wait "$sim_bus" 2>/dev/null || true
echo "desktop bus window, relays 1-10 (the page's relay 1 and nine bus relays), 9600 baud, wire time, $minutos_bus min:"
grep -E '^(polls|link failures|messages|bus rounds)' "$carpeta/viva_bus" | sed 's/^/  /'
awk 'BEGIN {
    poll = (8 + 3.5 + 33 + 3.5) * 10 / 9600
    printf "  wire limit of a round: 9 x (page poll + bus poll) = 18 x %.1f ms = %.0f ms;", 1000 * poll, 18000 * poll
    printf " paced by the page: 9 x 500 ms = 4500 ms; line busy %.0f%% of each tick\n", 100 * 2 * poll / 0.5
}'

# --- 5. CPU: bus and Events windows open against the plain page ---
diez "$carpeta/plano"
sim_a=$!
diez "$carpeta/ventanas"
sim_b=$!
trap 'termina; kill "$sim_a" "$sim_b" 2>/dev/null; wait 2>/dev/null; rm -rf "$carpeta"' EXIT
for _ in $(seq 100); do [ -e "$carpeta/plano" ] && [ -e "$carpeta/ventanas" ] && break; sleep 0.05; done
KV73_EVENTS="$carpeta/plano.sqlite" "$viva" --device "$carpeta/plano" --minutes "$minutos_cpu" \
    --show >"$carpeta/viva_plano" &
plano=$!
KV73_EVENTS="$carpeta/ventanas.sqlite" "$viva" --device "$carpeta/ventanas" \
    --minutes "$minutos_cpu" --show --bus 1-10 --events >"$carpeta/viva_ventanas" &
ventanas=$!
wait "$plano" "$ventanas"
echo "plain page, $minutos_cpu min:"
grep -E '^(polls|link failures|cpu time)' "$carpeta/viva_plano" | sed 's/^/  /'
echo "bus window (1-10) and Events window open, $minutos_cpu min:"
grep -E '^(polls|link failures|cpu time|bus rounds)' "$carpeta/viva_ventanas" | sed 's/^/  /'
cpu() { sed -n 's/^cpu time: \([0-9.]*\) s.*/\1/p' "$1"; }
awk -v a="$(cpu "$carpeta/viva_plano")" -v b="$(cpu "$carpeta/viva_ventanas")" \
    'BEGIN { printf "cpu ratio windows/plain: %.2f   target < 2\n", (a > 0 ? b / a : 0) }'
