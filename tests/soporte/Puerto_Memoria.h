#pragma once
// A serial port in memory: what the program writes is recorded (with the tick
// count of the moment) and handed to a responder; replies are put into the input
// by the test, at once or later through the event loop.

#include "enlace/Puerto_Serie.h"

#include <QByteArray>
#include <functional>
#include <vector>

class Reloj_Virtual;

class Puerto_Memoria : public Puerto_Serie {
    Q_OBJECT
  public:
    struct Escritura {
        QByteArray bytes;
        uint8_t segundos; // Segundos when written
    };

    void Set_CommPort(int16_t puerto) override { puerto_ = puerto; }
    int16_t CommPort() const override { return puerto_; }
    bool Set_Settings(const QString &texto) override;
    QString Settings() const override { return settings_; }
    bool Set_PortOpen(bool abierto) override;
    bool PortOpen() const override { return abierto_; }
    QString Error_Texto() const override {
        return existe ? QString() : QStringLiteral("No such file");
    }
    void Set_DTREnable(bool activo) override { dtr.push_back(activo); }
    void Set_InputLen(int longitud) override { longitud_lectura_ = longitud; }
    int InBufferCount() override { return abierto_ ? static_cast<int>(entrada_.size()) : 0; }
    QByteArray Input() override;
    void Output(const QByteArray &bytes) override;

    // Puts bytes into the input now, as if they had just arrived.
    void Inyecta(const QByteArray &bytes);
    // Puts bytes into the input after `ms` milliseconds of the event loop.
    // on `reloj` when the test gave one, else on the wall clock.
    void Inyecta_Despues(int ms, const QByteArray &bytes);
    Reloj_Virtual *reloj = nullptr;
    // The device goes away: the port closes itself, as the production port does.
    void Desaparece();

    // Called for every complete request of `largo` bytes the program writes
    // (bytes are gathered until the length is reached).
    std::function<void(const QByteArray &peticion)> al_recibir;
    // Called for every write as it is, before any framing (a modem reads text).
    std::function<void(const QByteArray &bytes)> al_escribir;
    bool existe = true;
    // The port number and settings the port was last opened with: a change of
    // them reaches the line only through a close and a new open.
    int16_t puerto_abierto = 0;
    QString settings_abiertos;
    std::vector<bool> dtr;
    std::vector<Escritura> escrituras; // one per Output call

    // All bytes written, in order.
    QByteArray Todo_Lo_Escrito() const;
    // Frames written, cut at the lengths the relay requests have.
    std::vector<QByteArray> Peticiones() const;

  private:
    int16_t puerto_ = 1;
    QString settings_ = QStringLiteral(" 9600,N,8,1");
    bool abierto_ = false;
    int longitud_lectura_ = 0;
    QByteArray entrada_;
    QByteArray pendiente_;
};
