#pragma once
// Number <-> text the way the program's texts need them.

#include <QString>
#include <cstdint>

// Reads the leading number of a text: blanks are skipped, a sign, digits, one
// decimal point and an exponent are taken, and reading stops at the first
// character that does not fit ("12..5" reads 12, "" and "abc" read 0).
double Val(const QString &texto);

// A number as the status texts show it: one leading blank before a number that
// is not negative (" 9600"), a minus sign otherwise ("-5").
QString Str(double valor);

// A text cut or padded with blanks to exactly `ancho` characters.
QString Ajusta(const QString &texto, int ancho);

// A number as an unsigned byte, rounded half to even; a value outside 0..255
// throws (a position or a value that cannot be a byte is a programming error,
// never something to wrap around silently).
uint8_t CByte(double valor);
