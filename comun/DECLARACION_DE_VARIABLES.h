#pragma once
// The relay and link state of the whole run. One instance lives for the run;
// Reinicia_Estado puts it back to what the program holds at start-up (tests use it
// between cases).

#include "comun/Imagen.h"

#include <QString>
#include <cstdint>

// A setpoint file's record as the last load or save left it. The three texts
// and bytes [0] of both images belong to whoever made the file: the program
// never shows or edits them, only carries them from a loaded file into the next
// save. Blanks before any file was loaded.
struct Registro_KV73 {
    QString Etiqueta = QString(50, QLatin1Char(' '));
    double Fecha = 0; // days since 30 December 1899
    QString Texto_1 = QString(20, QLatin1Char(' '));
    QString Texto_2 = QString(20, QLatin1Char(' '));
    QString Texto_3 = QString(100, QLatin1Char(' '));
    Imagen<21> Trama;    // the setpoint write frame
    Imagen<34> Actuales; // the actual-values image
};

// The addresses a relay can be given by its own address setting (the
// communication dialog's editor takes the same): 0 is the broadcast that every
// relay on a line obeys without answering, and 255 no relay takes. Every
// address a program accepts from a person lies here; 248 to 254 are beyond
// plain Modbus, but a relay set to one of them answers there.
inline constexpr int Direccion_Minima = 1;
inline constexpr int Direccion_Maxima = 254;
constexpr bool Direccion_Valida(long long direccion) {
    return direccion >= Direccion_Minima && direccion <= Direccion_Maxima;
}

struct Estado_Global {
    // Link settings, defaults of an interactive start.
    int16_t Puerto_Com = 2;
    int16_t Velocidad = 9600;
    uint8_t Direccion_Rele = 1;
    bool Via_Modem = false;
    QString Telefono = QString(20, QLatin1Char(' '));

    // Link state.
    bool Comunicacion_OK = false;
    bool Ocupado = false;
    bool Cancelar_Enlace = false;
    uint8_t Segundos = 0;
    int16_t Errores_CRC = 0;
    bool Modo_Linea_Comandos = false;
    QString Cadena_Modem;
    // "Personal String" chosen under Communication Control of the settings dialog:
    // the dial-up then asks the operator for the local modem's initialisation.
    bool Cadena_Personal_Local = false;
    // Exchanges waiting for their reply right now (a handler that runs inside a
    // wait may start another): the main page runs its queue only when none is.
    int Intercambios_En_Curso = 0;
    // kv73ctl: an exception reply ends the exchange at once (the main page waits
    // it out, and the link fails), and its code is kept here.
    bool Excepcion_Termina = false;
    uint8_t Codigo_Excepcion = 0;
    // kv73ctl was asked to end (SIGINT, SIGTERM): every wait ends at once, as
    // cancelled, without the link-failure procedure.
    bool Interrupcion = false;

    // The operator changed a setpoint editor or option list since the setpoints
    // were last read, loaded or stored: Nuevos_Setpoints holds work the relay
    // does not have yet. A good setpoint read, a file load and a write the relay
    // accepted clear it; the page's once-a-minute re-read keeps the edits then.
    bool Edicion_Pendiente = false;

    // Requests queued on the main page for the next poll.
    bool Grabar_Pendiente = false;
    bool Reset_Tmax_Pendiente = false;
    // Position of register 0x0208 in Valores_Actuales, set by the host at load.
    uint8_t Posicion_Estado = 20;

    // Frames and replies, numbered as the relay numbers their bytes.
    Imagen<8> Trama_Peticion;
    Imagen<21> Trama_Escritura;
    Imagen<8> Trama_Comando;
    Imagen<12> Respuesta_Identificacion;
    Imagen<34> Respuesta_Actuales;
    Imagen<8> Respuesta_Escritura;
    Imagen<8> Respuesta_Comando;

    // The images the rest of the program reads.
    Imagen<17> Set_Setpoints;
    Imagen<21> Nuevos_Setpoints;
    Imagen<34> Valores_Actuales;
    Imagen<12> Identificacion;

    // Setpoint files: the outcome of the last load (the main page sends a loaded
    // file only when it is true) and the record the next save starts from.
    bool Archivo_Cargado = false;
    Registro_KV73 Registro_Archivo;

    // Texts of the CRC computation.
    QString Trama;
    QString CRC_Texto;
    QString CRC_Bajo;
    QString CRC_Alto;
};

extern Estado_Global Estado;

void Reinicia_Estado();
