#include "kv73ctl/Comandos.h"

#include "archivos/Manejo_de_Archivos.h"
#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"
#include "datos/Rangos_Setpoints.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Lectura_Escritura.h"

#include <QJsonArray>
#include <cstdio>

namespace {

const QStringList Comandos_Validos = {
    QStringLiteral("ident"),  QStringLiteral("setpoints"), QStringLiteral("values"),
    QStringLiteral("watch"),  QStringLiteral("reset-max"), QStringLiteral("save"),
    QStringLiteral("show"),   QStringLiteral("send"),      QStringLiteral("set"),
    QStringLiteral("report"), QStringLiteral("ports")};
// Commands that take one file name.
const QStringList Comandos_Archivo = {QStringLiteral("save"), QStringLiteral("show"),
                                      QStringLiteral("send")};

int Error_Uso(const QString &texto) {
    std::fprintf(stderr, "kv73ctl: %s\n%s", qPrintable(texto), qPrintable(Uso()));
    return 1;
}

// A whole number in [minimo, maximo], or nothing.
std::optional<long long> Entero(const QString &texto, long long minimo, long long maximo) {
    bool ok = false;
    const long long v = texto.toLongLong(&ok);
    if (!ok || v < minimo || v > maximo)
        return std::nullopt;
    return v;
}

// The options that take a number, with what the usage text allows for each. A
// value outside it is refused here, before any port is opened: address 0 is the
// broadcast, which every relay on the line would obey without answering.
std::optional<QString> Toma_Numero(const QString &nombre, const QString &texto, Opciones &op) {
    const auto refusa = [&](const char *permitido) {
        return QStringLiteral("%1 %2: give %3").arg(nombre, texto, QLatin1String(permitido));
    };
    std::optional<long long> n;
    if (nombre == QLatin1String("--port")) {
        if (!(n = Entero(texto, 1, 255)))
            return refusa("a port number from 1 to 255");
        op.puerto = static_cast<int16_t>(*n);
    } else if (nombre == QLatin1String("--baud")) {
        n = Entero(texto, 1200, 9600);
        if (!n || (*n != 1200 && *n != 2400 && *n != 4800 && *n != 9600))
            return refusa("1200, 2400, 4800 or 9600");
        op.velocidad = static_cast<int32_t>(*n);
    } else if (nombre == QLatin1String("--address")) {
        if (!(n = Entero(texto, 1, 247)))
            return refusa("a relay address from 1 to 247");
        op.direccion = static_cast<uint8_t>(*n);
    } else if (nombre == QLatin1String("--interval")) {
        if (!(n = Entero(texto, 1, 3600000)))
            return refusa("milliseconds from 1 to 3600000");
        op.intervalo_ms = static_cast<int>(*n);
    } else if (nombre == QLatin1String("--count")) {
        if (!(n = Entero(texto, 1, 1000000000)))
            return refusa("a number of polls from 1 to 1000000000");
        op.cuenta = static_cast<int>(*n);
    }
    return std::nullopt;
}

const QStringList Opciones_Con_Valor = {QStringLiteral("--port"),     QStringLiteral("--device"),
                                        QStringLiteral("--baud"),     QStringLiteral("--address"),
                                        QStringLiteral("--modem"),    QStringLiteral("--pdf"),
                                        QStringLiteral("--interval"), QStringLiteral("--count")};

const char *Nombre_Luz(Luz luz) {
    switch (luz) {
    case Luz::Apagada:
        return "off";
    case Luz::Encendida:
        return "on";
    case Luz::Parpadeo:
        return "blink";
    }
    return "off";
}

struct Setpoint {
    const char *clave;
    const char *texto;
};
const Setpoint Setpoints_Temperatura[] = {
    {"L1", "L1 alarm temperature"},
    {"L2", "L2 trip temperature"},
    {"low_fan", "Low Fan, stop-fan temperature"},
    {"high_fan", "High Fan, start-fan temperature"},
};

} // namespace

// The usage text keeps its columns as the terminal shows them.
// clang-format off
QString Uso() {
    return QStringLiteral(
        "usage: kv73ctl [--port N | --device PATH] [--baud B] [--address A] [--modem PHONE] [--json]\n"
        "               COMMAND [ARGS]\n"
        "commands:\n"
        "  ident                           identification registers; is it a KV-73?\n"
        "  setpoints                       the six setpoint registers\n"
        "  values                          one poll: temperatures, maxima, lamps\n"
        "  watch [--interval MS] [--count N]  a poll every MS milliseconds (1..3600000, default\n"
        "                                  500), N times (1..1000000000) or until interrupted\n"
        "  reset-max                       reset the maximum temperatures (command 16)\n"
        "  save FILE                       the relay's setpoints and actual values to a .KV73 file\n"
        "  show FILE                       what a .KV73 file holds (no relay needed)\n"
        "  send FILE                       write a .KV73 file's setpoints to the relay at --address\n"
        "  set NAME=VALUE ...              change setpoints: L1, L2, LowFan, HighFan (0..220 °C),\n"
        "                                  RTD=3|4, Fan=yes|no, FanProbes=3|4, Weekly=yes|no\n"
        "  report [FILE] --pdf OUT.pdf     the printed report as a PDF, of a .KV73 file or, without\n"
        "                                  FILE, of the relay (setpoints and one poll)\n"
        "  ports                           serial ports of this computer, and the device of COM1..COM4\n"
        "options:\n"
        "  --port N      serial port number 1..255 (device from KV73_COMn, else the one assigned\n"
        "                in kv73's \"Port devices\", else /dev/ttyS<N-1>)\n"
        "  --device PATH serial device to use instead of a port number\n"
        "  --baud B      1200, 2400, 4800 or 9600 (default 9600)\n"
        "  --address A   relay slave address 1..247 (default 1)\n"
        "  --modem PHONE dial PHONE through the modem on the port before the transactions\n"
        "  --json        one JSON object per result\n"
        "exit status: 0 done, 1 usage or a value refused, 2 link failure, 3 bad reply or relay\n"
        "refused, 4 a file that cannot be read, is not a KV-73 file, or cannot be written\n");
}
// clang-format on

std::optional<int> Analiza_Linea_Comandos(const QStringList &argumentos, Opciones &op) {
    bool opciones_de_watch = false;
    for (int i = 1; i < argumentos.size(); ++i) {
        const QString &a = argumentos[i];
        const auto valor = [&]() -> std::optional<QString> {
            if (i + 1 >= argumentos.size())
                return std::nullopt;
            return argumentos[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(qPrintable(Uso()), stdout);
            return 0;
        }
        if (a == QLatin1String("--json")) {
            op.json = true;
            continue;
        }
        if (a.startsWith(QLatin1String("--"))) {
            if (!Opciones_Con_Valor.contains(a))
                return Error_Uso(QStringLiteral("unknown option: ") + a);
            const auto texto = valor();
            if (!texto)
                return Error_Uso(a + QStringLiteral(" needs a value"));
            // Left empty, either would quietly give the default: the port
            // numbered by --port, a direct link instead of a call.
            if (a == QLatin1String("--modem") && texto->trimmed().isEmpty())
                return Error_Uso(QStringLiteral("--modem needs a telephone number"));
            if (a == QLatin1String("--device") && texto->isEmpty())
                return Error_Uso(QStringLiteral("--device needs a device path"));
            if (a == QLatin1String("--modem"))
                op.telefono = *texto;
            else if (a == QLatin1String("--device"))
                op.dispositivo = *texto;
            else if (a == QLatin1String("--pdf"))
                op.pdf = *texto;
            else if (const auto error = Toma_Numero(a, *texto, op))
                return Error_Uso(*error);
            if (a == QLatin1String("--interval") || a == QLatin1String("--count"))
                opciones_de_watch = true;
            continue;
        }
        if (op.comando.isEmpty())
            op.comando = a;
        else
            op.argumentos << a;
    }
    if (op.comando.isEmpty())
        return Error_Uso(QStringLiteral("no command"));
    if (!Comandos_Validos.contains(op.comando))
        return Error_Uso(QStringLiteral("unknown command: ") + op.comando);
    if (Comandos_Archivo.contains(op.comando)) {
        if (op.argumentos.size() != 1)
            return Error_Uso(op.comando + QStringLiteral(" takes one FILE"));
    } else if (op.comando == QLatin1String("report")) {
        if (op.argumentos.size() > 1)
            return Error_Uso(QStringLiteral("report takes at most one FILE"));
        if (op.pdf.isEmpty())
            return Error_Uso(QStringLiteral("report needs --pdf OUT.pdf"));
    } else if (op.comando == QLatin1String("set")) {
        if (op.argumentos.isEmpty())
            return Error_Uso(QStringLiteral("set needs NAME=VALUE"));
    } else if (!op.argumentos.isEmpty()) {
        return Error_Uso(QStringLiteral("unexpected argument: ") + op.argumentos.first());
    }
    if (!op.pdf.isEmpty() && op.comando != QLatin1String("report"))
        return Error_Uso(QStringLiteral("--pdf is for report only"));
    if (opciones_de_watch && op.comando != QLatin1String("watch"))
        return Error_Uso(QStringLiteral("--interval and --count are for watch only"));
    return std::nullopt;
}

int Abre_Enlace(const Opciones &op, Puerto_Serie &puerto) {
    if (!op.dispositivo.isEmpty())
        qputenv(QByteArray("KV73_COM" + QByteArray::number(op.puerto)).constData(),
                op.dispositivo.toLocal8Bit());
    Estado.Puerto_Com = op.puerto;
    Estado.Velocidad = static_cast<int16_t>(op.velocidad);
    Estado.Direccion_Rele = op.direccion;
    puerto.Set_CommPort(op.puerto);
    const QString settings = Str(op.velocidad) + QStringLiteral(",N,8,1");
    if (!puerto.Set_Settings(settings) || !puerto.Set_PortOpen(true)) {
        std::fprintf(stderr, "kv73ctl: cannot open %s: %s\n",
                     qPrintable(Nombre_Dispositivo(op.puerto)), qPrintable(puerto.Error_Texto()));
        return 2;
    }
    if (op.telefono.isEmpty()) {
        Estado.Comunicacion_OK = true;
        return 0;
    }
    // Through the local modem, as a launching program brings the link up: no
    // questions, numeric result codes accepted.
    Estado.Via_Modem = true;
    Estado.Modo_Linea_Comandos = true;
    Estado.Telefono = Ajusta(op.telefono, 20);
    if (!Conectar_Modem()) {
        std::fprintf(stderr, "%s\n", qPrintable(Textos_Modem::Puerto_Invalido + Str(op.puerto)));
        return 2;
    }
    if (!Estado.Comunicacion_OK) {
        std::fprintf(stderr, "kv73ctl: the modem did not connect to %s\n", qPrintable(op.telefono));
        return 2;
    }
    return 0;
}

int Resultado_Enlace() {
    return Estado.Fallos_Enlace > 0 ? 2 : 0;
}

Desenlace Transaccion(const std::function<void()> &transaccion) {
    const uint32_t fallos = Estado.Fallos_Enlace;
    const uint32_t malas = Estado.Respuestas_Malas;
    const uint32_t tomadas = Estado.Intercambios;
    transaccion();
    if (Estado.Fallos_Enlace != fallos)
        return Desenlace::Sin_Respuesta;
    if (Estado.Intercambios == tomadas) {
        // Nothing reached the relay: the port was closed or lost, or the link
        // already down. The core passes over that in silence, since the main page
        // just stops polling; here nobody would ever hear of it, and the values
        // of some earlier reply would pass for this one's.
        Rele_No_Responde();
        return Desenlace::Sin_Respuesta;
    }
    // Every reply taken is good or refused, and a read that asks again stops at
    // its first good one: more replies than refusals means the last was good.
    return Estado.Intercambios - tomadas > Estado.Respuestas_Malas - malas ? Desenlace::Buena
                                                                           : Desenlace::Mala;
}

int Salida_Lectura(Desenlace d, const char *que) {
    switch (d) {
    case Desenlace::Buena:
        return 0;
    case Desenlace::Mala:
        std::fprintf(stderr, "kv73ctl: bad reply to the %s\n", que);
        return 3;
    case Desenlace::Sin_Respuesta:
        // The link-failure procedure has said "Relay Not Response".
        return 2;
    }
    return 2;
}

QString Hex4(int valor) {
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(valor, 4, 16, QLatin1Char('0')).toUpper();
}

Imagen_Setpoints Lee_Imagen_Setpoints() {
    Imagen_Setpoints s;
    for (int k = 0; k < 6; ++k)
        s.registros[k] = Lee_Word_Setpoint(static_cast<uint8_t>(4 + 2 * k));
    return s;
}

namespace {
struct Opcion {
    const char *clave;
    const char *texto;
    const char *valores[2];
};
// Bits 0..3 of register 0x0104.
const Opcion Opciones_0104[] = {
    {"rtd_quantity", "RTD quantity", {"3", "4"}},
    {"fan_presence", "Fan presence", {"No", "Yes"}},
    {"fan_command_probes", "Probe quantity for fan command", {"3", "4"}},
    {"weekly_fan_activation", "Weekly automatic fan activation", {"No", "Yes"}},
};
} // namespace

QStringList Texto_Setpoints(const Imagen_Setpoints &s) {
    QStringList lineas;
    for (int k = 0; k < 4; ++k)
        lineas << QStringLiteral("%1 (register 0x%2): %3 °C")
                      .arg(QLatin1String(Setpoints_Temperatura[k].texto))
                      .arg(0x0100 + k, 4, 16, QLatin1Char('0'))
                      .arg(s.registros[k]);
    lineas << QStringLiteral("options (register 0x0104): %1").arg(Hex4(s.registros[4]));
    for (int b = 0; b < 4; ++b)
        lineas << QStringLiteral("  %1: %2")
                      .arg(QLatin1String(Opciones_0104[b].texto),
                           QLatin1String(Opciones_0104[b].valores[(s.registros[4] >> b) & 1]));
    lineas << QStringLiteral("register 0x0105: %1").arg(Hex4(s.registros[5]));
    return lineas;
}

QJsonObject Json_Setpoints(const Imagen_Setpoints &s) {
    QJsonObject o;
    for (int k = 0; k < 4; ++k)
        o.insert(QLatin1String(Setpoints_Temperatura[k].clave), s.registros[k]);
    o.insert(QStringLiteral("options"), s.registros[4]);
    for (int b = 0; b < 4; ++b) {
        const QString valor = QLatin1String(Opciones_0104[b].valores[(s.registros[4] >> b) & 1]);
        if (valor == QLatin1String("Yes") || valor == QLatin1String("No"))
            o.insert(QLatin1String(Opciones_0104[b].clave), valor == QLatin1String("Yes"));
        else
            o.insert(QLatin1String(Opciones_0104[b].clave), valor.toInt());
    }
    o.insert(QStringLiteral("register_0105"), s.registros[5]);
    return o;
}

Lectura_Actual Lee_Lectura_Actual() {
    Lectura_Actual v;
    for (int k = 0; k < 4; ++k) {
        v.temperaturas[k] = Texto_Temperatura(Lee_Word_Actual(static_cast<uint8_t>(4 + 2 * k)));
        v.maximos[k] = Lee_Word_Actual(static_cast<uint8_t>(12 + 2 * k));
    }
    v.encendidos = Lee_Word_Actual(CByte(Posicion_Actual(QStringLiteral("020A"))));
    v.parpadeos = Lee_Word_Actual(CByte(Posicion_Actual(QStringLiteral("020B"))));
    return v;
}

QString Texto_Valores(const Lectura_Actual &v) {
    QStringList partes;
    for (int k = 0; k < 4; ++k)
        partes << QStringLiteral("Pt%1 %2 (max %3)")
                      .arg(k + 1)
                      .arg(v.temperaturas[k])
                      .arg(v.maximos[k]);
    QStringList luces;
    for (const auto &ind : Mapa_Indicadores)
        luces << QStringLiteral("%1 %2").arg(
            QLatin1String(ind.nombre),
            QLatin1String(Nombre_Luz(Luz_Indicador(ind, v.encendidos, v.parpadeos))));
    return partes.join(QStringLiteral("  ")) + QStringLiteral(" | ") +
           luces.join(QStringLiteral(", "));
}

QJsonObject Json_Valores(const Lectura_Actual &v) {
    QJsonArray temperaturas, maximos;
    for (int k = 0; k < 4; ++k) {
        temperaturas.append(v.temperaturas[k]);
        maximos.append(v.maximos[k]);
    }
    QJsonObject luces;
    for (const auto &ind : Mapa_Indicadores)
        luces.insert(QLatin1String(ind.nombre),
                     QLatin1String(Nombre_Luz(Luz_Indicador(ind, v.encendidos, v.parpadeos))));
    return {{QStringLiteral("temperatures"), temperaturas},
            {QStringLiteral("maxima"), maximos},
            {QStringLiteral("lamps"), luces}};
}

// --- setpoint files ------------------------------------------------------------

namespace {
QJsonValue Json_Fecha(double fecha) {
    const QDate dia = Dia_Archivo(fecha);
    return dia.isValid() ? QJsonValue(dia.toString(Qt::ISODate)) : QJsonValue();
}
} // namespace

QStringList Texto_Archivo(const QString &ruta) {
    const auto &r = Estado.Registro_Archivo;
    const QDate dia = Dia_Archivo(r.Fecha);
    QStringList lineas;
    lineas << QStringLiteral("file: ") + ruta << QStringLiteral("tag: ") + r.Etiqueta.trimmed()
           << QStringLiteral("saved: ") +
                  (dia.isValid() ? dia.toString(Qt::ISODate) : QStringLiteral("not a date"))
           << QStringLiteral("relay address in the file: %1").arg(r.Trama[1]);
    // A value the program would refuse to load or send is marked on its own line.
    QStringList setpoints = Texto_Setpoints(Lee_Imagen_Setpoints());
    for (const Setpoint_Fuera_De_Rango &p : Revisa_Setpoints(r.Trama))
        setpoints[p.setpoint] += QStringLiteral("  (out of range: %1)").arg(p.texto);
    lineas << setpoints;
    lineas << QStringLiteral("actual values: ") + Texto_Valores(Lee_Lectura_Actual());
    return lineas;
}

QJsonObject Json_Archivo(const QString &ruta) {
    const auto &r = Estado.Registro_Archivo;
    QJsonArray problemas;
    for (const Setpoint_Fuera_De_Rango &p : Revisa_Setpoints(r.Trama))
        problemas.append(QJsonObject{
            {QStringLiteral("setpoint"), QLatin1String(Setpoints_Temperatura[p.setpoint].clave)},
            {QStringLiteral("value"), p.valor},
            {QStringLiteral("text"), p.texto}});
    return {{QStringLiteral("file"), ruta},
            {QStringLiteral("tag"), r.Etiqueta.trimmed()},
            {QStringLiteral("date"), Json_Fecha(r.Fecha)},
            {QStringLiteral("address"), r.Trama[1]},
            {QStringLiteral("setpoints"), Json_Setpoints(Lee_Imagen_Setpoints())},
            {QStringLiteral("problems"), problemas},
            {QStringLiteral("values"), Json_Valores(Lee_Lectura_Actual())}};
}

int Lecturas_De_Arranque(bool con_sondeo) {
    const Desenlace id = Transaccion([] { Lee_Identificacion(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(id, "identification read"))
        return fallo;
    if (!Verifica_Identificacion()) {
        Estado.Comunicacion_OK = false;
        std::fprintf(stderr, "kv73ctl: the device at address %d is not a KV-73 relay\n",
                     Estado.Direccion_Rele);
        return 3;
    }
    const Desenlace s = Transaccion([] { Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(s, "setpoint read"))
        return fallo;
    if (!con_sondeo)
        return 0;
    // A file with the actual values of no poll at all is not what was asked for.
    const Desenlace v = Transaccion([] { Lee_Valores_Actuales(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(v, "actual-values poll"))
        return fallo;
    Arma_Trama_Escritura(Estado.Direccion_Rele);
    return 0;
}

// --- set NAME=VALUE ------------------------------------------------------------

namespace {

constexpr int Maximo_Temperatura = 220;

enum class Clase { Temperatura, Sondas, Si_No };
struct Ajuste {
    const char *nombre;
    Clase clase;
    std::optional<int> Cambios_Setpoints::*entero;
    std::optional<bool> Cambios_Setpoints::*logico;
};
const Ajuste Ajustes[] = {
    {"L1", Clase::Temperatura, &Cambios_Setpoints::L1, nullptr},
    {"L2", Clase::Temperatura, &Cambios_Setpoints::L2, nullptr},
    {"LowFan", Clase::Temperatura, &Cambios_Setpoints::Low_Fan, nullptr},
    {"HighFan", Clase::Temperatura, &Cambios_Setpoints::High_Fan, nullptr},
    {"RTD", Clase::Sondas, &Cambios_Setpoints::RTD, nullptr},
    {"Fan", Clase::Si_No, nullptr, &Cambios_Setpoints::Fan},
    {"FanProbes", Clase::Sondas, &Cambios_Setpoints::Fan_Probes, nullptr},
    {"Weekly", Clase::Si_No, nullptr, &Cambios_Setpoints::Weekly},
};

const Ajuste *Busca_Ajuste(const QString &nombre) {
    for (const Ajuste &a : Ajustes)
        if (nombre.compare(QLatin1String(a.nombre), Qt::CaseInsensitive) == 0)
            return &a;
    return nullptr;
}

// One NAME=VALUE into `c`; a message when the value does not fit the name.
std::optional<QString> Toma_Valor(const Ajuste &a, const QString &valor, Cambios_Setpoints &c) {
    const QString dicho = QStringLiteral("%1=%2").arg(QLatin1String(a.nombre), valor);
    switch (a.clase) {
    case Clase::Temperatura: {
        bool ok = false;
        const int v = valor.toInt(&ok);
        if (!ok || v < 0 || v > Maximo_Temperatura)
            return dicho + QStringLiteral(" is out of range: give whole degrees from 0 to %1")
                               .arg(Maximo_Temperatura);
        c.*a.entero = v;
        return std::nullopt;
    }
    case Clase::Sondas:
        if (valor != QLatin1String("3") && valor != QLatin1String("4"))
            return dicho + QStringLiteral(": give 3 or 4");
        c.*a.entero = valor.toInt();
        return std::nullopt;
    case Clase::Si_No:
        if (valor.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
            c.*a.logico = true;
        else if (valor.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
            c.*a.logico = false;
        else
            return dicho + QStringLiteral(": give yes or no");
        return std::nullopt;
    }
    return std::nullopt;
}

// The main page's rule between a level and the one that must stay above it
// (L1 and L2, Low Fan and High Fan).
std::optional<QString> Aplica_Par(const char *nombre_bajo, std::optional<int> bajo,
                                  const char *nombre_alto, std::optional<int> alto, int &r_bajo,
                                  int &r_alto) {
    if (bajo) {
        r_bajo = *bajo;
        // Pushed one degree above, as the page does; the page would push past
        // the top of the range, which no relay can hold.
        if (!alto && r_alto < r_bajo + 1) {
            if (r_bajo + 1 > Maximo_Temperatura)
                return QStringLiteral("%1=%2 would push %3 to %4, above %5: give %3 as well")
                    .arg(QLatin1String(nombre_bajo))
                    .arg(r_bajo)
                    .arg(QLatin1String(nombre_alto))
                    .arg(r_bajo + 1)
                    .arg(Maximo_Temperatura);
            r_alto = r_bajo + 1;
        }
    }
    if (alto) {
        r_alto = *alto;
        if (r_alto < r_bajo)
            return QStringLiteral("%1=%2 is below %3 (%4)")
                .arg(QLatin1String(nombre_alto))
                .arg(r_alto)
                .arg(QLatin1String(nombre_bajo))
                .arg(r_bajo);
    }
    return std::nullopt;
}

// The changed block into the edit image, the way the editors and the option
// lists store it: the temperature words, then bits 0..3 of register 0x0104 one
// by one (its high byte and other bits stay as read).
void Guarda_En_Edicion(const Imagen_Setpoints &s) {
    for (int k = 0; k < 4; ++k)
        Escribe_Word_Setpoint(QString::number(s.registros[k]),
                              CByte(Posicion_Setpoint(
                                  QStringLiteral("%1").arg(0x0100 + k, 4, 16, QLatin1Char('0')))));
    const uint8_t opciones = CByte(Posicion_Setpoint(QStringLiteral("0104")) + 1);
    for (uint8_t bit = 0; bit < 4; ++bit) {
        const auto estado = static_cast<int16_t>((s.registros[4] >> bit) & 1);
        Escribe_Byte_Setpoint(opciones, CByte(Cambia_Bit_Setpoint(estado, bit, opciones)));
    }
}

} // namespace

std::optional<QString> Analiza_Cambios(const QStringList &argumentos, Cambios_Setpoints &c) {
    c = {};
    QStringList dados;
    for (const QString &a : argumentos) {
        const qsizetype igual = a.indexOf(QLatin1Char('='));
        if (igual <= 0)
            return QStringLiteral("not NAME=VALUE: ") + a;
        const Ajuste *ajuste = Busca_Ajuste(a.left(igual));
        if (!ajuste)
            return QStringLiteral("unknown setpoint %1: give L1, L2, LowFan, HighFan, RTD, Fan, "
                                  "FanProbes or Weekly")
                .arg(a.left(igual));
        if (dados.contains(QLatin1String(ajuste->nombre)))
            return QLatin1String(ajuste->nombre) + QStringLiteral(" given twice");
        dados << QLatin1String(ajuste->nombre);
        if (auto error = Toma_Valor(*ajuste, a.mid(igual + 1), c))
            return error;
    }
    // On a block that lets every value stand, only the contradictions among the
    // values given show up: those are refused before the relay is asked.
    Imagen_Setpoints abierto;
    abierto.registros = {0, Maximo_Temperatura, 0, Maximo_Temperatura, 0x0001, 0};
    return Aplica_Cambios(c, abierto);
}

std::optional<QString> Aplica_Cambios(const Cambios_Setpoints &c, Imagen_Setpoints &s) {
    auto &r = s.registros;
    if (auto error = Aplica_Par("L1", c.L1, "L2", c.L2, r[0], r[1]))
        return error;
    if (auto error = Aplica_Par("LowFan", c.Low_Fan, "HighFan", c.High_Fan, r[2], r[3]))
        return error;
    const auto pon_bit = [&r](int bit, bool puesto) {
        r[4] = puesto ? (r[4] | (1 << bit)) : (r[4] & ~(1 << bit));
    };
    if (c.RTD)
        pon_bit(0, *c.RTD == 4);
    if (c.Fan)
        pon_bit(1, *c.Fan);
    if (c.Fan_Probes)
        pon_bit(2, *c.Fan_Probes == 4);
    if (c.Weekly)
        pon_bit(3, *c.Weekly);
    // With three probes the fan is commanded by three: the page disables that choice.
    if ((r[4] & 1) == 0) {
        if (c.Fan_Probes == 4)
            return QStringLiteral("FanProbes=4 needs RTD=4");
        pon_bit(2, false);
    }
    return std::nullopt;
}

int Cambia_Setpoints(const Cambios_Setpoints &c) {
    if (const int fallo = Lecturas_De_Arranque(false))
        return fallo;
    Imagen_Setpoints s = Lee_Imagen_Setpoints();
    if (const auto error = Aplica_Cambios(c, s)) {
        std::fprintf(stderr, "kv73ctl: %s; nothing was written\n", qPrintable(*error));
        return 1;
    }
    Guarda_En_Edicion(s);

    const uint32_t malas = Estado.Respuestas_Malas;
    // Commands 1 and 2 are silent whatever the relay answers; say it here.
    const auto comando = [](int32_t numero) {
        const Desenlace d =
            Transaccion([&numero] { Ejecuta_Comando(Estado.Direccion_Rele, numero); });
        if (d == Desenlace::Mala)
            std::fprintf(stderr, "kv73ctl: bad reply to command %d\n", numero);
        return d;
    };
    // The link failing at one step ends the sequence there: nothing more is sent.
    const auto escribe = [] { Escribe_Setpoints(Estado.Direccion_Rele); };
    if (comando(1) == Desenlace::Sin_Respuesta ||
        Transaccion(escribe) == Desenlace::Sin_Respuesta || comando(2) == Desenlace::Sin_Respuesta)
        return 2;
    return Estado.Respuestas_Malas != malas ? 3 : 0;
}
