#include "kv73ctl/Comandos.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Espera.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_Datos.h"
#include "datos/Rangos_Setpoints.h"
#include "enlace/Abrir_Puerto.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Enlace_Rele.h"
#include "registro/Fila_Registro.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

QString Dispositivo_Opciones(const Opciones &op) {
    return op.dispositivo.isEmpty() ? Nombre_Dispositivo(static_cast<int16_t>(op.puerto))
                                    : op.dispositivo;
}

int Abre_Enlace(const Opciones &op, Enlace_Rele &enlace) {
    Puerto_Serie &puerto = enlace.MSComm1();
    // The parser has held each number to its range.
    Estado.Puerto_Com = static_cast<int16_t>(op.puerto);
    Estado.Velocidad = static_cast<int16_t>(op.velocidad);
    Estado.Direccion_Rele = static_cast<uint8_t>(op.direccion);
    puerto.Set_CommPort(Estado.Puerto_Com);
    const QString settings = Str(op.velocidad) + QStringLiteral(",N,8,1");
    // Known before the port opens: a port that carries no modem refuses it.
    Estado.Via_Modem = !op.telefono.isEmpty();
    if (!puerto.Set_Settings(settings) || !puerto.Set_PortOpen(true)) {
        std::fprintf(stderr, "kv73ctl: cannot open %s: %s\n", qPrintable(Dispositivo_Opciones(op)),
                     qPrintable(puerto.Error_Texto()));
        return 2;
    }
    if (op.telefono.isEmpty()) {
        Estado.Comunicacion_OK = true;
        return 0;
    }
    // Through the local modem, as a launching program brings the link up: no
    // questions, numeric result codes accepted.
    Estado.Modo_Linea_Comandos = true;
    Estado.Telefono = Ajusta(op.telefono, 20);
    const bool conectado = Conectar_Modem(enlace);
    // A signal during the dial-up ends the command without a word about the call.
    if (Estado.Interrupcion)
        return 2;
    if (!conectado) {
        std::fprintf(stderr, "%s\n", qPrintable(Textos_Modem::Puerto_Invalido + Str(op.puerto)));
        return 2;
    }
    if (!Estado.Comunicacion_OK) {
        std::fprintf(stderr, "kv73ctl: the modem did not connect to %s\n", qPrintable(op.telefono));
        return 2;
    }
    return 0;
}

bool Reabre_Enlace(const Opciones &op, Enlace_Rele &enlace) {
    if (!op.telefono.isEmpty())
        return Abre_Enlace(op, enlace) == 0;
    Puerto_Serie &puerto = enlace.MSComm1();
    puerto.Set_CommPort(static_cast<int16_t>(op.puerto));
    if (!puerto.Set_Settings(Str(op.velocidad) + QStringLiteral(",N,8,1")) ||
        !puerto.Set_PortOpen(true))
        return false;
    Estado.Comunicacion_OK = true;
    return true;
}

namespace {
// The code of the exception reply that ended the last transaction, if one did.
std::optional<uint8_t> ultima_excepcion;
} // namespace

Desenlace Transaccion(Enlace_Rele &enlace, const std::function<Resultado()> &transaccion) {
    ultima_excepcion.reset();
    switch (transaccion()) {
    case Resultado::Buena:
        return Desenlace::Buena;
    case Resultado::Mala:
        return Desenlace::Mala;
    case Resultado::Excepcion:
        ultima_excepcion = Estado.Codigo_Excepcion;
        return Desenlace::Mala;
    case Resultado::Cancelada:
        // Only an interruption cancels here: the command ends without a word.
        return Desenlace::Sin_Respuesta;
    case Resultado::Omitida:
        // Nothing reached the relay: the port was closed or lost, or the link
        // already down. The core passes over that in silence, since the main page
        // just stops polling; here nobody would ever hear of it, and the values
        // of some earlier reply would pass for this one's.
        if (!Estado.Interrupcion)
            enlace.Rele_No_Responde();
        return Desenlace::Sin_Respuesta;
    case Resultado::Sin_Respuesta:
        break;
    }
    return Desenlace::Sin_Respuesta;
}

int Salida_Lectura(Desenlace d, const char *que) {
    switch (d) {
    case Desenlace::Buena:
        return 0;
    case Desenlace::Mala:
        if (ultima_excepcion)
            std::fprintf(stderr, "kv73ctl: the relay answered with exception %02X to the %s\n",
                         *ultima_excepcion, que);
        else
            std::fprintf(stderr, "kv73ctl: bad reply to the %s\n", que);
        return 3;
    case Desenlace::Sin_Respuesta:
        // The link-failure procedure has said "Relay Not Response".
        return 2;
    }
    return 2;
}

int Lecturas_De_Arranque(Enlace_Rele &e, bool con_sondeo) {
    const Desenlace id =
        Transaccion(e, [&e] { return e.Lee_Identificacion(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(id, "identification read"))
        return fallo;
    if (!Verifica_Identificacion()) {
        Estado.Comunicacion_OK = false;
        std::fprintf(stderr, "kv73ctl: the device at address %d is not a KV-73 relay\n",
                     Estado.Direccion_Rele);
        return 3;
    }
    const Desenlace s = Transaccion(e, [&e] { return e.Lee_Setpoints(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(s, "setpoint read"))
        return fallo;
    if (!con_sondeo)
        return 0;
    // A file with the actual values of no poll at all is not what was asked for.
    const Desenlace v =
        Transaccion(e, [&e] { return e.Lee_Valores_Actuales(Estado.Direccion_Rele); });
    if (const int fallo = Salida_Lectura(v, "actual-values poll"))
        return fallo;
    Arma_Trama_Escritura(Estado.Direccion_Rele);
    return 0;
}

// --- watch and log: their pace and their end ------------------------------------

namespace {
volatile std::sig_atomic_t interrumpido = 0;
// The signal handler writes a byte here; its reader wakes the event loop, which
// a signal alone does not (the loop's poll is restarted after one).
int tubo[2] = {-1, -1};
void Al_Interrumpir(int) {
    interrumpido = 1;
    if (tubo[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] const auto n = ::write(tubo[1], &c, 1);
    }
}
} // namespace

void Atiende_Interrupciones() {
    if (tubo[0] < 0 && ::pipe2(tubo, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto *lector = new QSocketNotifier(tubo[0], QSocketNotifier::Read, qApp);
        QObject::connect(lector, &QSocketNotifier::activated, [] {
            char c[16];
            while (::read(tubo[0], c, sizeof c) > 0) {
            }
            // Every wait of the link ends at once, without the link failure.
            Estado.Interrupcion = true;
        });
    }
    std::signal(SIGINT, Al_Interrumpir);
    std::signal(SIGTERM, Al_Interrumpir);
}

bool Interrumpido() {
    return interrumpido != 0;
}

Estado_Sondeo Estado_De(Desenlace d) {
    switch (d) {
    case Desenlace::Buena:
        return Estado_Sondeo::Ok;
    case Desenlace::Mala:
        return Estado_Sondeo::Mala;
    case Desenlace::Sin_Respuesta:
        break;
    }
    return Estado_Sondeo::Sin_Respuesta;
}

void Espera_Hasta_Ms(const QElapsedTimer &reloj, qint64 hasta) {
    const qint64 falta = hasta - reloj.elapsed();
    if (falta <= 0)
        return;
    Espera_Hasta_O_Vence(static_cast<int>(falta), [] { return interrumpido != 0; });
}

// --- set NAME=VALUE ------------------------------------------------------------

namespace {

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
        // Pushed one degree above, as the page does, and no further than the
        // top of the range: L1 at 220 takes L2 to 220, equal, which the relay allows.
        if (!alto && r_alto < r_bajo + 1)
            r_alto = std::min(r_bajo + 1, Maximo_Temperatura);
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

int Cambia_Setpoints(
    Enlace_Rele &e, const Cambios_Setpoints &c,
    const std::function<void(const Imagen_Setpoints &, const Imagen_Setpoints &)> &al_escribir) {
    if (const int fallo = Lecturas_De_Arranque(e, false))
        return fallo;
    const Imagen_Setpoints antes = Lee_Imagen_Setpoints();
    Imagen_Setpoints s = antes;
    if (const auto error = Aplica_Cambios(c, s)) {
        std::fprintf(stderr, "kv73ctl: %s; nothing was written\n", qPrintable(*error));
        return 1;
    }
    Guarda_En_Edicion(s);

    bool mala = false;
    // Commands 1 and 2 are silent whatever the relay answers; say it here.
    const auto comando = [&e, &mala](int32_t numero) {
        const Desenlace d = Transaccion(
            e, [&e, &numero] { return e.Ejecuta_Comando(Estado.Direccion_Rele, numero); });
        if (d == Desenlace::Mala) {
            std::fprintf(stderr, "kv73ctl: bad reply to command %d\n", numero);
            mala = true;
        }
        return d;
    };
    const auto escribe = [&] {
        const Desenlace d =
            Transaccion(e, [&e] { return e.Escribe_Setpoints(Estado.Direccion_Rele); });
        mala = mala || d == Desenlace::Mala;
        // A good write leaves the block as the relay now holds it in the image.
        if (d == Desenlace::Buena && al_escribir)
            al_escribir(antes, Lee_Imagen_Setpoints());
        return d;
    };
    // The link failing at one step ends the sequence there: nothing more is sent.
    if (comando(1) == Desenlace::Sin_Respuesta || escribe() == Desenlace::Sin_Respuesta ||
        comando(2) == Desenlace::Sin_Respuesta)
        return 2;
    return mala ? 3 : 0;
}
