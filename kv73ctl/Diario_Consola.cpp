#include "kv73ctl/Diario_Consola.h"

#include "kv73ctl/Comandos.h"

#include <cstdio>

Diario_Consola::Diario_Consola(const QString &dispositivo, const QString &fuente)
    : dispositivo_(dispositivo), fuente_(fuente) {
    // The command's job comes first: a journal it cannot write is said once
    // and the command goes on, its exit status untouched.
    diario_.Al_Fallar([](const QString &motivo) {
        std::fprintf(stderr, "kv73ctl: %s\n", qPrintable(motivo));
        std::fflush(stderr);
    });
}

bool Diario_Consola::Anota(Evento evento) {
    if (evento.dispositivo.isEmpty())
        evento.dispositivo = dispositivo_;
    if (evento.fuente.isEmpty())
        evento.fuente = fuente_;
    if (!evento.hora.isValid())
        evento.hora = QDateTime::currentDateTime();
    return diario_.Anota(evento);
}

void Diario_Consola::Tras_Sondeo(int direccion, Estado_Sondeo estado,
                                 const std::array<Luz, Cantidad_Lamparas> &luces,
                                 const QDateTime &hora, bool puerto_perdido) {
    Vigia_Rele &vigia = Vigia(direccion);
    const QList<Evento> eventos = puerto_perdido && estado != Estado_Sondeo::Ok
                                      ? vigia.Enlace_Caido(QStringLiteral("port lost"), hora)
                                      : vigia.Tras_Sondeo(estado, luces, hora);
    for (Evento evento : eventos)
        diario_.Anota(evento);
}

void Diario_Consola::Anota_Sondeo(const Resultado_Sondeo &r, bool puerto_perdido) {
    Tras_Sondeo(r.direccion, Estado_De(r), Luces_De(r.lectura), r.hora, puerto_perdido);
}

void Diario_Consola::Puerto_Perdido(const QDateTime &hora) {
    for (auto &[direccion, vigia] : vigias_)
        for (Evento evento : vigia.Enlace_Caido(QStringLiteral("port lost"), hora))
            diario_.Anota(evento);
}

Vigia_Rele &Diario_Consola::Vigia(int direccion) {
    auto donde = vigias_.find(direccion);
    if (donde == vigias_.end())
        donde = vigias_.emplace(direccion, Vigia_Rele(dispositivo_, direccion, fuente_)).first;
    return donde->second;
}

void Anota_Cambio(const Opciones &op, const QString &tipo, const QString &que, const QString &antes,
                  const QString &despues, const QString &fuente) {
    Diario_Consola diario(Dispositivo_Opciones(op), fuente);
    Evento evento;
    evento.direccion = op.direccion;
    evento.tipo = tipo;
    evento.que = que;
    evento.antes = antes;
    evento.despues = despues;
    diario.Anota(evento);
}
