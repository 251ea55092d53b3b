# Sourced by run.sh and test.sh: installs the Debian packages they need that are
# missing (apt-get as root, through sudo otherwise).

instala_paquetes() {
    local faltan=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || faltan+=("$p")
    done
    [ ${#faltan[@]} -eq 0 ] && return 0
    echo "Installing: ${faltan[*]}"
    local como=()
    [ "$(id -u)" -eq 0 ] || como=(sudo)
    "${como[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${como[@]}" apt-get install -y -q --no-install-recommends "${faltan[@]}"
}

# What the build needs.
PAQUETES_CONSTRUCCION=(
    g++ cmake make pkg-config
    qt6-base-dev qt6-serialport-dev qt6-svg-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
    fonts-liberation2
    # kv73ctl serve's MQTT client.
    libmosquitto-dev
    # kv73ctl serve's metrics endpoint; Debian's Qt HTTP Server files need
    # the WebSockets ones and do not pull them in.
    qt6-httpserver-dev qt6-websockets-dev
    # The event journal: Qt SQL and its SQLite driver (a plugin nothing links).
    libqt6sql6-sqlite
)
# What the tests add: GoogleTest, libmodbus as an independent Modbus peer, and
# poppler's pdftotext to read back the printed report, and clang-format to check
# the sources keep the repository's layout.
# promtool checks the metrics page, curl reads it. mosquitto is the broker and
# mosquitto-clients (mosquitto_sub, mosquitto_passwd) the subscriber of serve's tests,
# openssl makes their TLS broker's certificate. dbus-daemon runs a private
# session bus for the lamp notifications.
PAQUETES_PRUEBAS=(libgtest-dev libmodbus-dev poppler-utils clang-format prometheus curl
    dbus-daemon mosquitto mosquitto-clients openssl)
# What test.sh's Debian package adds: dpkg-shlibdeps, which finds the Qt
# libraries the package depends on, file, with which CPack tells the programs
# apart, appstreamcli to validate the metainfo, and update-mime-database and
# gio to read a setpoint file's MIME type as a desktop reads it, lintian to
# check the package as Debian would, and systemd's analyzer for the agent's unit.
PAQUETES_PAQUETE=(dpkg-dev file appstream shared-mime-info libglib2.0-bin lintian systemd)
# What running the desktop program on a machine without a display needs.
PAQUETES_PANTALLA=(xvfb xauth)
# What fuzz/run.sh adds: clang with libFuzzer and the sanitizer runtimes.
PAQUETES_FUZZ=(clang-14 libclang-rt-14-dev)
# What the benchmarks add: mbpoll, a Modbus master on libmodbus, to measure
# against (bench/compare.sh); sqlite3 to fill a journal of a million events
# (bench/diario.sh); the broker, its subscriber and curl for the agent's
# (bench/serve.sh).
PAQUETES_BANCO=(mbpoll sqlite3 mosquitto mosquitto-clients curl)
