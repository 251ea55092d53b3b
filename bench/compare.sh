#!/usr/bin/env bash
# Speed against a peer: our poll (kv73ctl) and mbpoll, a Modbus master built on
# libmodbus, read the same 14 input registers 0x0200..0x020D of relay 1 from
# kv73-sim --wire-time, at 9600 and at 1200 baud (VELOCIDADES="9600 1200"),
# POLLS (200) polls each, and prints both medians, their ratio and the
# wire-time limit.
# Targets: our median within 1 ms of the limit, and no slower than mbpoll's.
#
# What is measured, for both: the time from the start of the read (the request
# about to be written) to the accepted reply (all bytes in, CRC checked).
#   kv73ctl  its own latency_us of `watch --json`: a monotonic clock read just
#            before and just after Lee_Valores_Actuales.
#   mbpoll   prints no timing, and timing the whole process would count its
#            start-up, the port set-up and its printing. Instead bench/mide_modbus.cpp,
#            loaded with LD_PRELOAD, stands in for the one libmodbus call mbpoll
#            makes per poll (modbus_read_input_registers), calls the real one and
#            notes the time around it with the same monotonic clock: the same
#            bounds as kv73ctl's, and mbpoll itself runs unchanged.
# Polls whose read failed (a timeout, a bad reply) are counted and left out.
#
# The line: a pseudo-terminal moves bytes at once, whatever its speed setting.
# kv73-sim --wire-time puts the real line's time back: the request's bytes go
# through one character time each from the moment they are written (a master
# that writes byte by byte, as ours does, costs no more on a real line than one
# that writes the frame whole, as libmodbus does), then the reply waits for the
# 3.5-character silence that ends the request and for its own 33 bytes, 10 bits
# a byte. The limit printed is that same sum, (8 + 3.5 + 33) x 10 / baud: on a
# real line no master can have the reply sooner after it starts sending. What
# either program shows above it is its own cost (building the request, writing,
# waking up, reading, checking) plus the simulator's lateness in waking up,
# which both share.
#
# The two programs take turns, a quarter of the polls at a time, against the
# same simulator, so that a busy moment of the machine falls on both alike.
# Polls are paced 100 ms apart at 9600 and 4800 baud, 500 ms apart below.
set -euo pipefail
cd "$(dirname "$0")/.."
polls=${POLLS:-200}
bloque=$(( (polls + 3) / 4 ))

. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_BANCO[@]}"

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target kv73ctl kv73-sim >/dev/null
g++ -O2 -Wall -Wextra -shared -fPIC -o build-bench/mide_modbus.so bench/mide_modbus.cpp -ldl

carpeta=$(mktemp -d /tmp/kv73-compare.XXXXXX)
simulador=
sondeador=
para() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill -INT "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
trap 'para "$sondeador"; para "$simulador"; rm -rf "$carpeta"' EXIT

percentil() { # FILE PERCENT: the value at that rank of a sorted file
    local n
    n=$(wc -l <"$1")
    [ "$n" -gt 0 ] || { echo 0; return; }
    sed -n "$(( ($2 * n + 99) / 100 ))p" "$1"
}

# mbpoll polls until stopped: it is stopped once `cuantos` reads are noted.
mbpoll_lee() { # DEVICE BAUD INTERVAL COUNT FILE
    local dispositivo=$1 baudios=$2 intervalo=$3 cuantos=$4 notas=$5
    : >"$notas"
    KV73_TIEMPOS=$notas LD_PRELOAD=$PWD/build-bench/mide_modbus.so \
        mbpoll -m rtu -a 1 -b "$baudios" -P none -d 8 -s 1 -t 3 -0 -r 512 -c 14 \
        -l "$intervalo" -o 2 "$dispositivo" >/dev/null 2>&1 &
    sondeador=$!
    while [ "$(wc -l <"$notas")" -lt "$cuantos" ] && kill -0 "$sondeador" 2>/dev/null; do
        sleep 0.05
    done
    para "$sondeador"
    sondeador=
}

mide() { # BAUD INTERVAL_MS
    local baudios=$1 intervalo=$2
    local enlace=$carpeta/relay-$baudios
    ./build-bench/simulador/kv73-sim --link "$enlace" --baud "$baudios" --wire-time >/dev/null &
    simulador=$!
    for _ in $(seq 100); do [ -e "$enlace" ] && break; sleep 0.05; done
    [ -e "$enlace" ] || { echo "compare.sh: kv73-sim did not start" >&2; exit 1; }

    : >"$carpeta/nuestro"
    : >"$carpeta/suyo.todo"
    local fallos_nuestros=0
    for _ in 1 2 3 4; do
        ./build-bench/kv73ctl/kv73ctl --device "$enlace" --baud "$baudios" --json watch \
            --interval "$intervalo" --count "$bloque" >"$carpeta/json" 2>/dev/null || true
        local buenos
        buenos=$(grep -o '"latency_us":[0-9]*' "$carpeta/json" | cut -d: -f2 | tee -a "$carpeta/nuestro" | wc -l)
        fallos_nuestros=$((fallos_nuestros + bloque - buenos))
        mbpoll_lee "$enlace" "$baudios" "$intervalo" "$bloque" "$carpeta/suyo.ronda"
        head -n "$bloque" "$carpeta/suyo.ronda" >>"$carpeta/suyo.todo"
    done
    para "$simulador"
    simulador=

    awk '$2 == 14 { print $1 }' "$carpeta/suyo.todo" >"$carpeta/suyo"
    local fallos_suyos=$(( $(wc -l <"$carpeta/suyo.todo") - $(wc -l <"$carpeta/suyo") ))
    fallos_suyos=$(( fallos_suyos + 4 * bloque - $(wc -l <"$carpeta/suyo.todo") ))
    sort -n -o "$carpeta/nuestro" "$carpeta/nuestro"
    sort -n -o "$carpeta/suyo" "$carpeta/suyo"

    awk -v b="$baudios" -v n1="$(wc -l <"$carpeta/nuestro")" -v f1="$fallos_nuestros" \
        -v m1="$(percentil "$carpeta/nuestro" 50)" -v p1="$(percentil "$carpeta/nuestro" 99)" \
        -v n2="$(wc -l <"$carpeta/suyo")" -v f2="$fallos_suyos" \
        -v m2="$(percentil "$carpeta/suyo" 50)" -v p2="$(percentil "$carpeta/suyo" 99)" 'BEGIN {
        limite = (8 + 3.5 + 33) * 10 / b * 1000
        m1 /= 1000; p1 /= 1000; m2 /= 1000; p2 /= 1000
        printf "%d baud: wire-time limit (8 + 3.5 + 33 characters of 10 bits) %.3f ms\n", b, limite
        printf "  kv73ctl  %3d polls (%d failed)  median %8.3f ms (limit %+.3f)  99th percentile %8.3f ms\n", n1, f1, m1, m1 - limite, p1
        printf "  mbpoll   %3d polls (%d failed)  median %8.3f ms (limit %+.3f)  99th percentile %8.3f ms\n", n2, f2, m2, m2 - limite, p2
        printf "  ratio of the medians kv73ctl / mbpoll: %.4f\n", (m2 > 0 ? m1 / m2 : 0)
        printf "  target, within 1 ms of the limit: %s;  no slower than mbpoll: %s\n",
               (m1 - limite <= 1 ? "met" : "MISSED"), (m1 <= m2 ? "met" : "MISSED")
    }'
}

echo "kv73ctl against mbpoll $(dpkg-query -W -f='${Version}' mbpoll), kv73-sim --wire-time, $((4 * bloque)) polls each"
for baudios in ${VELOCIDADES:-9600 1200}; do
    # Paced so that a poll is over well before the next is due.
    mide "$baudios" $(( baudios >= 4800 ? 100 : 500 ))
done
