#include "comun/Texto.h"

#include <QFile>

#include <cmath>
#include <limits>
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

namespace {

bool Empieza_Hex(QStringView t) {
    return t.size() > 2 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X');
}

// The value of one digit in `base` (10 or 16), or -1.
int Digito(QChar c, int base) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (base == 16 && u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (base == 16 && u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::optional<qint64> Lee_Entero(const QString &texto) {
    QStringView t = QStringView(texto).trimmed();
    bool negativo = false;
    if (!t.isEmpty() && (t[0] == u'-' || t[0] == u'+')) {
        negativo = t[0] == u'-';
        t = t.mid(1);
    }
    const int base = Empieza_Hex(t) ? 16 : 10;
    if (base == 16)
        t = t.mid(2);
    if (t.isEmpty())
        return std::nullopt;
    // Digit by digit: QString's own reading with base 0 would take 017 as octal.
    quint64 valor = 0;
    constexpr quint64 Tope = quint64{std::numeric_limits<qint64>::max()} + 1;
    for (QChar c : t) {
        const int d = Digito(c, base);
        if (d < 0 || valor > (Tope - static_cast<quint64>(d)) / static_cast<quint64>(base))
            return std::nullopt;
        valor = valor * static_cast<quint64>(base) + static_cast<quint64>(d);
    }
    if (valor == Tope)
        return negativo ? std::optional<qint64>(std::numeric_limits<qint64>::min()) : std::nullopt;
    const auto v = static_cast<qint64>(valor);
    return negativo ? -v : v;
}

double Valor_Palabra(const QString &palabra) {
    if (!Empieza_Hex(QStringView(palabra).trimmed()))
        return Val(palabra);
    const auto v = Lee_Entero(palabra);
    return v ? static_cast<double>(*v) : std::nan("");
}

std::optional<QString> Nombre_Del_Sistema(const QByteArray &bytes) {
    QString nombre = QFile::decodeName(bytes);
    if (QFile::encodeName(nombre) != bytes)
        return std::nullopt;
    return nombre;
}

const char *Palabra_Sin_Nombre(int argc, char **argv) {
    for (int i = 1; i < argc; ++i)
        if (!Nombre_Del_Sistema(QByteArray(argv[i])))
            return argv[i];
    return nullptr;
}
