#include "comun/Texto.h"

#include <cmath>
#include <stdexcept>
#include <string>

double Val(const QString &texto) {
    QString limpio;
    for (QChar c : texto)
        if (c != u' ' && c != u'\t' && c != u'\n' && c != u'\r')
            limpio.append(c);

    int i = 0;
    const int n = limpio.size();
    QString numero;
    if (i < n && (limpio[i] == u'-' || limpio[i] == u'+'))
        numero.append(limpio[i++]);
    bool digitos = false;
    while (i < n && limpio[i].isDigit() && limpio[i].unicode() < 128) {
        numero.append(limpio[i++]);
        digitos = true;
    }
    if (i < n && limpio[i] == u'.') {
        numero.append(limpio[i++]);
        while (i < n && limpio[i].isDigit() && limpio[i].unicode() < 128) {
            numero.append(limpio[i++]);
            digitos = true;
        }
    }
    if (!digitos)
        return 0.0;
    if (i < n && (limpio[i] == u'E' || limpio[i] == u'e')) {
        int j = i + 1;
        QString exponente = QStringLiteral("e");
        if (j < n && (limpio[j] == u'-' || limpio[j] == u'+'))
            exponente.append(limpio[j++]);
        const int inicio = j;
        while (j < n && limpio[j].isDigit() && limpio[j].unicode() < 128)
            exponente.append(limpio[j++]);
        if (j > inicio)
            numero.append(exponente);
    }
    bool ok = false;
    const double v = numero.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

QString Str(double valor) {
    const QString digitos = QString::number(valor, 'g', 15);
    return valor < 0 ? digitos : QStringLiteral(" ") + digitos;
}

QString Ajusta(const QString &texto, int ancho) {
    return texto.left(ancho).leftJustified(ancho, QLatin1Char(' '));
}

uint8_t CByte(double valor) {
    const double r = std::nearbyint(valor);
    if (!(r >= 0 && r <= 255))
        throw std::out_of_range("value " + std::to_string(valor) + " is not a byte");
    return static_cast<uint8_t>(r);
}
