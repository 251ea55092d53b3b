// The trace's lines as the operator reads them: a frame's bytes in hex and what
// they ask or answer, in words.

#include "enlace/Traza_Trafico.h"

#include "protocolo/Crc.h"

#include <QDateTime>

namespace {

uint8_t Byte(const QByteArray &b, qsizetype i) {
    return static_cast<uint8_t>(b[i]);
}

uint16_t Palabra(const QByteArray &b, qsizetype i) {
    return static_cast<uint16_t>(Byte(b, i) << 8 | Byte(b, i + 1));
}

QString Hex4(uint16_t v) {
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0')).toUpper().replace(u'X', u'x');
}

// What a request, or the echo of a write or command, asks for.
QString Pedido(const QByteArray &b) {
    if (b.size() < 6)
        return QStringLiteral("function %1").arg(Byte(b, 1), 2, 16, QLatin1Char('0'));
    const uint16_t registro = Palabra(b, 2), valor = Palabra(b, 4);
    switch (Byte(b, 1)) {
    case 0x03:
        return QStringLiteral("read holding %1 x%2").arg(Hex4(registro)).arg(valor);
    case 0x04:
        return QStringLiteral("read input %1 x%2").arg(Hex4(registro)).arg(valor);
    case 0x05:
        // The coil's number is the command's number; the program only switches on.
        return QStringLiteral("command %1%2")
            .arg(registro)
            .arg(valor == 0xFF00 ? QString() : QStringLiteral(" off"));
    case 0x06:
        return QStringLiteral("write %1 = %2").arg(Hex4(registro)).arg(valor);
    default:
        return QStringLiteral("write %1 x%2").arg(Hex4(registro)).arg(valor);
    }
}

QString Crc_Texto(const QByteArray &b) {
    return CRC_Valido(b) ? QStringLiteral("CRC ok") : QStringLiteral("CRC bad");
}

QString Descripcion_Respuesta(const QByteArray &b) {
    const uint8_t f = Byte(b, 1);
    if (f & 0x80)
        return QStringLiteral("exception %1").arg(Byte(b, 2), 2, 16, QLatin1Char('0')) +
               (CRC_Valido(b) ? QString() : QStringLiteral(" CRC bad"));
    if (f == 0x03 || f == 0x04)
        return QStringLiteral("reply %1 bytes ").arg(Byte(b, 2)) + Crc_Texto(b);
    return QStringLiteral("reply ") + Pedido(b) + QLatin1Char(' ') + Crc_Texto(b);
}

QString Descripcion(const Linea_Traza &l) {
    switch (l.clase) {
    case Clase_Linea::Peticion:
        return Pedido(l.bytes) + (CRC_Valido(l.bytes) ? QString() : QStringLiteral(" CRC bad"));
    case Clase_Linea::Respuesta:
    case Clase_Linea::Respuesta_Mala:
    case Clase_Linea::Excepcion:
        return Descripcion_Respuesta(l.bytes);
    case Clase_Linea::Sin_Respuesta:
        return QStringLiteral("no reply");
    case Clase_Linea::Texto:
        return l.bytes.isEmpty() ? QStringLiteral("<CR>") : QString::fromLatin1(l.bytes);
    case Clase_Linea::Fallo_Enlace:
        return QStringLiteral("link failure");
    case Clase_Linea::Cero:
        return QStringLiteral("0x00 on exit");
    case Clase_Linea::Incompleta:
        return QStringLiteral("%1 bytes, no whole frame").arg(l.bytes.size());
    case Clase_Linea::Puerto_Abierto:
        return QStringLiteral("port open ") + QString::fromUtf8(l.bytes).trimmed();
    case Clase_Linea::Puerto_No_Abre:
        return QStringLiteral("port did not open: ") + QString::fromUtf8(l.bytes);
    case Clase_Linea::Puerto_Cerrado:
        return QStringLiteral("port closed");
    case Clase_Linea::Puerto_Perdido:
        return QStringLiteral("port lost: the device went away");
    }
    return {};
}

bool Lleva_Hex(Clase_Linea c) {
    switch (c) {
    case Clase_Linea::Peticion:
    case Clase_Linea::Respuesta:
    case Clase_Linea::Respuesta_Mala:
    case Clase_Linea::Excepcion:
    case Clase_Linea::Fallo_Enlace:
    case Clase_Linea::Cero:
    case Clase_Linea::Incompleta:
        return true;
    default:
        return false;
    }
}

} // namespace

QString Texto_Linea(const Linea_Traza &l) {
    const QChar sentido = l.sentido == Sentido::Escrito ? u'>'
                          : l.sentido == Sentido::Leido ? u'<'
                                                        : u'-';
    QString texto = QStringLiteral("%1 ").arg(l.ms, 7) + sentido + QLatin1Char(' ');
    if (Lleva_Hex(l.clase))
        texto += QString::fromLatin1(l.bytes.toHex(' ').toUpper()) + QStringLiteral("  ");
    return texto + Descripcion(l);
}

QString Texto_Linea_Con_Hora(const Linea_Traza &l, bool con_fecha) {
    const QString forma =
        con_fecha ? QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss.zzz");
    return QDateTime::fromMSecsSinceEpoch(l.hora).toString(forma) + QLatin1Char(' ') +
           Texto_Linea(l);
}

bool Es_Error(Clase_Linea clase) {
    switch (clase) {
    case Clase_Linea::Respuesta_Mala:
    case Clase_Linea::Excepcion:
    case Clase_Linea::Sin_Respuesta:
    case Clase_Linea::Fallo_Enlace:
    case Clase_Linea::Incompleta:
    case Clase_Linea::Puerto_No_Abre:
    case Clase_Linea::Puerto_Perdido:
        return true;
    default:
        return false;
    }
}
