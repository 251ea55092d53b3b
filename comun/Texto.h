#pragma once
// Number <-> text the way the program's texts need them.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

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

// A whole number as every program of the family takes it from a command line:
// decimal, or hexadecimal after 0x; a leading zero is still decimal (017 is 17,
// never octal), so that one text names one relay whichever program reads it.
// Blanks around it and a sign are allowed; anything else, or a number beyond
// 64 bits, gives nothing.
std::optional<qint64> Lee_Entero(const QString &texto);

// A number word of the desktop program (its command line, the address it asks
// for): Val's leading number, except that a word written 0x is read whole as
// Lee_Entero reads it, not as the 0 that Val would make of it. Not a number
// (NaN) when a 0x word is not one.
double Valor_Palabra(const QString &palabra);

// A word of the command line or of the environment as a name the program can
// open: Qt names files with text, and a byte that is not UTF-8 would become
// U+FFFD, which names another file (two such names, one file). Nothing when
// the system's bytes do not come back unchanged from the text.
std::optional<QString> Nombre_Del_Sistema(const QByteArray &bytes);

// The first of `argv` (the program's name left out) that Nombre_Del_Sistema
// cannot carry, or null.
const char *Palabra_Sin_Nombre(int argc, char **argv);
