// What each of kv73ctl's commands does with the link, and their table.

#include "kv73ctl/Ordenes.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_ActualValues.h"
#include "enlace/Puerto_Serie.h"
#include "kv73ctl/Carga_Reporte.h"
#include "kv73ctl/Comandos.h"
#include "kv73ctl/Diario_Consola.h"
#include "kv73ctl/Eventos_Consola.h"
#include "kv73ctl/Exploracion_Bus.h"
#include "kv73ctl/Puertos.h"
#include "kv73ctl/Registro_Valores.h"
#include "kv73ctl/Salida.h"
#include "kv73ctl/Servicio.h"
#include "kv73ctl/Sondeo.h"
#include "protocolo/Enlace_Rele.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>

namespace {

// Opens the link on the host's port. Each command refuses what it can refuse
// without the relay before it comes here.
int Conecta(const Opciones &op, Enlace_Rele &e) {
    return Abre_Enlace(op, e);
}

// --- ident -------------------------------------------------------------------

// Only the registers of a good reply are printed: after a bad one the image
// still holds whatever it held before, zeros in a fresh run.
int Ident(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    const Desenlace d =
        Transaccion(e, [&e] { return e.Lee_Identificacion(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(d, "identification read"))
        return fallo;
    QJsonArray registros;
    QStringList textos;
    for (int r = 0; r < 3; ++r) {
        const auto p = static_cast<std::size_t>(2 * r + 4);
        const int valor = Estado.Identificacion[p] * 256 + Estado.Identificacion[p + 1];
        registros.append(valor);
        textos << QStringLiteral("register %1: %2").arg(Hex4(r), Hex4(valor));
    }
    const bool aceptado = Verifica_Identificacion();
    if (op.json) {
        Imprime_Json(
            {{QStringLiteral("registers"), registros}, {QStringLiteral("accepted"), aceptado}});
    } else {
        for (const auto &t : textos)
            Imprime(t);
        Imprime(aceptado ? QStringLiteral("accepted: a KV-73 relay")
                         : QStringLiteral("refused: not a KV-73 relay"));
    }
    return aceptado ? 0 : 3;
}

// --- setpoints ---------------------------------------------------------------

int Setpoints(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    const Desenlace d = Transaccion(e, [&e] { return e.Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(d, "setpoint read"))
        return fallo;
    const Imagen_Setpoints s = Lee_Imagen_Setpoints();
    Imprime_Resultado(op.json, Texto_Setpoints(s), Json_Setpoints(s));
    return 0;
}

// --- values / watch ----------------------------------------------------------

// One poll, printed only when its reply was good; a failed one is said on
// stderr, and with --json is an object with its status on stdout too.
int Un_Sondeo(const Opciones &op, Enlace_Rele &e, qint64 *microsegundos,
              Diario_Consola *diario = nullptr) {
    QElapsedTimer reloj;
    reloj.start();
    const Desenlace d =
        Transaccion(e, [&e] { return e.Lee_Valores_Actuales(Estado.Direccion_Rele); });
    Resultado_Sondeo r;
    r.direccion = Estado.Direccion_Rele;
    r.latencia_us = reloj.nsecsElapsed() / 1000;
    r.hora = QDateTime::currentDateTime();
    if (microsegundos)
        *microsegundos = r.latencia_us;
    r.estado = Salida_Lectura(d, "actual-values poll");
    if (r.estado == 0)
        r.lectura = Lee_Lectura_Actual();
    if (diario && !(r.estado != 0 && Interrumpido()))
        diario->Anota_Sondeo(r, r.estado == 2 && e.MSComm1().Perdido());
    // A poll cut short by a signal says nothing of the relay.
    if (op.json && !(r.estado != 0 && Interrumpido()))
        Imprime_Json(Json_Sondeo(r, microsegundos != nullptr));
    else if (!op.json && r.estado == 0)
        Imprime(Texto_Valores(r.lectura));
    return r.estado;
}

// Several relays: one poll of each in turn. See Peor_Estado for the status.
int Una_Ronda(const Opciones &op, Enlace_Rele &e, bool con_latencia, bool &sin_puerto,
              Diario_Consola *diario = nullptr) {
    int estado = 0;
    sin_puerto = !Sondea_Direcciones(op, e, [&](const auto &r) {
        Imprime_Sondeo(op, r, con_latencia);
        if (diario)
            diario->Anota_Sondeo(r, r.estado == 2 && e.MSComm1().Perdido());
        estado = Peor_Estado(estado, r.estado);
    });
    return sin_puerto ? 2 : estado;
}

int Values(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    if (op.direcciones.size() > 1) {
        bool sin_puerto = false;
        return Una_Ronda(op, e, false, sin_puerto);
    }
    return Un_Sondeo(op, e, nullptr);
}

int Watch(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    Atiende_Interrupciones();
    // Lamp changes and the links' ups and downs go into the event journal.
    Diario_Consola diario(Dispositivo_Opciones(op));
    QElapsedTimer inicio;
    inicio.start();
    int estado_salida = 0;
    for (int n = 0; op.cuenta <= 0 || n < op.cuenta; ++n) {
        if (Interrumpido())
            break;
        if (op.direcciones.size() > 1) {
            // A relay that fails stops only its own poll; a port that cannot
            // open again stops the watch.
            bool sin_puerto = false;
            const int r = Una_Ronda(op, e, true, sin_puerto, &diario);
            if (Interrumpido())
                break;
            estado_salida = Peor_Estado(estado_salida, r);
            if (sin_puerto) {
                diario.Puerto_Perdido(QDateTime::currentDateTime());
                return 2;
            }
        } else {
            qint64 us = 0;
            const int r = Un_Sondeo(op, e, &us, &diario);
            // A poll cut short by the signal is not one the relay failed.
            if (Interrumpido())
                break;
            if (r == 2)
                return 2;
            // A bad reply spoils one poll, not the watch: the next one may be good.
            if (r == 3)
                estado_salida = 3;
        }
        if (op.cuenta > 0 && n + 1 >= op.cuenta)
            break;
        // Polls keep their pace from the start, not from the end of the last one.
        Espera_Hasta_Ms(inicio, static_cast<qint64>(n + 1) * op.intervalo_ms);
    }
    return estado_salida;
}

// A link failure does not end a log: it is a row, and the next poll tries again.
int Log(const Opciones &op, Enlace_Rele &e) {
    return Comando_Log(op, e);
}

// --- reset-max ---------------------------------------------------------------

// The core tells the outcome itself: "Command Executed" or "Error executing command".
// The maxima are read first, for the journal; a bad reply to that read leaves
// the event without them, the reset is sent all the same.
int Reset_Max(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    const Desenlace v =
        Transaccion(e, [&e] { return e.Lee_Valores_Actuales(Estado.Direccion_Rele); });
    if (v == Desenlace::Sin_Respuesta)
        return 2;
    const QString maximos =
        v == Desenlace::Buena ? Lista_Json(Lee_Lectura_Actual().maximos) : QString();
    int32_t comando = 16;
    const Desenlace d = Transaccion(
        e, [&e, &comando] { return e.Ejecuta_Comando(Estado.Direccion_Rele, comando); });
    if (d == Desenlace::Buena)
        Anota_Cambio(op, QStringLiteral("reset-max"), QStringLiteral("reset-max"), maximos,
                     QString(), QStringLiteral("kv73ctl"));
    return d == Desenlace::Sin_Respuesta ? 2 : d == Desenlace::Mala ? 3 : 0;
}

// --- save, show, send, set ----------------------------------------------------

void Imprime_Archivo(const Opciones &op, const QString &ruta) {
    Imprime_Resultado(op.json, Texto_Archivo(ruta), Json_Archivo(ruta));
}

// The reads of the link bring-up, then the file: what it holds is printed.
int Save(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    if (const int fallo = Lecturas_De_Arranque(e, true))
        return fallo;
    const QString &ruta = op.argumentos.first();
    if (!Escribir_Archivo(e, ruta))
        return 4;
    Imprime_Archivo(op, ruta);
    return 0;
}

// Setpoints out of range are shown, marked: the file is only looked at.
int Show(const Opciones &op, Enlace_Rele &e) {
    const QString &ruta = op.argumentos.first();
    if (!Leer_Archivo_Para_Ver(e, ruta))
        return 4;
    Imprime_Archivo(op, ruta);
    return 0;
}

// The file is loaded, and its setpoints checked against the editors' ranges,
// before the link opens; they go out as they are, and the relay's answer is
// the message printed.
int Send(const Opciones &op, Enlace_Rele &e) {
    if (!Leer_Archivo(e, op.argumentos.first()))
        return 4;
    if (const int fallo = Conecta(op, e))
        return fallo;
    // What the relay holds before, for the journal: one more exchange, after
    // which the file's setpoints go back into the edit image it replaced.
    const auto edicion = Estado.Nuevos_Setpoints;
    const bool pendiente = Estado.Edicion_Pendiente;
    const Desenlace l = Transaccion(e, [&e] { return e.Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(l, "setpoint read"))
        return fallo;
    const Imagen_Setpoints antes = Lee_Imagen_Setpoints();
    Estado.Nuevos_Setpoints = edicion;
    Estado.Edicion_Pendiente = pendiente;
    const Desenlace d = Transaccion(e, [&e] { return e.Escribe_Setpoints(Estado.Direccion_Rele); });
    if (d == Desenlace::Buena)
        Anota_Cambio(op, QStringLiteral("setpoints"), QStringLiteral("send"),
                     Lista_Json(antes.registros), Lista_Json(Lee_Imagen_Setpoints().registros),
                     QStringLiteral("kv73ctl send ") +
                         QFileInfo(op.argumentos.first()).absoluteFilePath());
    return d == Desenlace::Sin_Respuesta ? 2 : d == Desenlace::Mala ? 3 : 0;
}

// Values that contradict each other are refused before the link opens.
int Set(const Opciones &op, Enlace_Rele &e) {
    Cambios_Setpoints cambios;
    if (const auto error = Analiza_Cambios(op.argumentos, cambios)) {
        std::fprintf(stderr, "kv73ctl: %s; nothing was sent\n", qPrintable(*error));
        return 1;
    }
    if (const int fallo = Conecta(op, e))
        return fallo;
    const auto anota = [&op](const Imagen_Setpoints &antes, const Imagen_Setpoints &despues) {
        Anota_Cambio(op, QStringLiteral("setpoints"), QStringLiteral("set"),
                     Lista_Json(antes.registros), Lista_Json(despues.registros),
                     QStringLiteral("kv73ctl"));
    };
    if (const int resultado = Cambia_Setpoints(e, cambios, anota))
        return resultado;
    const Imagen_Setpoints s = Lee_Imagen_Setpoints();
    Imprime_Resultado(op.json, Texto_Setpoints(s), Json_Setpoints(s));
    return 0;
}

// --- report -------------------------------------------------------------------

int Escribe_Reporte(const Opciones &op, Temperaturas origen) {
    if (const auto motivo = Reporte_Pdf(op.pdf, origen)) {
        std::fprintf(stderr, "kv73ctl: cannot write %s: %s\n", qPrintable(op.pdf),
                     qPrintable(*motivo));
        return 4;
    }
    return 0;
}

// A file's report shows the temperatures stored in it: a file is never the
// live relay, and a page of "Fco" would tell its reader nothing.
int Report_Archivo(const Opciones &op, Enlace_Rele &e) {
    if (!Leer_Archivo(e, op.argumentos.first()))
        return 4;
    return Escribe_Reporte(op, Temperaturas::Guardadas);
}

// The relay's report: its setpoints and one poll, printed as the main page
// would print them with the link up.
int Report_Rele(const Opciones &op, Enlace_Rele &e) {
    const Desenlace s = Transaccion(e, [&e] { return e.Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(s, "setpoint read"))
        return fallo;
    const Desenlace v =
        Transaccion(e, [&e] { return e.Lee_Valores_Actuales(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(v, "actual-values poll"))
        return fallo;
    return Escribe_Reporte(op, Temperaturas::Segun_Enlace);
}

int Report(const Opciones &op, Enlace_Rele &e) {
    if (!op.argumentos.isEmpty())
        return Report_Archivo(op, e);
    if (const int fallo = Conecta(op, e))
        return fallo;
    return Report_Rele(op, e);
}

// --- scan ---------------------------------------------------------------------

int Scan(const Opciones &op, Enlace_Rele &e) {
    if (const int fallo = Conecta(op, e))
        return fallo;
    return Explora_Bus(op, e);
}

// No relay is needed to list the ports.
int Ports(const Opciones &op, Enlace_Rele &) {
    return Comando_Ports(op.json);
}

// Their order is that of --help, which the README copies.
const Orden Lista_Ordenes[] = {
    {"ident", Ident, Argumentos::Ninguno, "", "identification registers; is it a KV-73?"},
    {"setpoints", Setpoints, Argumentos::Ninguno, "", "the six setpoint registers"},
    {"values", Values, Argumentos::Ninguno, "", "one poll: temperatures, maxima, lamps"},
    {"watch", Watch, Argumentos::Ninguno, "[--interval MS] [--count N]",
     "a poll every MS milliseconds, N times or until interrupted"},
    {"log", Log, Argumentos::Ninguno, "--csv FILE [--interval MS] [--count N]",
     "a poll every MS milliseconds, each a CSV row appended to FILE (- for the standard "
     "output); a poll that fails is a row too, and the log goes on"},
    {"reset-max", Reset_Max, Argumentos::Ninguno, "",
     "reset the maximum temperatures (command 16)"},
    {"save", Save, Argumentos::Un_Archivo, "FILE",
     "the relay's setpoints and actual values to a .KV73 file"},
    {"show", Show, Argumentos::Un_Archivo, "FILE", "what a .KV73 file holds (no relay needed)"},
    {"send", Send, Argumentos::Un_Archivo, "FILE",
     "write a .KV73 file's setpoints to the relay at --address"},
    {"set", Set, Argumentos::Cambios, "NAME=VALUE ...",
     "change setpoints: L1, L2, LowFan, HighFan (0..220 °C), RTD=3|4, Fan=yes|no, "
     "FanProbes=3|4, Weekly=yes|no"},
    {"report", Report, Argumentos::Archivo_Opcional, "[FILE] --pdf OUT.pdf",
     "the printed report as a PDF, of a .KV73 file or, without FILE, of the relay (setpoints "
     "and one poll)"},
    {"events", Comando_Events, Argumentos::Ninguno,
     "[--since WHEN] [--until WHEN] [--kind K] [--address A[,B...]]",
     "the event journal, oldest first: lamp changes, links up and down, setpoints written and "
     "maxima reset, by kv73 and kv73ctl (no relay needed)"},
    {"ports", Ports, Argumentos::Ninguno, "",
     "serial ports of this computer, and the device of COM1..COM4"},
    {"scan", Scan, Argumentos::Ninguno, "[--first A] [--last B] [--timeout-ms T]",
     "ask each address from A to B (1..247 by default) for its identification, once and "
     "briefly; one line a relay that answers"},
    {"serve", Comando_Serve, Argumentos::Ninguno, "[--mqtt URL] [--metrics HOST:PORT]",
     "the agent: polls --address for as long as it runs, publishes each poll, lamp change and "
     "link change to MQTT and serves them to Prometheus; link failures never end it, SIGTERM "
     "does"},
};

} // namespace

const std::span<const Orden> Ordenes = Lista_Ordenes;
