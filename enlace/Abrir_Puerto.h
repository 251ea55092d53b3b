#pragma once
// Opening the serial line towards the relay, directly or through a telephone
// modem that dials the relay's number. Comunicacion_OK is what it leaves behind.

#include <QString>
#include <functional>

class Enlace_Rele;

// Opens (or re-opens) the port with Puerto_Com and Velocidad, then brings the
// link up with Conectar_Modem. Any failure on the way shows "Invalid Number Port:"
// and the port number; when the port itself did not open, a second line says why.
void Abrir_Puerto(Enlace_Rele &enlace);

// Direct line: the link is up. Modem: initialise the local modem and dial
// Telefono. False when the modem's answer could not be evaluated (the caller
// reports it as a port failure); true otherwise, whatever the outcome.
bool Conectar_Modem(Enlace_Rele &enlace);

// No register read busy, the one-second tick off.
void Reiniciar_Enlace(Enlace_Rele &enlace);

// A wait of the modem dialogue (dial-up, hang-up, remote programming): runs the
// event loop until `condicion` holds, keeping the tick running, or until the
// port closes. False when the port closed: the reply will never come.
bool Espera_Modem(Enlace_Rele &enlace, const std::function<bool()> &condicion);

// Holds the busy flag for a modem dialogue, so that a poll or a setpoint
// re-read that fires during one of its waits neither drains the modem's reply
// nor sends a relay frame into the modem; the flag is put back as it was.
class Linea_Reservada {
  public:
    Linea_Reservada();
    ~Linea_Reservada();
    Linea_Reservada(const Linea_Reservada &) = delete;
    Linea_Reservada &operator=(const Linea_Reservada &) = delete;

  private:
    bool ocupado_;
};

// The settings text of the port: the speed with its leading blank, ",N,8,1".
QString Texto_Settings(int velocidad);

// The modem's texts, as the operator sees them.
namespace Textos_Modem {
inline const QString Puerto_Invalido = QStringLiteral("Invalid Number Port:");
inline const QString Sin_Respuesta = QStringLiteral("Modem Not Response");
inline const QString Pide_Cadena = QStringLiteral("Enter the New string initialization");
inline const QString Respuesta_Cadena = QStringLiteral("La Respuesta del Modem a su cadena Fue: ");
} // namespace Textos_Modem
