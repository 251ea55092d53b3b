// The table of frame lengths, against frames made outside the program.

#include "protocolo/Tramas.h"
#include "tests/soporte/Banco.h"

#include <QFile>
#include <QTextStream>
#include <utility>
#include <vector>

namespace {

// Every frame of tests/vectors/frames.tsv whose description holds `palabra`.
std::vector<std::pair<QString, QByteArray>> Vectores_Con(const QString &palabra) {
    std::vector<std::pair<QString, QByteArray>> hallados;
    QFile archivo(QStringLiteral(KV73_VECTORS "/frames.tsv"));
    EXPECT_TRUE(archivo.open(QIODevice::ReadOnly));
    QTextStream lector(&archivo);
    while (!lector.atEnd()) {
        const QStringList campos = lector.readLine().split(QLatin1Char('\t'));
        if (campos.size() == 2 && campos[0].contains(palabra))
            hallados.emplace_back(campos[0], QByteArray::fromHex(campos[1].toLatin1()));
    }
    EXPECT_FALSE(hallados.empty()) << palabra.toStdString();
    return hallados;
}

} // namespace

TEST(Tramas, EveryRequestIsCutAtItsLengthAndNotBefore) {
    for (const auto &[descripcion, trama] : Vectores_Con(QStringLiteral("request"))) {
        SCOPED_TRACE(descripcion.toStdString());
        EXPECT_EQ(Largo_Peticion(trama), trama.size());
        // A start of the frame never claims a length it does not have: the
        // stream readers take a frame only once the table names its length.
        for (qsizetype n = 0; n < trama.size(); ++n) {
            const qsizetype largo = Largo_Peticion(trama.left(n));
            EXPECT_TRUE(largo == 0 || largo == trama.size()) << n << " bytes: " << largo;
        }
        // Behind noise, from where the frame starts.
        const QByteArray con_ruido = QByteArray("\x00\xAA\x10", 3) + trama;
        EXPECT_EQ(Largo_Peticion(con_ruido, 3), trama.size());
    }
    // A register write tells its length only with its byte count, the seventh byte.
    const QByteArray escritura = Vector(QStringLiteral(
        "setpoint write request, address 1: L1 95, L2 120, Low Fan 60, High Fan 75, options "
        "0x000B, 0x0105 = 0x1234"));
    EXPECT_EQ(Largo_Peticion(escritura.left(6)), 0);
    EXPECT_EQ(Largo_Peticion(escritura.left(7)), escritura.size());
}

TEST(Tramas, EachReplyIsAsLongAsItsRequestAsksAndAsItsOwnBytesSay) {
    const std::pair<const char *, const char *> pares[] = {
        {"identification read request, address 1", "identification reply, address 1"},
        {"setpoint read request, address 1", "setpoint read reply, address 1"},
        {"actual values read request, address 1", "actual values reply, address 1"},
        {"setpoint write request, address 1: L1 95, L2 120, Low Fan 60, High Fan 75, options "
         "0x000B, 0x0105 = 0x1234",
         "setpoint write reply, address 1"},
        {"command 16 request (and its echo reply), address 1",
         "command 16 request (and its echo reply), address 1"},
    };
    for (const auto &[pedido, respondido] : pares) {
        SCOPED_TRACE(respondido);
        const QByteArray peticion = Vector(QLatin1String(pedido));
        const QByteArray respuesta = Vectores_Con(QLatin1String(respondido))[0].second;
        EXPECT_EQ(Largo_Respuesta(peticion), respuesta.size());
        EXPECT_EQ(Largo_Respuesta_Propia(respuesta), respuesta.size());
        EXPECT_EQ(Largo_Respuesta_Propia(respuesta + QByteArray("\x01\x04", 2)), respuesta.size());
    }
    // A read's reply tells nothing until its byte count is in.
    EXPECT_EQ(Largo_Respuesta_Propia(Hex("01 03")), 0);
}

TEST(Tramas, AnExceptionReplyIsFiveBytesWhateverTheRequest) {
    for (const auto &[descripcion, trama] : Vectores_Con(QStringLiteral("exception reply"))) {
        SCOPED_TRACE(descripcion.toStdString());
        ASSERT_EQ(trama.size(), Largo_Excepcion);
        EXPECT_TRUE(Es_Funcion_Excepcion(static_cast<uint8_t>(trama[1])));
        EXPECT_EQ(Largo_Respuesta_Propia(trama.left(2)), Largo_Excepcion);
    }
}
