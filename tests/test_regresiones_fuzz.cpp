// Inputs the fuzz targets (fuzz/) found that broke the program, each kept as a
// case of the normal suite once fixed.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "enlace/Abrir_Puerto.h"
#include "tests/soporte/Banco.h"

namespace {

// A modem that says OK to its initialisation and answers the dial command with
// `conexion`, as a modem set to numeric result codes does.
class Modem_Numerico : public Banco {
  protected:
    void SetUp() override {
        Banco::SetUp();
        Estado.Via_Modem = true;
        Estado.Modo_Linea_Comandos = true;
        Estado.Telefono = QStringLiteral("5551234").leftJustified(20);
        puerto->al_escribir = [this](const QByteArray &bytes) {
            if (bytes.startsWith("ATE0"))
                puerto->Inyecta("\r\nOK\r\n");
            else if (bytes.startsWith("ATDT"))
                puerto->Inyecta(conexion);
        };
    }
    QByteArray conexion;
};

} // namespace

// The dial reply in command-line mode is read as a number; one of many digits
// was pushed through an int (undefined behaviour, caught by UBSan). Whatever
// it is, it is no result code: the link stays down, silently, and the codes
// themselves still connect.
TEST_F(Modem_Numerico, DialReplyOfManyDigitsIsNoResultCode) {
    for (const char *respuesta :
         {"4294967297\r\n", "99999999999999\r\n", "1E55\r\n", "-4294967286\r\n"}) {
        SCOPED_TRACE(respuesta);
        conexion = respuesta;
        Abrir_Puerto();
        EXPECT_FALSE(Estado.Comunicacion_OK);
        EXPECT_TRUE(operador->vistos.empty());
    }
    conexion = "\r\n12\r\n";
    Abrir_Puerto();
    EXPECT_TRUE(Estado.Comunicacion_OK);
}
