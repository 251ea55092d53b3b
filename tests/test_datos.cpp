// The image functions and the number texts the program shows.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"

#include <gtest/gtest.h>

TEST(Datos, PositionsFollowTheFrameLayout) {
    EXPECT_DOUBLE_EQ(Posicion_Setpoint(QStringLiteral("0100")), 4);
    EXPECT_DOUBLE_EQ(Posicion_Setpoint(QStringLiteral("0105")), 14);
    EXPECT_DOUBLE_EQ(Posicion_Actual(QStringLiteral("0201")), 6);
    EXPECT_DOUBLE_EQ(Posicion_Actual(QStringLiteral("0208")), 20);
}

TEST(Datos, SetpointReadsAndWritesTouchOnlyTheirImage) {
    Reinicia_Estado();
    Estado.Set_Setpoints[4] = 0x00;
    Estado.Set_Setpoints[5] = 0x55;
    Estado.Set_Setpoints[13] = 0x05;
    EXPECT_EQ(Lee_Word_Setpoint(4), 85);
    EXPECT_EQ(Lee_Bit_Setpoint(0, 13), 1);
    EXPECT_EQ(Lee_Bit_Setpoint(1, 13), 0);
    EXPECT_EQ(Lee_Bit_Setpoint(2, 13), 1);

    Escribe_Word_Setpoint(QStringLiteral("85"), 4);
    Escribe_Word_Setpoint(QStringLiteral("300"), 6);
    EXPECT_EQ(Estado.Nuevos_Setpoints[8], 0x00);
    EXPECT_EQ(Estado.Nuevos_Setpoints[9], 0x55);
    EXPECT_EQ(Estado.Nuevos_Setpoints[10], 0x01);
    EXPECT_EQ(Estado.Nuevos_Setpoints[11], 0x2C);
    Escribe_Word_Setpoint(QStringLiteral("65535"), 14);
    EXPECT_EQ(Estado.Nuevos_Setpoints[18], 0xFF);
    EXPECT_EQ(Estado.Nuevos_Setpoints[19], 0xFF);
    EXPECT_EQ(Estado.Set_Setpoints[6], 0) << "writes go to the edit image only";
    Escribe_Word_Setpoint(QStringLiteral("-2"), 4);
    EXPECT_EQ(Estado.Nuevos_Setpoints[8], 0xFF);
    EXPECT_EQ(Estado.Nuevos_Setpoints[9], 0xFE) << "a negative step result keeps its 16-bit pattern";

    Estado.Nuevos_Setpoints[17] = 0x01;
    EXPECT_EQ(Cambia_Bit_Setpoint(-1, 2, 13), 5);
    EXPECT_EQ(Cambia_Bit_Setpoint(0, 0, 13), 0);
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x01) << "the bit change only computes";
    Escribe_Byte_Setpoint(13, static_cast<uint8_t>(Cambia_Bit_Setpoint(-1, 3, 13)));
    Escribe_Byte_Setpoint(13, static_cast<uint8_t>(Cambia_Bit_Setpoint(-1, 1, 13)));
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x0B) << "successive bit changes accumulate";
}

TEST(Datos, IndexesOutsideAnImageAreCaught) {
    Reinicia_Estado();
    EXPECT_THROW(Lee_Word_Setpoint(17), std::out_of_range);
    EXPECT_THROW(Escribe_Word_Setpoint(QStringLiteral("1"), 17), std::out_of_range);
    EXPECT_THROW(Lee_Word_Actual(34), std::out_of_range);
    EXPECT_THROW(Lee_Bit_Actual(8, 20), std::out_of_range);
    EXPECT_THROW(Lee_Word_Setpoint(CByte(Posicion_Setpoint(QStringLiteral("0200")))),
                 std::out_of_range);
    EXPECT_NO_THROW(Lee_Word_Actual(33));
}

TEST(Datos, LampsAreOffSteadyOrBlinking) {
    Reinicia_Estado();
    Estado.Valores_Actuales[23] = 0x08; // 0x020A low byte: L1 on
    EXPECT_TRUE(Estado_Parpadeo(3, 23, 3, 25, false));
    EXPECT_TRUE(Estado_Parpadeo(3, 23, 3, 25, true));
    Estado.Valores_Actuales[25] = 0x08; // 0x020B low byte: L1 blinks
    bool luz = false;
    std::vector<bool> vistas;
    for (int i = 0; i < 3; ++i)
        vistas.push_back(luz = Estado_Parpadeo(3, 23, 3, 25, luz));
    EXPECT_EQ(vistas, (std::vector<bool>{true, false, true}));
    Estado.Valores_Actuales[23] = 0;
    EXPECT_FALSE(Estado_Parpadeo(3, 23, 3, 25, true)) << "off whatever the blink bit";

    const Indicador pt2{"Pt2", 8};
    EXPECT_EQ(Luz_Indicador(pt2, 0x0100, 0), Luz::Encendida);
    EXPECT_EQ(Luz_Indicador(pt2, 0x0100, 0x0100), Luz::Parpadeo);
    EXPECT_EQ(Luz_Indicador(pt2, 0x00FF, 0xFFFF), Luz::Apagada);
}

TEST(Datos, TemperatureTextsShowFaultCodesAndNegatives) {
    EXPECT_EQ(Texto_Temperatura(0xFFF5).toStdString(), "Fcc");
    EXPECT_EQ(Texto_Temperatura(0x00E7).toStdString(), "Fco");
    EXPECT_EQ(Texto_Temperatura(0xFFFB).toStdString(), "-5");
    EXPECT_EQ(Texto_Temperatura(0x0055).toStdString(), "85");
    EXPECT_EQ(Texto_Temperatura(0xFF00).toStdString(), "-256");
    EXPECT_EQ(Texto_Temperatura(0xFEFF).toStdString(), "65279") << "only the 0xFF high byte is negative";
}

TEST(Texto, NumbersReadAndWrittenAsTheOperatorSeesThem) {
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("12..5")), 12);
    EXPECT_DOUBLE_EQ(Val(QString()), 0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral(" 2 2 0.5x")), 220.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("-7.25")), -7.25);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral(".5")), 0.5);
    EXPECT_DOUBLE_EQ(Val(QStringLiteral("1e400")), 0) << "an overflowing text reads as nothing";
    EXPECT_EQ(Str(9600).toStdString(), " 9600");
    EXPECT_EQ(Str(-5).toStdString(), "-5");
    EXPECT_EQ(Ajusta(QStringLiteral("123"), 5).toStdString(), "123  ");
    EXPECT_EQ(Ajusta(QStringLiteral("1234567"), 5).toStdString(), "12345");
}

TEST(Texto, ConversionsRoundHalfToEvenAndRefuseWhatDoesNotFit) {
    EXPECT_EQ(CLng(85.5), 86);
    EXPECT_EQ(CLng(84.5), 84);
    EXPECT_EQ(CLng(-2.5), -2);
    EXPECT_EQ(CByte(254.4), 254);
    EXPECT_THROW(CByte(255.5), std::out_of_range);
    EXPECT_THROW(CByte(-1), std::out_of_range);
}
