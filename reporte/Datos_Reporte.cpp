#include "reporte/Datos_Reporte.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "comun/Texto.h"
#include "controles/Formato.h"
#include "datos/Manejo_de_ActualValues.h"
#include "datos/Manejo_de_Datos.h"

namespace {

const QString Grados = QStringLiteral("°C");

// A temperature setpoint as its editor on the main page writes it: raw value
// times Paso (1) in the editor's pattern, a blank, the unit.
QString Texto_Editor(const char *direccion, const char *formato) {
    const int32_t valor = Lee_Word_Setpoint(CByte(Posicion_Setpoint(QLatin1String(direccion))));
    return Formatea(static_cast<double>(valor), QLatin1String(formato)) + QLatin1Char(' ') + Grados;
}

} // namespace

Textos_Pagina Textos_Desde_Imagenes() {
    // Option bits sit in the low byte of register 0x0104.
    const auto bajo = static_cast<uint8_t>(CByte(Posicion_Setpoint(QStringLiteral("0104"))) + 1);
    const auto bit = [bajo](uint8_t b) { return Lee_Bit_Setpoint(b, bajo) != 0; };
    const auto tres_cuatro = [](bool b) { return b ? QStringLiteral("4") : QStringLiteral("3"); };
    const auto no_si = [](bool b) { return b ? QStringLiteral("Yes") : QStringLiteral("No"); };

    Textos_Pagina t;
    t.setp = {tres_cuatro(bit(0)),          Texto_Editor("0100", "###0"),
              Texto_Editor("0101", "###0"), no_si(bit(1)),
              Texto_Editor("0102", "0"),    Texto_Editor("0103", "0"),
              tres_cuatro(bit(2)),          no_si(bit(3))};
    t.tres_sondas = !bit(0);
    return t;
}

Temperaturas_Pagina Temperaturas_Desde_Imagenes(Temperaturas origen) {
    const bool en_vivo = Estado.Comunicacion_OK || origen == Temperaturas::Guardadas;
    Temperaturas_Pagina t;
    for (int k = 0; k < 4; ++k) {
        const auto actual = CByte(Posicion_Actual(QStringLiteral("020%1").arg(k)));
        const auto maximo = CByte(Posicion_Actual(QStringLiteral("020%1").arg(k + 4)));
        const auto i = static_cast<std::size_t>(k);
        // 231 is the open-probe code: with the link down nothing is measured.
        t.actual[i] = Texto_Temperatura(en_vivo ? Lee_Word_Actual(actual) : 231);
        // A maximum is a plain unsigned word; the probe-fault codes are not applied.
        t.maximo[i] = QString::number(Lee_Word_Actual(maximo));
    }
    return t;
}
