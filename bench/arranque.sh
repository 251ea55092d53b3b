#!/usr/bin/env bash
# A one-shot command against a peer: a script that runs `kv73ctl values` once a
# second pays for the program's start-up each time, as it would for mbpoll. Both
# read the same 14 input registers 0x0200..0x020D of relay 1 once, as a whole
# process from start to end, against kv73-sim --wire-time at 9600 baud (so the
# poll costs what it costs on a real line, (8 + 3.5 + 33) x 10 / 9600 = 46.4 ms),
# VECES (40) times each, taking turns. Printed for each: the median and 90th
# percentile of the wall time, of the CPU time (user + system) and of the peak
# resident memory, and the ratio of the wall medians.
# Targets: kv73ctl's wall median within 1.05 times mbpoll's, its CPU median
# under 10 ms.
#
# bench/mide_proceso.cpp starts each program and reaps it with wait4, which
# gives the CPU time and the peak memory in microseconds and KiB; /usr/bin/time
# counts in hundredths of a second, coarser than the whole CPU cost here.
# KV73CTL=PATH measures another kv73ctl (an older build, say) against the same.
#
# Where the start-up went (measured with perf, strace and callgrind on the
# Release build): over 80% of kv73ctl's CPU was the dynamic loader and the
# kernel mapping 57 shared libraries, most of them brought by QtGui (fonts,
# X11, OpenGL, harfbuzz, glib), which only `report` uses to draw its page.
# kv73ctl now links QtCore, QtSerialPort and QtNetwork only, and loads the
# page from a module (kv73ctl-reporte.so) for `report` alone: 31 libraries.
# What remains is the loading of those, QCoreApplication, QSerialPort's lock
# file in /var/lock, and the poll.
#
# Output on the development machine (2 cores), VECES=40, before (KV73CTL= the
# build that linked QtGui) and after:
#   kv73ctl  40 runs (0 failed)  wall median  59.7 ms (p90  63.5)  CPU median 12.2 ms (p90 15.9)  RSS median 19.3 MiB
#   mbpoll   40 runs (0 failed)  wall median  68.2 ms (p90  68.6)  CPU median  1.3 ms (p90  1.7)  RSS median  1.6 MiB
#   ratio of the wall medians kv73ctl / mbpoll: 0.875
#   target, wall within 1.05 x mbpoll: met;  CPU under 10 ms: MISSED
#
#   kv73ctl  40 runs (0 failed)  wall median  54.6 ms (p90  55.0)  CPU median  7.4 ms (p90  7.8)  RSS median 13.2 MiB
#   mbpoll   40 runs (0 failed)  wall median  68.2 ms (p90  68.3)  CPU median  1.4 ms (p90  1.5)  RSS median  1.6 MiB
#   ratio of the wall medians kv73ctl / mbpoll: 0.801
#   target, wall within 1.05 x mbpoll: met;  CPU under 10 ms: met
# mbpoll's wall median is some 20 ms above the 46.4 ms of the line, so kv73ctl's
# was below it even before; the CPU time and the memory were what it lost.
set -euo pipefail
cd "$(dirname "$0")/.."
veces=${VECES:-40}

. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_BANCO[@]}"

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKV73_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target kv73ctl kv73-sim >/dev/null
g++ -O2 -Wall -Wextra -o build-bench/mide_proceso bench/mide_proceso.cpp
ctl=${KV73CTL:-./build-bench/kv73ctl/kv73ctl}
mide=./build-bench/mide_proceso

carpeta=$(mktemp -d /tmp/kv73-arranque.XXXXXX)
simulador=
termina() { [ -n "$simulador" ] && kill "$simulador" 2>/dev/null && wait "$simulador" 2>/dev/null; simulador=; }
trap 'termina; rm -rf "$carpeta"' EXIT

enlace=$carpeta/relay
./build-bench/simulador/kv73-sim --link "$enlace" --baud 9600 --wire-time >/dev/null &
simulador=$!
for _ in $(seq 100); do [ -e "$enlace" ] && break; sleep 0.05; done
[ -e "$enlace" ] || { echo "arranque.sh: kv73-sim did not start" >&2; exit 1; }

# One warm-up each, so that both find the libraries in the page cache.
"$mide" "$ctl" --device "$enlace" values >/dev/null
"$mide" mbpoll -m rtu -a 1 -b 9600 -d 8 -s 1 -P none -t 3 -0 -r 512 -c 14 -1 "$enlace" >/dev/null

: >"$carpeta/nuestro"
: >"$carpeta/suyo"
for _ in $(seq "$veces"); do
    "$mide" "$ctl" --device "$enlace" values >>"$carpeta/nuestro"
    "$mide" mbpoll -m rtu -a 1 -b 9600 -d 8 -s 1 -P none -t 3 -0 -r 512 -c 14 -1 "$enlace" >>"$carpeta/suyo"
done
termina

# Lines of "wall_us cpu_us rss_kib status": runs that failed are counted and left out.
resumen() { # NAME FILE
    awk -v nombre="$1" '
        $4 != 0 { fallos++; next }
        { n++; w[n] = $1; c[n] = $2; r[n] = $3 }
        function orden(a,   i, j, t) {
            for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t }
        }
        function rango(a, p) { return a[int((p * n + 99) / 100)] }
        END {
            if (n == 0) { printf "  %-8s every run failed\n", nombre; exit }
            orden(w); orden(c); orden(r)
            printf "  %-8s %d runs (%d failed)  wall median %5.1f ms (p90 %5.1f)  CPU median %4.1f ms (p90 %4.1f)  RSS median %4.1f MiB\n",
                   nombre, n, fallos, rango(w, 50) / 1000, rango(w, 90) / 1000,
                   rango(c, 50) / 1000, rango(c, 90) / 1000, rango(r, 50) / 1024
            print rango(w, 50), rango(c, 50) > "/dev/stderr"
        }' "$2"
}

echo "kv73ctl values against mbpoll $(dpkg-query -W -f='${Version}' mbpoll), one poll a process, kv73-sim --wire-time, 9600 baud, $veces runs each"
resumen kv73ctl "$carpeta/nuestro" 2>"$carpeta/m1"
resumen mbpoll "$carpeta/suyo" 2>"$carpeta/m2"
read -r w1 c1 <"$carpeta/m1" || true
read -r w2 _ <"$carpeta/m2" || true
awk -v w1="${w1:-0}" -v c1="${c1:-0}" -v w2="${w2:-0}" 'BEGIN {
    printf "  ratio of the wall medians kv73ctl / mbpoll: %.3f\n", (w2 > 0 ? w1 / w2 : 0)
    printf "  target, wall within 1.05 x mbpoll: %s;  CPU under 10 ms: %s\n",
           (w2 > 0 && w1 <= 1.05 * w2 ? "met" : "MISSED"), (w1 > 0 && c1 < 10000 ? "met" : "MISSED")
}'
