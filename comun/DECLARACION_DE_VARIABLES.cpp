#include "comun/DECLARACION_DE_VARIABLES.h"

Estado_Global Estado;

void Reinicia_Estado() {
    Estado = Estado_Global{};
}
