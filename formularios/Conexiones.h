#pragma once
// The start-up's wiring between the host, the settings dialog and the main page.
// None of the three knows the others: the host says what the core wrote into the
// dialog's status label, the dialog says when its ON or OFF took the link up or
// down, and these connections carry it where it is shown.

class AVPAGE2;
class Principal;

// The status label the core writes reaches the settings dialog, which is loaded
// (hidden) for it when it is not.
void Conecta_Host(Principal &host);

// The link the dialog brings up starts the page's timers; the link it takes down
// turns the page's lamps off. The page gets its value log and trend, and its
// line on the link.
void Conecta_Pagina(AVPAGE2 &pagina, Principal &host);
