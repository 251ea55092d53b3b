#pragma once
// The one way the program waits: it runs the event loop until a condition holds.
// It sleeps inside the event loop between events (serial input, ticks, clicks),
// so waiting costs no CPU, and event handlers run during the wait as the program
// expects. The caller must make sure something will wake it (the one-second tick
// runs during every wait).

#include <functional>

void Espera_Hasta(const std::function<bool()> &condicion);
