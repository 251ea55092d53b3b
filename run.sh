#!/usr/bin/env bash
# Installs what is missing, builds, starts the relay simulator on a
# pseudo-terminal and runs the program linked to it. Stop with Ctrl-C.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/instala_paquetes.sh
instala_paquetes "${PAQUETES_CONSTRUCCION[@]}" "${PAQUETES_PANTALLA[@]}"

cmake -S . -B build-run -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV73_TESTS=OFF
cmake --build build-run -j "$(nproc)"

carpeta=$(mktemp -d /tmp/kv73-run.XXXXXX)
enlace="$carpeta/relay"
./build-run/simulador/kv73-sim --link "$enlace" --drift &
simulador=$!
trap 'kill "$simulador" 2>/dev/null; wait "$simulador" 2>/dev/null; rm -rf "$carpeta"' EXIT
for _ in $(seq 100); do [ -e "$enlace" ] && break; sleep 0.05; done
[ -e "$enlace" ] || { echo "run.sh: the relay simulator did not start" >&2; exit 1; }

# The desktop program as a launching program starts it: linked at once to the
# relay on COM2 (the simulator), 9600 baud, address 1.
programa=(./build-run/formularios/kv73 9600,N,8,1 2 1)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display here; the program runs under Xvfb"
    programa=(xvfb-run -a -s "-screen 0 1280x800x24" "${programa[@]}")
fi
KV73_COM2="$enlace" "${programa[@]}"
