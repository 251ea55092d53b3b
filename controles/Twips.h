#pragma once
// The forms and controls were laid out in twips; on screen 15 twips make one
// pixel (96 dots per inch).

#include <QtGlobal>

constexpr int Twips_Por_Pixel = 15;

inline int Pixeles(double twips) {
    return qRound(twips / Twips_Por_Pixel);
}
