#include "datos/Rangos_Setpoints.h"

namespace {

const char *const Nombres[4] = {"L1", "L2", "Low Fan", "High Fan"};

int Word(const Imagen<21> &trama, int setpoint) {
    const auto p = static_cast<std::size_t>(8 + 2 * setpoint);
    return trama[p] * 256 + trama[p + 1];
}

} // namespace

QList<Setpoint_Fuera_De_Rango> Revisa_Setpoints(const Imagen<21> &trama) {
    QList<Setpoint_Fuera_De_Rango> problemas;
    // L1 and L2, then Low Fan and High Fan: the lower of each pair is the floor
    // of the other, as the page sets the editors' Min.
    for (int bajo = 0; bajo < 4; bajo += 2) {
        const int alto = bajo + 1;
        const int v_bajo = Word(trama, bajo), v_alto = Word(trama, alto);
        const auto fuera = [&](int setpoint, int valor) {
            problemas.append({setpoint, valor,
                              QStringLiteral("%1 %2 is outside 0 to %3")
                                  .arg(QLatin1String(Nombres[setpoint]))
                                  .arg(valor)
                                  .arg(Maximo_Temperatura)});
        };
        if (v_bajo > Maximo_Temperatura)
            fuera(bajo, v_bajo);
        if (v_alto > Maximo_Temperatura)
            fuera(alto, v_alto);
        else if (v_bajo <= Maximo_Temperatura && v_alto < v_bajo)
            problemas.append({alto, v_alto,
                              QStringLiteral("%1 %2 is below %3 %4")
                                  .arg(QLatin1String(Nombres[alto]))
                                  .arg(v_alto)
                                  .arg(QLatin1String(Nombres[bajo]))
                                  .arg(v_bajo)});
    }
    return problemas;
}
