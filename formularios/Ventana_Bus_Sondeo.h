#pragma once
// The bus window's relays and their polls: the addresses the operator listed,
// the turn the page's poll timer gives one of them after each poll of its own
// relay, and what each relay said last. The page's relay is never polled here
// (its own poll has it), and a bus poll leaves the run's images as the page's
// poll left them: the page, a recording, Save and the report read them as the
// page's relay.

#include "diario/Vigia_Rele.h"
#include "registro/Fila_Registro.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class Enlace_Rele;

// The highest address a scan asks, and the highest the list takes.
inline constexpr int Direccion_Bus_Maxima = 247;

// "1,5,17", "1-10", "1-4, 9": addresses 1..247, each once, in the order typed.
// Nothing, with the reason in `error`, when a part is not an address or a range.
std::optional<QList<uint8_t>> Lee_Lista_Direcciones(const QString &texto, QString &error);
// The list written back, runs of three or more as ranges: "1-4,9".
QString Texto_Lista_Direcciones(const QList<uint8_t> &direcciones);

// How long a bus relay has to answer a poll at `baudios`: twice the time the
// request, the frame gap and the reply take on the line (ten bits a character),
// plus 20 ms for the relay and the computer, never under 50 ms.
int Espera_Bus_ms(int baudios);

struct Rele_Bus {
    uint8_t direccion = 0;
    std::optional<Estado_Sondeo> estado; // how its last poll ended; none before the first
    Lectura_Actual lectura;              // its last good reply's values
    std::array<Luz, Cantidad_Lamparas> luces{};
    QDateTime ultima_buena; // when its last good poll began
    std::shared_ptr<Vigia_Rele> vigia;
};

class Sondeo_Bus {
  public:
    explicit Sondeo_Bus(Enlace_Rele &enlace) : enlace_(enlace) {}

    // A new list: rows of addresses kept from the last one keep what they had.
    // `dispositivo` names the line in the relays' journal events.
    void Pon_Lista(const QList<uint8_t> &direcciones, const QString &dispositivo);
    const std::vector<Rele_Bus> &Reles() const { return reles_; }
    Rele_Bus &Rele(std::size_t k) { return reles_.at(k); }
    QList<uint8_t> Direcciones() const;

    // One exchange with the next relay in turn (the page's own is passed over).
    // Its row's index, with the poll's row for the value log in `fila`; -1 when
    // nothing went on the line (no relay to poll, or the line was held).
    int Sondea_Siguiente(const QDateTime &hora, Fila_Registro &fila);

    // The page's own poll of its relay, into that relay's row when the list has
    // it (the image holds the page relay's values). The row's index, or -1.
    int Toma_Pagina(Estado_Sondeo estado, const QDateTime &hora);

    // The time between the last two polls of the first relay polled: a round.
    std::optional<qint64> Vuelta_ms() const { return vuelta_ms_; }
    // How many rounds were measured since the list was set.
    int Vueltas() const { return vueltas_; }

  private:
    int Siguiente() const;
    void Mide_Vuelta(int indice);

    Enlace_Rele &enlace_;
    std::vector<Rele_Bus> reles_;
    std::size_t turno_ = 0;
    QElapsedTimer desde_primero_;
    std::optional<qint64> vuelta_ms_;
    int vueltas_ = 0;
};
