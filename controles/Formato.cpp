#include "controles/Formato.h"

#include <cmath>

QString Formatea(double valor, const QString &patron) {
    const qsizetype punto = patron.indexOf(u'.');
    const QStringView enteros = punto < 0 ? QStringView(patron) : QStringView(patron).left(punto);
    const QStringView fraccion = punto < 0 ? QStringView() : QStringView(patron).mid(punto + 1);
    const auto ceros_enteros = enteros.count(u'0');
    const auto fijos = fraccion.count(u'0');
    const auto opcionales = fraccion.count(u'#');
    if (ceros_enteros + enteros.count(u'#') + fijos + opcionales == 0)
        return QString::number(valor, 'g', 15);

    const auto decimales = static_cast<int>(fijos + opcionales);
    const double escala = std::pow(10.0, decimales);
    const double redondeado = std::round(valor * escala) / escala;
    if (!std::isfinite(redondeado))
        return QString::number(valor);

    QString texto = QString::number(std::fabs(redondeado), 'f', decimales);
    if (opcionales > 0) {
        // Trailing zeros in the '#' places are not significant.
        for (qsizetype n = 0; n < opcionales && texto.endsWith(u'0'); ++n)
            texto.chop(1);
        if (texto.endsWith(u'.'))
            texto.chop(1);
    }

    const qsizetype coma = texto.indexOf(u'.');
    QString parte_entera = coma < 0 ? texto : texto.left(coma);
    const QString parte_decimal = coma < 0 ? QString() : texto.mid(coma);
    if (parte_entera == u"0" && ceros_enteros == 0)
        parte_entera.clear();
    while (parte_entera.size() < ceros_enteros)
        parte_entera.prepend(u'0');

    // A value that rounds to zero is written without a sign.
    const bool negativo = redondeado < 0;
    return (negativo ? QStringLiteral("-") : QString()) + parte_entera + parte_decimal;
}

QString Texto_Simple(float valor) {
    return QString::number(static_cast<double>(valor), 'g', 7);
}
