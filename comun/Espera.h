#pragma once
// The one way the program waits: it runs the event loop until a condition holds.
// It sleeps inside the event loop between events (serial input, ticks, clicks),
// so waiting costs no CPU, and event handlers run during the wait as the program
// expects. The caller must make sure something will wake it (the one-second tick
// runs during every wait).

#include <functional>

void Espera_Hasta(const std::function<bool()> &condicion);

// The same with a deadline of its own: until the condition holds or `ms`
// milliseconds have passed on the wall clock, whichever comes first. For the
// short waits that do not count ticks (a scan's address, a bus relay's poll,
// kv73ctl's pace between polls).
void Espera_Hasta_O_Vence(int ms, const std::function<bool()> &condicion);
