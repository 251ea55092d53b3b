#include "fuzz/Banco_Fuzz.h"

#include "comun/DECLARACION_DE_VARIABLES.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

Respuesta Operador_Automatico::Mensaje(const QString &, const QString &, Botones botones, Icono) {
    ++Mensajes;
    return botones == Botones::Yes_No || botones == Botones::Yes_No_Cancel ? Respuesta::No
                                                                           : Respuesta::OK;
}

QString Operador_Automatico::Caja_Entrada(const QString &, const QString &, const QString &) {
    return Texto_Entrada;
}

std::optional<QString> Operador_Automatico::Dialogo_Abrir(const Peticion_Archivo &) {
    return std::nullopt;
}

std::optional<QString> Operador_Automatico::Dialogo_Guardar(const Peticion_Archivo &) {
    return std::nullopt;
}

QByteArray Lector::Bytes(std::size_t n) {
    const std::size_t quedan = n_ - i_;
    if (n > quedan)
        n = quedan;
    QByteArray b(reinterpret_cast<const char *>(datos_ + i_), static_cast<qsizetype>(n));
    i_ += n;
    return b;
}

Banco_Fuzz &Banco() {
    static Banco_Fuzz banco;
    return banco;
}

void Prepara_Banco(int *argc, char ***argv) {
    // Lives for the whole process, as the program's own application object.
    static QCoreApplication aplicacion(*argc, *argv);
    static Temporizador_Comunicacion timer;
    // 0 ms: one tick per turn of the event loop. The order in which replies and
    // ticks meet is what the exchange logic depends on, not the length of a tick.
    timer.Set_Interval(0);
    Banco().timer = &timer;
}

void Nueva_Entrada(Puerto_Memoria &puerto) {
    Reinicia_Estado();
    Banco_Fuzz &b = Banco();
    b.timer->Set_Enabled(false);
    b.operador.Texto_Entrada.clear();
    b.operador.Mensajes = 0;
    b.ventanas = Ventanas_En_Memoria{};
    b.enlace = std::make_unique<Enlace_Rele>(puerto, *b.timer, b.operador, b.ventanas);
}

void Falla(const char *que) {
    std::fprintf(stderr, "fuzz: %s\n", que);
    std::abort();
}
