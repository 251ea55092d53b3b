#pragma once
// The numeric entry dialog hands its result back as a currency value: a 64-bit
// count of ten-thousandths. A typed 85.3 times a factor of 10 then comes back as
// exactly 853, and the range is checked against the typed value rounded to four
// decimals instead of against a binary fraction.

#include <algorithm>
#include <cmath>
#include <compare>
#include <cstdint>
#include <limits>
#include <optional>

class Moneda {
  public:
    constexpr Moneda() = default;

    static constexpr Moneda De_Entero(int32_t valor) { return Moneda(int64_t{valor} * Escala); }

    // Rounded to four decimals, a half going to the even neighbour. Nothing when
    // the number is not finite or too large for the type: such a value cannot be
    // a setpoint and must not wrap into one.
    static std::optional<Moneda> De_Double(double valor) {
        const double escalado = std::nearbyint(valor * Escala);
        if (!std::isfinite(escalado) || escalado < -9223372036854775808.0 ||
            escalado >= 9223372036854775808.0)
            return std::nullopt;
        return Moneda(static_cast<int64_t>(escalado));
    }

    // The nearest 32-bit integer, a half going to the even neighbour, as a register
    // value is taken from the dialog. Held at the ends of the 32-bit range.
    int32_t A_Entero() const {
        int64_t entero = diezmilesimas_ / Escala;
        const int64_t resto = diezmilesimas_ % Escala;
        const bool impar = entero % 2 != 0;
        if (resto > Escala / 2 || (resto == Escala / 2 && impar))
            ++entero;
        else if (resto < -Escala / 2 || (resto == -Escala / 2 && impar))
            --entero;
        return static_cast<int32_t>(std::clamp<int64_t>(entero, std::numeric_limits<int32_t>::min(),
                                                        std::numeric_limits<int32_t>::max()));
    }

    double A_Double() const { return static_cast<double>(diezmilesimas_) / Escala; }

    auto operator<=>(const Moneda &) const = default;

  private:
    static constexpr int64_t Escala = 10000;
    constexpr explicit Moneda(int64_t diezmilesimas) : diezmilesimas_(diezmilesimas) {}
    int64_t diezmilesimas_ = 0;
};
