#pragma once
// Number to text as the editors and the numeric entry dialog show values.

#include <QString>

// `valor` written with a number pattern: '0' is a digit always written, '#' a
// digit written only when it is significant, '.' the decimal point. Rounds half
// away from zero at the last decimal. The program's patterns are "0", "###0",
// "####0", "##0.0" and "##0.00". A pattern without digit places writes the
// number in general form.
QString Formatea(double valor, const QString &patron);

// A single-precision number as plain decimal text, up to seven significant digits
// ("1", "0.1", "2.5").
QString Texto_Simple(float valor);
