#!/usr/bin/env bash
# What the agent costs and how well it publishes: kv73ctl serve polls 10
# simulated relays (kv73-sim --drift --address 1,...,10) every second for
# MINUTOS (10) minutes, publishing to a mosquitto on loopback with its metrics
# page scraped every second (curl); beside it, at the same time, kv73ctl log
# polls 10 relays of another simulator at the same pace into a CSV file.
# Prints:
# - CPU time and peak resident memory of each; target: the agent under 1.5
#   times log's CPU;
# - the polls the agent made (kv73_polls_total at the end) against the state
#   messages a subscriber received; target: one message a poll;
# - the latency from a poll's reply to its state message at the subscriber:
#   the message's `time` (taken when the reply is in) against the time
#   mosquitto_sub received it (%U), median and worst. Both clocks are this
#   machine's, so the difference is the agent's JSON and publish, the broker's
#   relay and the subscriber's read.
#
# Here, 10 minutes (MINUTOS=10; SEGUNDOS=20 for a quick look):
#   kv73ctl serve: cpu 1.51 s, peak rss 21480 kB
#   kv73ctl log:   cpu 1.25 s, peak rss 17392 kB
#   cpu ratio serve/log: 1.21   target < 1.5
#   polls (kv73_polls_total at the last scrape): 6100
#   state messages received by then: 6100   target: one a poll
#   reply to subscriber: median 0.82 ms, worst 49.70 ms over 6100 messages
# The agent's 4 MiB over log's are libmosquitto's thread, Qt HTTP Server and
# the journal's SQLite; its CPU over log's is the JSON, the publishing and the
# 600 scrapes.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_BANCO[@]}"
minutos=${MINUTOS:-10}
segundos=${SEGUNDOS:-$((minutos * 60))}

flock /tmp/kv73-build.lock cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release \
    -DKV73_TESTS=OFF -DKV73_BENCH=ON >/dev/null
flock /tmp/kv73-build.lock cmake --build build-bench -j 2 --target kv73ctl kv73-sim >/dev/null

carpeta=$(mktemp -d /tmp/kv73-serve.XXXXXX)
chmod 755 "$carpeta" # mosquitto, started as root, runs as its own user
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$carpeta"' EXIT
libre() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
puerto_mqtt=$(libre)
puerto_metricas=$(libre)
direcciones=1,2,3,4,5,6,7,8,9,10

printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\n' "$puerto_mqtt" \
    >"$carpeta/mosquitto.conf"
/usr/sbin/mosquitto -c "$carpeta/mosquitto.conf" >"$carpeta/mosquitto.log" 2>&1 &
pids+=($!)
./build-bench/simulador/kv73-sim --link "$carpeta/a" --drift --address "$direcciones" >/dev/null &
pids+=($!)
./build-bench/simulador/kv73-sim --link "$carpeta/b" --drift --address "$direcciones" >/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -e "$carpeta/a" ] && [ -e "$carpeta/b" ] && break; sleep 0.05; done
sleep 0.5

mosquitto_sub -h 127.0.0.1 -p "$puerto_mqtt" -t 'kv73/+/state' -F '%U %p' >"$carpeta/estados" &
pids+=($!)
sleep 0.5
export KV73_EVENTS="$carpeta/events.sqlite"
./build-bench/kv73ctl/kv73ctl --device "$carpeta/a" --address "$direcciones" serve \
    --mqtt "mqtt://127.0.0.1:$puerto_mqtt" --metrics "127.0.0.1:$puerto_metricas" \
    2>"$carpeta/serve.err" &
agente=$!
pids+=($agente)
./build-bench/kv73ctl/kv73ctl --device "$carpeta/b" --address "$direcciones" log \
    --interval 1000 --csv "$carpeta/valores.csv" 2>"$carpeta/log.err" &
registro=$!
pids+=($registro)

raspados=0
for _ in $(seq "$segundos"); do
    sleep 1
    curl -sf "http://127.0.0.1:$puerto_metricas/metrics" >"$carpeta/metrics" && raspados=$((raspados + 1))
done
recibidos=$(wc -l <"$carpeta/estados")

# CPU seconds (user + system) and peak resident memory, read before the end.
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"; }
rss() { awk '/^VmHWM/ { print $2 " kB" }' "/proc/$1/status"; }
cpu_agente=$(cpu "$agente") rss_agente=$(rss "$agente")
cpu_log=$(cpu "$registro") rss_log=$(rss "$registro")
sondeos=$(awk '/^kv73_polls_total/ { n += $NF } END { print n + 0 }' "$carpeta/metrics")
kill -TERM "$agente" "$registro"
wait "$agente" "$registro" || true
sleep 0.5

echo "10 relays at 1 s for $segundos s, metrics scraped $raspados times"
echo "kv73ctl serve: cpu $cpu_agente s, peak rss $rss_agente"
echo "kv73ctl log:   cpu $cpu_log s, peak rss $rss_log"
awk -v a="$cpu_log" -v b="$cpu_agente" \
    'BEGIN { printf "cpu ratio serve/log: %.2f   target < 1.5\n", (a > 0 ? b / a : 0) }'
echo "polls (kv73_polls_total at the last scrape): $sondeos"
echo "state messages received by then: $recibidos   target: one a poll"
echo "rows logged: $(($(wc -l <"$carpeta/valores.csv") - 1))"
/usr/bin/python3 - "$carpeta/estados" <<'EOF'
import datetime, json, statistics, sys
retrasos = []
for linea in open(sys.argv[1]):
    recibido, _, datos = linea.partition(" ")
    hora = datetime.datetime.fromisoformat(json.loads(datos)["time"]).timestamp()
    retrasos.append((float(recibido) - hora) * 1000)
if retrasos:
    print("reply to subscriber: median %.2f ms, worst %.2f ms over %d messages"
          % (statistics.median(retrasos), max(retrasos), len(retrasos)))
EOF
echo "agent's stderr:"
sed 's/^/  /' "$carpeta/serve.err" | sort | uniq -c | head
