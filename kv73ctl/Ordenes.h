#pragma once
// kv73ctl's commands, in the order --help lists them: main finds the one asked
// for here and runs it on the link it made.

#include "kv73ctl/Opciones.h"

#include <span>

extern const std::span<const Orden> Ordenes;
