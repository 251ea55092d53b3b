#include "kv73ctl/Exploracion_Bus.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "kv73ctl/Salida.h"
#include "protocolo/Enlace_Rele.h"
#include "protocolo/Exploracion.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

namespace {

using Tipo = Respuesta_Exploracion::Tipo;

// Judged as `ident` judges it: the same image and the same test.
bool Es_KV73(const std::array<uint16_t, 3> &registros) {
    for (std::size_t k = 0; k < 3; ++k) {
        Estado.Identificacion[4 + 2 * k] = static_cast<uint8_t>(registros[k] >> 8);
        Estado.Identificacion[5 + 2 * k] = static_cast<uint8_t>(registros[k] & 0xFF);
    }
    return Verifica_Identificacion();
}

QString Hex_Bytes(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString Razon(const Respuesta_Exploracion &r) {
    if (r.tipo == Tipo::Excepcion)
        return QStringLiteral("exception %1").arg(r.codigo_excepcion, 2, 16, QLatin1Char('0'));
    return QLatin1String(r.razon);
}

} // namespace

int Explora_Bus(const Opciones &op, Enlace_Rele &enlace) {
    Puerto_Serie &puerto = enlace.MSComm1();
    const int espera = op.espera_ms > 0 ? op.espera_ms : Espera_Exploracion_ms(op.velocidad);
    QJsonArray reles, malas;
    for (int direccion = op.primera; direccion <= op.ultima; ++direccion) {
        const Respuesta_Exploracion r =
            Explora_Direccion(puerto, static_cast<uint8_t>(direccion), espera);
        switch (r.tipo) {
        case Tipo::Silencio:
            break;
        case Tipo::Perdida:
            // The port went away under the scan, as under any transaction.
            enlace.Rele_No_Responde();
            return 2;
        case Tipo::Rele: {
            const bool kv73 = Es_KV73(r.registros);
            QJsonArray registros;
            QStringList textos;
            for (uint16_t v : r.registros) {
                registros.append(v);
                textos << Hex4(v);
            }
            reles.append(QJsonObject{{QStringLiteral("address"), direccion},
                                     {QStringLiteral("registers"), registros},
                                     {QStringLiteral("accepted"), kv73}});
            if (!op.json)
                Imprime(QStringLiteral("address %1: registers %2: %3")
                            .arg(direccion)
                            .arg(textos.join(QLatin1Char(' ')),
                                 kv73 ? QStringLiteral("a KV-73 relay")
                                      : QStringLiteral("not a KV-73 relay")));
            break;
        }
        case Tipo::Excepcion:
        case Tipo::Mala:
            malas.append(QJsonObject{{QStringLiteral("address"), direccion},
                                     {QStringLiteral("reason"), Razon(r)},
                                     {QStringLiteral("bytes"), Hex_Bytes(r.bytes)}});
            if (!op.json)
                Imprime(QStringLiteral("address %1: bad reply (%2): %3")
                            .arg(direccion)
                            .arg(Razon(r), Hex_Bytes(r.bytes)));
            break;
        }
    }
    if (op.json)
        Imprime_Json({{QStringLiteral("relays"), reles}, {QStringLiteral("bad_replies"), malas}});
    if (reles.isEmpty())
        std::fprintf(stderr, "kv73ctl: no relay answered from address %d to %d\n", op.primera,
                     op.ultima);
    return !reles.isEmpty() ? 0 : malas.isEmpty() ? 2 : 3;
}
