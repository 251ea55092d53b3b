// The image functions and the number texts the program shows.

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>

TEST(Datos, SetpointReadsAndWritesTouchOnlyTheirImage) {
    Reinicia_Estado();
    Estado.Set_Setpoints[5] = 0x55;
    Estado.Set_Setpoints[13] = 0x05;
    EXPECT_EQ(Lee_Word_Setpoint(4), 85);
    EXPECT_EQ(Lee_Bit_Setpoint(0, 13), 1);
    EXPECT_EQ(Lee_Bit_Setpoint(1, 13), 0);

    // Texts go to the edit image high byte first; a negative step result keeps
    // its 16-bit pattern.
    const std::pair<const char *, int> palabras[] = {
        {"85", 0x0055}, {"300", 0x012C}, {"65535", 0xFFFF}, {"-2", 0xFFFE}};
    for (const auto &[texto, palabra] : palabras) {
        Escribe_Word_Setpoint(QLatin1String(texto), 6);
        EXPECT_EQ(Estado.Nuevos_Setpoints[10] << 8 | Estado.Nuevos_Setpoints[11], palabra) << texto;
    }
    EXPECT_EQ(Estado.Set_Setpoints[7], 0) << "writes go to the edit image only";

    Estado.Nuevos_Setpoints[17] = 0x01;
    EXPECT_EQ(Cambia_Bit_Setpoint(-1, 2, 13), 5);
    EXPECT_EQ(Cambia_Bit_Setpoint(0, 0, 13), 0);
    EXPECT_EQ(Estado.Nuevos_Setpoints[17], 0x01) << "the bit change only computes";
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
    EXPECT_TRUE(Estado_Parpadeo(3, 23, 3, 25, true));
    Estado.Valores_Actuales[25] = 0x08; // 0x020B low byte: L1 blinks
    EXPECT_FALSE(Estado_Parpadeo(3, 23, 3, 25, true));
    EXPECT_TRUE(Estado_Parpadeo(3, 23, 3, 25, false));
    Estado.Valores_Actuales[23] = 0;
    EXPECT_FALSE(Estado_Parpadeo(3, 23, 3, 25, false)) << "off whatever the blink bit";

    const Indicador pt2{"Pt2", 8};
    EXPECT_EQ(Luz_Indicador(pt2, 0x0100, 0), Luz::Encendida);
    EXPECT_EQ(Luz_Indicador(pt2, 0x0100, 0x0100), Luz::Parpadeo);
    EXPECT_EQ(Luz_Indicador(pt2, 0x00FF, 0xFFFF), Luz::Apagada);
}

TEST(Datos, TemperatureTextsShowFaultCodesAndNegatives) {
    // Only a 0xFF high byte is negative.
    const std::pair<uint16_t, const char *> casos[] = {{0xFFF5, "Fcc"},  {0x00E7, "Fco"},
                                                       {0xFFFB, "-5"},   {0x0055, "85"},
                                                       {0xFF00, "-256"}, {0xFEFF, "65279"}};
    for (const auto &[palabra, texto] : casos)
        EXPECT_EQ(Texto_Temperatura(palabra).toStdString(), texto) << palabra;
}

TEST(Texto, NumbersReadAndWrittenAsTheOperatorSeesThem) {
    // An overflowing text reads as nothing.
    const std::pair<const char *, double> valores[] = {
        {"12..5", 12},    {"", 0},     {"abc", 0},  {" 2 2 0.5x", 220.5},
        {"-7.25", -7.25}, {".5", 0.5}, {"1e400", 0}};
    for (const auto &[texto, valor] : valores)
        EXPECT_DOUBLE_EQ(Val(QLatin1String(texto)), valor) << texto;
    EXPECT_EQ(Str(9600).toStdString(), " 9600");
    EXPECT_EQ(Str(-5).toStdString(), "-5");
    EXPECT_EQ(Ajusta(QStringLiteral("123"), 5).toStdString(), "123  ");
    EXPECT_EQ(Ajusta(QStringLiteral("1234567"), 5).toStdString(), "12345");
}

TEST(Texto, ConversionsRoundHalfToEvenAndRefuseWhatDoesNotFit) {
    EXPECT_EQ(CByte(254.4), 254);
    EXPECT_EQ(CByte(84.5), 84);
    EXPECT_EQ(CByte(85.5), 86);
    EXPECT_THROW(CByte(255.5), std::out_of_range);
    EXPECT_THROW(CByte(-1), std::out_of_range);
}

// One text is one number in every program: a leading zero never turns it octal.
TEST(Texto, WholeNumbersAreDecimalOrHexAfter0x) {
    const std::pair<const char *, std::optional<qint64>> casos[] = {
        {"17", 17},
        {"017", 17},
        {"0x11", 17},
        {"0X1f", 31},
        {" 254 ", 254},
        {"-11", -11},
        {"+5", 5},
        {"0", 0},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {"0x", std::nullopt},
        {"", std::nullopt},
        {"08", 8},
        {"0o17", std::nullopt},
        {"1 7", std::nullopt},
        {"17abc", std::nullopt},
        {"0x1g", std::nullopt},
        {"1.5", std::nullopt}};
    for (const auto &[texto, valor] : casos)
        EXPECT_EQ(Lee_Entero(QLatin1String(texto)), valor) << texto;
    // The desktop program's words keep Val's leading number, and take 0x whole.
    EXPECT_EQ(Valor_Palabra(QStringLiteral("017")), 17);
    EXPECT_EQ(Valor_Palabra(QStringLiteral("17 more")), 17);
    EXPECT_EQ(Valor_Palabra(QStringLiteral(" 0x11 ")), 17);
    EXPECT_TRUE(std::isnan(Valor_Palabra(QStringLiteral("0x11 more"))));
}
