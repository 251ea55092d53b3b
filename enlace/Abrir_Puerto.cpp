#include "enlace/Abrir_Puerto.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Espera.h"
#include "comun/Operador.h"
#include "comun/Temporizador.h"
#include "comun/Texto.h"
#include "enlace/Cadena_Modem.h"
#include "enlace/Puerto_Serie.h"
#include "protocolo/Enlace_Rele.h"

#include <QSet>

#include <algorithm>
#include <iterator>

namespace T = Textos_Modem;

namespace {

QString Lee_Texto(Puerto_Serie &puerto) {
    return QString::fromLatin1(puerto.Input());
}

void Envia_Linea(Puerto_Serie &puerto, const QString &texto) {
    puerto.Output(texto.toLatin1() + '\r');
}

// A modem frames its text replies in CR LF: what lies between, or nothing when
// the reply is too short to carry a frame.
std::optional<QString> Sin_Marco(const QString &respuesta) {
    if (respuesta.size() < 4)
        return std::nullopt;
    return respuesta.mid(2, respuesta.size() - 4);
}

// The initialisation string for the local modem: none in command-line mode or
// with "Default String"; with "Personal String" the operator confirms or types it.
QString Cadena_Inicial(Operador &dialogos) {
    if (Estado.Modo_Linea_Comandos || !Estado.Cadena_Personal_Local)
        return {};
    Leer_Cadena_Modem(2);
    const QString respuesta =
        dialogos.Caja_Entrada(T::Pide_Cadena, QString(), Estado.Cadena_Modem.trimmed()).trimmed();
    Estado.Cadena_Modem = respuesta;
    if (!respuesta.isEmpty())
        Guardar_Cadena_Modem(2);
    return respuesta;
}

// A framed text reply is complete once its closing CR LF is in.
bool Linea_Cerrada(const QString &respuesta) {
    return respuesta.size() >= 4 && respuesta.endsWith(QLatin1String("\r\n"));
}

// A whole result line is in: a code or a word, after any CR LF that frames it,
// ended by its CR. A modem in numeric mode answers a connection with as little
// as "1" and a CR, far short of the six characters the dial waits for.
bool Resultado_Completo(const QString &respuesta) {
    qsizetype i = 0;
    while (i < respuesta.size() && (respuesta[i] == u'\r' || respuesta[i] == u'\n'))
        ++i;
    return i < respuesta.size() && respuesta.indexOf(QLatin1Char('\r'), i) > i;
}

// The words a modem in verbal mode answers a dial it could not complete. They
// do not start with a digit, so read as a number they would pass for code 0.
bool Rechazo_Verbal(const QString &respuesta) {
    static const QLatin1String palabras[] = {
        QLatin1String("BUSY"),         QLatin1String("NO CARRIER"), QLatin1String("NO DIALTONE"),
        QLatin1String("NO DIAL TONE"), QLatin1String("NO ANSWER"),  QLatin1String("ERROR")};
    const QString texto = respuesta.trimmed();
    return std::any_of(std::begin(palabras), std::end(palabras),
                       [&](QLatin1String p) { return texto.startsWith(p); });
}

bool Conexion_Aceptada(const QString &respuesta) {
    if (Estado.Modo_Linea_Comandos) {
        if (Rechazo_Verbal(respuesta))
            return false;
        // Compared as numbers: a reply of a dozen digits is no result code, and
        // must not be squeezed into an int on the way.
        static const double codigos[] = {0, 1, 5, 10, 11, 12, 22};
        const double codigo = Val(respuesta);
        return std::find(std::begin(codigos), std::end(codigos), codigo) != std::end(codigos);
    }
    static const QSet<QString> textos = {
        QStringLiteral("CONNECT"), QStringLiteral("CONNECT 1200"), QStringLiteral("CONNECT 2400"),
        QStringLiteral("CONNECT 4800"), QStringLiteral("CONNECT 9600")};
    const auto texto = Sin_Marco(respuesta);
    return texto && textos.contains(*texto);
}

} // namespace

QString Texto_Settings(int velocidad) {
    return Str(velocidad) + QStringLiteral(",N,8,1");
}

void Reiniciar_Enlace(Enlace_Rele &enlace) {
    Estado.Ocupado = false;
    enlace.Timer_Comunicacion().Set_Enabled(false);
}

bool Espera_Modem(Enlace_Rele &enlace, const std::function<bool()> &condicion) {
    Puerto_Serie &puerto = enlace.MSComm1();
    // The ticks are this wait's own: an exchange run inside it (a poll of the
    // main page) neither sets them back nor stops the tick.
    Ticks_De_Espera segundos(enlace.Timer_Comunicacion());
    Espera_Hasta([&] {
        segundos();
        return !puerto.PortOpen() || Estado.Interrupcion || condicion();
    });
    return puerto.PortOpen() && !Estado.Interrupcion;
}

Linea_Reservada::Linea_Reservada() : ocupado_(Estado.Ocupado) {
    Estado.Ocupado = true;
}

Linea_Reservada::~Linea_Reservada() {
    Estado.Ocupado = ocupado_;
}

void Abrir_Puerto(Enlace_Rele &enlace) {
    Puerto_Serie &puerto = enlace.MSComm1();
    if (puerto.PortOpen())
        puerto.Set_PortOpen(false);
    puerto.Set_CommPort(Estado.Puerto_Com);
    const QString invalido = T::Puerto_Invalido + Str(Estado.Puerto_Com);
    if (!puerto.Set_Settings(Texto_Settings(Estado.Velocidad)) || !puerto.Set_PortOpen(true)) {
        // The operator cannot tell a missing adapter from a refused one by the
        // number alone: the port says why on a line of its own.
        const QString razon = puerto.Error_Texto();
        enlace.Dialogos().Mensaje(razon.isEmpty() ? invalido : invalido + u'\n' + razon);
        return;
    }
    if (!Conectar_Modem(enlace))
        enlace.Dialogos().Mensaje(invalido);
}

namespace {

// Sends the local modem its initialisation and gives it one second to answer.
// What it said, or nothing when the port went away meanwhile.
std::optional<QString> Inicializa_Modem(Enlace_Rele &enlace) {
    Puerto_Serie &puerto = enlace.MSComm1();
    const QString cadena = Cadena_Inicial(enlace.Dialogos());
    if (cadena.isEmpty())
        puerto.Input();
    Estado.Segundos = 0;
    enlace.Timer_Comunicacion().Set_Enabled(true);
    Envia_Linea(puerto, cadena.isEmpty() ? QStringLiteral("ATE0") : cadena);
    const bool abierto = Espera_Modem(enlace, [] { return Estado.Segundos >= 1; });
    const QString respuesta = Lee_Texto(puerto);
    enlace.Timer_Comunicacion().Set_Enabled(false);
    if (!abierto)
        return std::nullopt;
    if (!cadena.isEmpty())
        enlace.Dialogos().Mensaje(T::Respuesta_Cadena + respuesta);
    return respuesta;
}

// Dials Telefono and gives the far modem a minute to answer. Its result line,
// or nothing when no answer came or the port went away.
std::optional<QString> Marca_Numero(Enlace_Rele &enlace) {
    Puerto_Serie &puerto = enlace.MSComm1();
    Temporizador_Comunicacion &tick = enlace.Timer_Comunicacion();
    Estado.Segundos = 0;
    tick.Set_Enabled(true);
    Envia_Linea(puerto, QStringLiteral("ATDT") + Ajusta(Estado.Telefono, 20));
    QString conexion;
    const auto contesto = [&] { return conexion.size() >= 6 || Resultado_Completo(conexion); };
    const bool abierto = Espera_Modem(enlace, [&] {
        conexion += Lee_Texto(puerto);
        return Estado.Segundos >= 60 || contesto();
    });
    if (!abierto || !contesto()) {
        tick.Set_Enabled(false);
        return std::nullopt;
    }
    // Six characters end the wait, but at 9600 baud the rest of a "CONNECT 9600"
    // line may still be on its way: it gets up to one more tick to arrive, so that
    // a connection is not refused for a reply read half-way. A numeric code needs
    // no more than its CR.
    const auto cerrada = [&] {
        return Linea_Cerrada(conexion) ||
               (Estado.Modo_Linea_Comandos && Resultado_Completo(conexion));
    };
    const uint8_t limite = static_cast<uint8_t>(Estado.Segundos + 1);
    while (!cerrada() && Estado.Segundos < limite && puerto.PortOpen()) {
        Espera_Modem(enlace,
                     [&] { return puerto.InBufferCount() > 0 || Estado.Segundos >= limite; });
        conexion += Lee_Texto(puerto);
    }
    tick.Set_Enabled(false);
    return conexion;
}

} // namespace

bool Conectar_Modem(Enlace_Rele &enlace) {
    Estado.Comunicacion_OK = false;
    if (!Estado.Via_Modem) {
        Estado.Comunicacion_OK = true;
        return true;
    }
    Puerto_Serie &puerto = enlace.MSComm1();
    const Linea_Reservada reservada;
    puerto.Set_DTREnable(true);
    puerto.Set_RThreshold(0);
    puerto.Set_SThreshold(0);
    puerto.Set_InputLen(0);
    puerto.Input();
    puerto.Output(QByteArray(1, '\r'));

    // The port went away under the modem: nothing to evaluate.
    const auto respuesta = Inicializa_Modem(enlace);
    if (!respuesta)
        return false;
    const auto ok = Sin_Marco(*respuesta);
    if (!ok)
        return false;
    if (*ok != QLatin1String("OK"))
        return true;

    const auto conexion = Marca_Numero(enlace);
    if (!conexion) {
        // An interrupted kv73ctl ends without a word about the call.
        if (!Estado.Interrupcion)
            enlace.Dialogos().Mensaje(T::Sin_Respuesta);
        Estado.Comunicacion_OK = false;
        return true;
    }
    if (!Estado.Modo_Linea_Comandos && !Sin_Marco(*conexion))
        return false;
    Estado.Comunicacion_OK = Conexion_Aceptada(*conexion);
    // A dial the modem says in words it could not complete is a failed dial in
    // either mode; only a numeric refusal in command-line mode passes silently.
    if (!Estado.Comunicacion_OK && (!Estado.Modo_Linea_Comandos || Rechazo_Verbal(*conexion)))
        enlace.Dialogos().Mensaje(T::Sin_Respuesta);
    return true;
}
