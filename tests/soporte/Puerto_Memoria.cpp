#include "tests/soporte/Puerto_Memoria.h"

#include "comun/DECLARACION_DE_VARIABLES.h"
#include "protocolo/Tramas.h"

#include "tests/soporte/Reloj_Virtual.h"

#include <QTimer>

bool Puerto_Memoria::Set_Settings(const QString &texto) {
    if (!Analiza_Settings(texto))
        return false;
    settings_ = texto;
    return true;
}

bool Puerto_Memoria::Set_PortOpen(bool abierto) {
    if (abierto && !existe)
        return false;
    if (abierto && !abierto_) {
        Marca_Perdido(false);
        puerto_abierto = puerto_;
        settings_abiertos = settings_;
        entrada_.clear();
        pendiente_.clear();
        longitud_lectura_ = 0;
    }
    abierto_ = abierto;
    return true;
}

QByteArray Puerto_Memoria::Input() {
    if (!abierto_)
        return {};
    const qsizetype n = longitud_lectura_ > 0 ? qMin<qsizetype>(longitud_lectura_, entrada_.size())
                                              : entrada_.size();
    QByteArray leido = entrada_.left(n);
    entrada_.remove(0, n);
    return leido;
}

void Puerto_Memoria::Output(const QByteArray &bytes) {
    if (!abierto_)
        return;
    escrituras.push_back({bytes, Estado.Segundos});
    if (al_escribir) {
        al_escribir(bytes);
        return;
    }
    pendiente_ += bytes;
    // A lone 0x00 is the program's goodbye before it closes the port, not a request.
    if (pendiente_ == QByteArray(1, '\0')) {
        pendiente_.clear();
        return;
    }
    for (;;) {
        const qsizetype largo = Largo_Peticion(pendiente_);
        if (largo == 0 || pendiente_.size() < largo)
            break;
        const QByteArray peticion = pendiente_.left(largo);
        pendiente_.remove(0, largo);
        if (al_recibir)
            al_recibir(peticion);
    }
}

void Puerto_Memoria::Inyecta(const QByteArray &bytes) {
    if (!abierto_)
        return;
    entrada_ += bytes;
    emit Llegan_Datos();
}

void Puerto_Memoria::Inyecta_Despues(int ms, const QByteArray &bytes) {
    if (reloj)
        reloj->Despues(
            ms, [this, bytes] { Inyecta(bytes); }, this);
    else
        QTimer::singleShot(ms, this, [this, bytes] { Inyecta(bytes); });
}

void Puerto_Memoria::Desaparece() {
    if (abierto_)
        Marca_Perdido(true);
    abierto_ = false;
    entrada_.clear();
    emit Llegan_Datos();
}

QByteArray Puerto_Memoria::Todo_Lo_Escrito() const {
    QByteArray todo;
    for (const auto &e : escrituras)
        todo += e.bytes;
    return todo;
}

std::vector<QByteArray> Puerto_Memoria::Peticiones() const {
    std::vector<QByteArray> frames;
    QByteArray resto = Todo_Lo_Escrito();
    while (!resto.isEmpty()) {
        if (resto.size() == 1 || resto.startsWith(QByteArray(1, '\0'))) {
            resto.remove(0, 1);
            continue;
        }
        // A request cut short ends the list as it stands.
        const qsizetype largo = Largo_Peticion(resto);
        const qsizetype n = largo == 0 ? resto.size() : qMin(largo, resto.size());
        frames.push_back(resto.left(n));
        resto.remove(0, n);
    }
    return frames;
}
