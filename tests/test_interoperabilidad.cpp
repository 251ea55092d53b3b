// libmodbus, a Modbus implementation that shares no code with ours, plays the
// relay on a pseudo-terminal: our frames must be real Modbus RTU to get answers.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Temporizador.h"
#include "enlace/Puerto_QSerialPort.h"
#include "protocolo/Enlace_Rele.h"
#include "tests/soporte/Operador_Guionizado.h"
#include "tests/soporte/Pty.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <atomic>
#include <thread>

namespace {

class Rele_Libmodbus {
  public:
    explicit Rele_Libmodbus(int descriptor) {
        contexto_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
        modbus_set_slave(contexto_, 1);
        modbus_set_socket(contexto_, descriptor);
        modbus_set_indication_timeout(contexto_, 0, 100000);
        mapa_ = modbus_mapping_new_start_address(0, 17, 0, 0, 0x0100, 6, 0, 0x020E);
        const uint16_t id[] = {0x0002, 0x0001, 0x0082};
        std::copy(std::begin(id), std::end(id), mapa_->tab_input_registers);
        const uint16_t setpoints[] = {90, 110, 60, 75, 0x000B, 0x1234};
        std::copy(std::begin(setpoints), std::end(setpoints), mapa_->tab_registers);
        for (int k = 0; k < 14; ++k)
            mapa_->tab_input_registers[0x0200 + k] = static_cast<uint16_t>(0x0100 * k + 60 + k);
        hilo_ = std::thread([this] { Sirve(); });
    }
    ~Rele_Libmodbus() {
        fin_ = true;
        hilo_.join();
        modbus_mapping_free(mapa_);
        modbus_free(contexto_);
    }
    bool Bobina(int n) const { return mapa_->tab_bits[n] != 0; }

  private:
    void Sirve() {
        uint8_t peticion[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!fin_) {
            const int n = modbus_receive(contexto_, peticion);
            if (n > 0)
                modbus_reply(contexto_, peticion, n, mapa_);
        }
    }
    modbus_t *contexto_;
    modbus_mapping_t *mapa_;
    std::atomic<bool> fin_{false};
    std::thread hilo_;
};

} // namespace

TEST(Interoperabilidad, LibmodbusRelayAnswersOurReadsAndCommand) {
    Reinicia_Estado();
    Pty pty;
    qputenv("KV73_COM5", pty.Esclavo().toLocal8Bit());
    Puerto_QSerialPort puerto;
    Temporizador_Comunicacion timer;
    timer.Set_Interval(200);
    Operador_Guionizado operador;
    Ventanas_En_Memoria ventanas;
    Enlace_Rele enlace(puerto, timer, operador, ventanas);
    puerto.Set_CommPort(5);
    ASSERT_TRUE(puerto.Set_PortOpen(true));
    Estado.Comunicacion_OK = true;
    Rele_Libmodbus rele(pty.Maestro());

    enlace.Lee_Identificacion(1);
    EXPECT_TRUE(Verifica_Identificacion());
    EXPECT_EQ(Estado.Identificacion[9], 0x82);

    enlace.Lee_Setpoints(1);
    const uint8_t setpoints[] = {0x00, 90, 0x00, 110, 0x00, 60, 0x00, 75, 0x00, 0x0B, 0x12, 0x34};
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(Estado.Set_Setpoints[4 + i], setpoints[i]) << "byte " << 4 + i;

    enlace.Lee_Valores_Actuales(1);
    for (std::size_t k = 0; k < 14; ++k) {
        EXPECT_EQ(Estado.Valores_Actuales[4 + 2 * k], k);
        EXPECT_EQ(Estado.Valores_Actuales[5 + 2 * k], 60 + k);
    }

    operador.Espera_Mensaje(QStringLiteral("Command Executed"), QStringLiteral("KV-73"));
    int32_t comando = 16;
    enlace.Ejecuta_Comando(1, comando);
    EXPECT_TRUE(rele.Bobina(16));

    EXPECT_TRUE(Estado.Comunicacion_OK);
    EXPECT_EQ(Estado.Errores_CRC, 0);
    EXPECT_EQ(enlace.Cuentas().Fallos_Enlace, 0u);
    puerto.Set_PortOpen(false);
}
