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
const QString Guardados = QStringLiteral("Setpoints were Saved to the Relay memory");

template <std::size_t N>
QByteArray Bytes(const Imagen<N> &imagen, std::size_t desde, std::size_t n) {
    return QByteArray(reinterpret_cast<const char *>(imagen.Datos()) + desde,
                      static_cast<qsizetype>(n));
}

class Escritura_Setpoints : public Banco {
  protected:
    // The relay's setpoints have been read and the operator has moved L1 to 95
    // and L2 to 120, as the main page's editors store them.
    void Leido_y_Editado() {
        Enlace_Arriba();
        Responde_Siempre(Vector(Lectura));
        Lee_Setpoints(Estado.Direccion_Rele);
        Escribe_Word_Setpoint(QStringLiteral("95"), 4);
        Escribe_Word_Setpoint(QStringLiteral("120"), 6);
        puerto->escrituras.clear();
    }
};

} // namespace

TEST_F(Escritura_Setpoints, GoodReplyShowsTheWrittenValuesWithoutANewRead) {
    ASSERT_TRUE(puerto->Set_PortOpen(true));
    Escribe_Setpoints(Estado.Direccion_Rele); // link flag down: nothing at all
    EXPECT_TRUE(puerto->escrituras.empty());

    Leido_y_Editado();
    Responde_Siempre(Vector(QStringLiteral("setpoint write reply, address 1")));
    operador->Espera_Mensaje(Guardados, QStringLiteral("KV-73"));
    Escribe_Setpoints(Estado.Direccion_Rele);

    // Register 0x0105 goes back as it was read, whatever was edited.
    EXPECT_EQ(puerto->Peticiones(), std::vector<QByteArray>{Vector(Escritura)});
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 1, 21), Vector(Escritura));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 1, 17),
              Vector(Lectura).left(3) + Vector(Escritura).mid(7, 12) + Vector(Lectura).right(2));
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 8, 12), Vector(Escritura).mid(7, 12));
}

TEST_F(Escritura_Setpoints, ExceptionReplyIsAWriteErrorAfterTheSecondSend) {
    Leido_y_Editado();
    Responde_Siempre(Vector(QStringLiteral("exception reply to a write of multiple registers "
                                           "(function 0x90, code 02), address 1")));
    operador->Espera_Mensaje(QStringLiteral("Write Error SetPoints"), QStringLiteral("KV-73"));
    Escribe_Setpoints(Estado.Direccion_Rele);

    // Five bytes do not end the wait; the resend at tick 2 brings the input to
    // ten, and the first eight fail the CRC test.
    EXPECT_EQ(puerto->Peticiones(),
              (std::vector<QByteArray>{Vector(Escritura), Vector(Escritura)}));
    EXPECT_EQ(Estado.Segundos, 2);
    EXPECT_EQ(Estado.Respuestas_Malas, 1u);
    // Frame and read image back to the relay's values; the edits wait in the edit image.
    EXPECT_EQ(Bytes(Estado.Trama_Escritura, 8, 12), Vector(Lectura).mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Set_Setpoints, 4, 12), Vector(Lectura).mid(3, 12));
    EXPECT_EQ(Bytes(Estado.Nuevos_Setpoints, 8, 12), Vector(Escritura).mid(7, 12));
}
