#pragma once
// A relay image: bytes numbered from 1 exactly as the relay frames number them,
// so that every index in the code reads like the frame layout. Element 0 exists
// and is never used. Every access is checked: an index outside the image is a
// programming error and throws instead of touching a neighbouring variable.

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

template <std::size_t N> class Imagen {
  public:
    uint8_t &operator[](std::size_t i) { return datos_[Comprueba(i)]; }
    uint8_t operator[](std::size_t i) const { return datos_[Comprueba(i)]; }

    // Copies bytes [desde, desde + n) of another image to [hacia, hacia + n) of this one.
    template <std::size_t M>
    void Copia(std::size_t hacia, const Imagen<M> &origen, std::size_t desde, std::size_t n) {
        for (std::size_t k = 0; k < n; ++k)
            (*this)[hacia + k] = origen[desde + k];
    }

    const uint8_t *Datos() const { return datos_.data(); }
    bool operator==(const Imagen &) const = default;

  private:
    static std::size_t Comprueba(std::size_t i) {
        if (i > N)
            throw std::out_of_range("image index " + std::to_string(i) + " outside 0.." +
                                    std::to_string(N));
        return i;
    }
    std::array<uint8_t, N + 1> datos_{};
};
