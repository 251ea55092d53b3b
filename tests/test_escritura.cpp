// The setpoint block write, over the in-memory port with a fast tick.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "datos/Manejo_de_Datos.h"
#include "protocolo/Lectura_Escritura.h"
#include "tests/soporte/Banco.h"

namespace {

const QString Lectura = QStringLiteral(
    "setpoint read reply, address 1: L1 90, L2 110, Low Fan 60, High Fan 75, options 0x000B, "
    "0x0105 = 0x1234");
const QString Escritura = QStringLiteral(
    "setpoint write request, address 1: L1 95, L2 120, Low Fan 60, High Fan 75, options 0x000B, "
    "0x0105 = 0x1234");
const QString Respuesta_Rele = QStringLiteral("setpoint write reply, address 1");
const QString Excepcion = QStringLiteral(
    "exception reply to a write of multiple registers (function 0x90, code 02), address 1");
const QString Guardados = QStringLiteral("Setpoints were Saved to the Relay memory");
const QString Error_Escritura = QStringLiteral("Write Error SetPoints");
const QString KV73 = QStringLiteral("KV-73");

template <std::size_t N> QByteArray Bytes(const Imagen<N> &imagen, std::size_t desde, std::size_t n) {
    return QByteArray(reinterpret_cast<const char *>(imagen.Datos()) + desde, static_cast<qsizetype>(n));
}

class Escritura_Setpoints : public Banco {
  protected:
    // The relay's setpoints have been read, and the operator has moved L1 to 95
    // and L2 to 120, as the main page's editors store them.
    void Leido_y_Editado() {
        Enlace_Arriba();
        Responde_Siempre(Vector(Lectura));
        Lee_Setpoints(Estado.Direccion_Rele);
        ASSERT_EQ(Bytes(Estado.Set_Setpoints, 1, 17), Vector(Lectura));
        Escribe_Word_Setpoint(QStringLiteral("95"), 4);
        Escribe_Word_Setpoint(QStringLiteral("120"), 6);
        puerto->escrituras.clear();
    }
};

} // namespace

TEST_F(Escritura_Setpoints, GoodReplyShowsTheWrittenValuesWithoutANewRead) {
    Leido_y_Editado();
    const QByteArray editados = Bytes(Estado.Nuevos_Setpoints, 1, 21);
    Responde_Siempre(Vector(Respuesta_Rele));
    operador->Espera_Mensaje(Guardados, KV73);
    Escribe_Setpoints(Estado.Direccion_Rele);

    // Register 0x0105 goes back as it was read, whatever was edited.
    EXPECT_EQ(puerto->Peticiones(), std::vector<QByteArray>{Vector(Escritura)});
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 1, 21), Vector(Escritura));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 4, 12), Vector(Escritura).mid(7, 12));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 3), Vector(Lectura).left(3)) << "header left alone";
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 1, 21), editados) << "the edit image is never changed";
    EXPECT_EQ(Bytes(Estado.Respuesta_Escritura, 1, 8), Vector(Respuesta_Rele));
    EXPECT_EQ(Lee_Word_Setpoint(4), 95);
    EXPECT_EQ(Estado.Respuestas_Malas, 0u);
    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_FALSE(timer->Enabled());
}

TEST_F(Escritura_Setpoints, ExceptionReplyIsAWriteErrorAfterTheSecondSend) {
    Leido_y_Editado();
    Responde_Siempre(Vector(Excepcion));
    operador->Espera_Mensaje(Error_Escritura, KV73);
    Escribe_Setpoints(Estado.Direccion_Rele);

    // Five bytes do not end the wait; the resend at tick 2 brings the input to
    // ten, and the first eight fail the CRC test.
    ASSERT_EQ(puerto->Peticiones().size(), 2u);
    EXPECT_EQ(puerto->Peticiones()[1], Vector(Escritura));
    EXPECT_EQ(puerto->escrituras.front().segundos, 0);
    EXPECT_EQ(puerto->escrituras.back().segundos, 2);
    EXPECT_EQ(Estado.Segundos, 2) << "the message came about two ticks after the first send";
    EXPECT_EQ(Estado.Respuestas_Malas, 1u);

    // The frame and the read image are back to the relay's values; the edits wait.
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 8, 12), Vector(Lectura).mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 4, 12), Vector(Lectura).mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 8, 12), Vector(Escritura).mid(7, 12));

    // So sending again sends the same edits.
    puerto->escrituras.clear();
    Responde_Siempre(Vector(Respuesta_Rele));
    operador->Espera_Mensaje(Guardados, KV73);
    Escribe_Setpoints(Estado.Direccion_Rele);
    EXPECT_EQ(puerto->Peticiones(), std::vector<QByteArray>{Vector(Escritura)});
}

TEST_F(Escritura_Setpoints, LinkDownSendsNothingAndSilenceEndsTheLink) {
    Escribe_Setpoints(Estado.Direccion_Rele); // port closed
    ASSERT_TRUE(puerto->Set_PortOpen(true));
    Escribe_Setpoints(Estado.Direccion_Rele); // port open, link flag down
    EXPECT_TRUE(puerto->escrituras.empty());
    EXPECT_TRUE(operador->vistos.empty());

    Leido_y_Editado();
    Estado.Ocupado = true; // the write does not wait for a read in progress
    puerto->al_recibir = nullptr;
    operador->Espera_Mensaje(QStringLiteral("Relay Not Response"), QStringLiteral("KV-72"));
    Escribe_Setpoints(Estado.Direccion_Rele);
    EXPECT_EQ(puerto->Peticiones().size(), 4u);
    EXPECT_FALSE(Estado.Comunicacion_OK);
    EXPECT_FALSE(puerto->PortOpen());
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 1, 21), Vector(Escritura)) << "the unconfirmed values stay";
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17), Vector(Lectura));
}
