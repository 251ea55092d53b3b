#include "comun/Linea_Comandos.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"

#include <QFileInfo>
#include <cmath>
#include <optional>

namespace {

// Nearest integer, halves to the even neighbour, when it lies in [minimo, maximo].
std::optional<long> Entero_En(double valor, long minimo, long maximo) {
    const double r = std::nearbyint(valor);
    if (!(r >= minimo && r <= maximo))
        return std::nullopt;
    return static_cast<long>(r);
}

} // namespace

QString Forma_Linea_Kv73() {
    return QStringLiteral("usage: kv73 SPEED,PARITY,DATA,STOP PORT ADDRESS\n"
                          "  for example: kv73 9600,N,8,1 2 17   (9600 baud, COM2, relay 17)\n"
                          "  ADDRESS is the relay's own, 1 to 254; a number is decimal, or\n"
                          "  hexadecimal after 0x (017 is 17, 0x11 is 17).\n"
                          "  without arguments the program starts for an operator.\n"
                          "usage: kv73 FILE.KV73\n"
                          "  starts for an operator, offline, with the setpoint file loaded.\n");
}

bool Es_Archivo_De_Setpoints(const QString &palabra) {
    return palabra.endsWith(QLatin1String(".KV73"), Qt::CaseInsensitive) ||
           QFileInfo(palabra).isFile();
}

std::variant<Parametros_Enlace, QString> Analiza_Linea_Kv73(const QString &linea) {
    const qsizetype p = linea.indexOf(QLatin1Char(' '));
    if (p < 0)
        return QStringLiteral("the port and the address are missing");
    const QString palabra = linea.left(p);
    const qsizetype coma = palabra.indexOf(QLatin1Char(','));
    if (coma < 0)
        return QStringLiteral("the first word must be the speed and a comma, as in 9600,N,8,1");
    const QString resto = linea.mid(p + 1);
    const qsizetype q = resto.indexOf(QLatin1Char(' '));
    if (q < 0)
        return QStringLiteral("the address is missing");

    // No line runs at 0 baud or less: such a word (or one that is no number at
    // all, which reads as 0) is not a speed.
    const double baudios = Valor_Palabra(palabra.left(coma));
    if (!(baudios >= 1))
        return QStringLiteral("the speed must be a positive number of baud, as in 9600,N,8,1");
    const auto velocidad = Entero_En(baudios, 1, INT16_MAX);
    if (!velocidad)
        return QStringLiteral("the speed does not fit a 16-bit number");
    // The port word keeps its trailing blank; the number is read all the same.
    const auto puerto = Entero_En(Valor_Palabra(resto.left(q + 1)), INT16_MIN, INT16_MAX);
    if (!puerto)
        return QStringLiteral("the port number does not fit a 16-bit number");
    // The program would poll a broadcast address or one no relay takes, and
    // never get an answer: the launcher is told at once instead.
    const auto direccion =
        Entero_En(Valor_Palabra(resto.mid(q + 1)), Direccion_Minima, Direccion_Maxima);
    if (!direccion)
        return QStringLiteral("the relay address must be %1..%2")
            .arg(Direccion_Minima)
            .arg(Direccion_Maxima);
    return Parametros_Enlace{static_cast<int16_t>(*velocidad), static_cast<int16_t>(*puerto),
                             static_cast<uint8_t>(*direccion)};
}
