#include "simulador/Modem_Simulado.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char Retroceso = '\b';

// Longest command line kept; a longer run of junk without a carriage return
// keeps only its tail, where an "AT" may still be.
constexpr qsizetype Largo_Linea = 255;

// Same rule as kv73-sim on a direct line: a partial frame followed by this
// much silence will never be completed.
constexpr qint64 Silencio_Fin_Trama_ms = 50;

// The digits after a command letter; none means 0, as on any Hayes modem.
// Values past 9999 are clamped so that a long digit run cannot overflow.
int Lee_Numero(const QByteArray &cuerpo, qsizetype &i) {
    int valor = 0;
    while (i < cuerpo.size() && cuerpo[i] >= '0' && cuerpo[i] <= '9') {
        valor = std::min(valor * 10 + (cuerpo[i] - '0'), 9999);
        ++i;
    }
    return valor;
}

} // namespace

QByteArray Numero_Normalizado(const QByteArray &numero) {
    QByteArray limpio;
    for (char c : numero)
        if (c != ' ' && c != '\t' && c != '-' && c != '(' && c != ')')
            limpio += c;
    return limpio;
}

Modem_Simulado::Ajustes Modem_Simulado::De_Fabrica() {
    Ajustes a;
    a.S[2] = '+';
    a.S[3] = CR;
    a.S[4] = LF;
    a.S[5] = Retroceso;
    a.S[6] = 2;
    a.S[7] = 50;
    a.S[8] = 2;
    a.S[10] = 14;
    a.S[12] = 50;
    return a;
}

Modem_Simulado::Modem_Simulado(Rele_Simulado &rele, Opciones_Modem opciones)
    : Rele(rele), Opciones(std::move(opciones)) {
    // The modem beside the PC comes with echo off stored: the program sends
    // "ATE0" and expects the framed OK alone, with no echo of its command.
    Ajustes guardados = De_Fabrica();
    guardados.Eco = false;
    Perfiles = {guardados, guardados};
    Ajustes_ = guardados;
}

QByteArray Modem_Simulado::Texto(Resultado r) const {
    if (!Ajustes_.Verbal) {
        static constexpr char Codigos[] = {'0', '1', '3', '4', '7'};
        return QByteArray(1, Codigos[static_cast<int>(r)]) + CR;
    }
    QByteArray palabra;
    switch (r) {
    case Resultado::OK:
        palabra = "OK";
        break;
    case Resultado::Conexion:
        palabra = Opciones.Texto_Conexion;
        break;
    case Resultado::Sin_Portadora:
        palabra = "NO CARRIER";
        break;
    case Resultado::Error:
        palabra = "ERROR";
        break;
    case Resultado::Ocupado:
        palabra = "BUSY";
        break;
    }
    return "\r\n" + palabra + "\r\n";
}

// Answers to queries (an S-register's value) come before the final result.
QByteArray Modem_Simulado::Informacion(const QByteArray &texto) const {
    return Ajustes_.Verbal ? "\r\n" + texto + "\r\n" : texto + "\r\n";
}

QByteArray Modem_Simulado::Recibe(const QByteArray &bytes, qint64 ahora_ms) {
    QByteArray salida = Avanza(ahora_ms);
    // One byte at a time, because a command can change what the next byte
    // means: "ATO" makes the rest of a write data, a dial makes it an abort.
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const QByteArray byte = bytes.mid(i, 1);
        switch (Estado_) {
        case Estado_Modem::Marcando:
            // Any key pressed while dialling abandons the call, as on a real modem.
            Cuelga();
            salida += Texto(Resultado::Sin_Portadora);
            break;
        case Estado_Modem::Datos:
            salida += Recibe_Datos(byte, ahora_ms);
            break;
        case Estado_Modem::Comandos:
        case Estado_Modem::Comandos_En_Linea:
            salida += Recibe_Comandos(byte, ahora_ms);
            break;
        }
    }
    return salida + Entrega_Rele(ahora_ms);
}

QByteArray Modem_Simulado::Recibe_Comandos(const QByteArray &bytes, qint64 ahora_ms) {
    QByteArray salida;
    for (char c : bytes) {
        if (Ajustes_.Eco)
            salida += c;
        if (c == CR) {
            const QByteArray linea = Linea;
            Linea.clear();
            salida += Ejecuta_Linea(linea, ahora_ms);
        } else if (c == Retroceso) {
            Linea.chop(1);
        } else if (c != LF) {
            Linea += c;
            if (Linea.size() > Largo_Linea)
                Linea.remove(0, Linea.size() - Largo_Linea);
        }
    }
    return salida;
}

QByteArray Modem_Simulado::Recibe_Datos(const QByteArray &bytes, qint64 ahora_ms) {
    for (char c : bytes) {
        const qint64 silencio = ahora_ms - Ultimo_Dato_ms;
        if (silencio >= Silencio_Fin_Trama_ms)
            Tramas.Descarta();
        // "+++" counts only after a guard time of silence, with its three signs
        // close together; a fourth sign or any other byte makes it plain data.
        if (c == '+' && (Signos_Escape == 0 ? silencio >= Opciones.Guarda_Escape_ms
                                            : silencio < Opciones.Guarda_Escape_ms))
            Signos_Escape = Signos_Escape < 3 ? Signos_Escape + 1 : 0;
        else
            Signos_Escape = 0;
        Ultimo_Dato_ms = ahora_ms;

        // The escape signs go down the line too: the far end sees them as data.
        Tramas.Agrega(QByteArray(1, c));
        while (const auto peticion = Tramas.Siguiente()) {
            for (const Trozo &t : Rele.Responde_Por_Partes(*peticion)) {
                const qint64 desde = Respuestas_Rele.empty()
                                         ? ahora_ms
                                         : std::max(ahora_ms, Respuestas_Rele.back().Vence_ms);
                Respuestas_Rele.push_back({desde + t.Retardo_ms, t.Bytes});
            }
        }
    }
    return {};
}

QByteArray Modem_Simulado::Ejecuta_Linea(const QByteArray &linea, qint64 ahora_ms) {
    // Whatever came before "AT" is line noise; a line without it is no command
    // and gets no answer, so a lone carriage return stays unanswered.
    const qsizetype at = linea.toUpper().indexOf("AT");
    if (at < 0)
        return {};
    QByteArray cuerpo;
    for (char c : linea.mid(at + 2).toUpper())
        if (c != ' ' && c != '\t')
            cuerpo += c;

    // Commands run one after another; the first that ends the line (a dial, an
    // error, going back on line) gives its result after what the others printed.
    QByteArray salida;
    qsizetype i = 0;
    while (i < cuerpo.size())
        if (const std::optional<QByteArray> fin = Ejecuta_Orden(cuerpo, i, salida, ahora_ms))
            return salida + *fin;
    return salida + Texto(Resultado::OK);
}

std::optional<QByteArray> Modem_Simulado::Ejecuta_Orden(const QByteArray &cuerpo, qsizetype &i,
                                                        QByteArray &salida, qint64 ahora_ms) {
    const char orden = cuerpo[i++];
    if (orden == 'D')
        return Marca(cuerpo.mid(i), ahora_ms);
    if (orden == 'S')
        return Ejecuta_Registro(cuerpo, i, salida);
    if (orden == '&')
        return Ejecuta_Ampersand(cuerpo, i);
    return Ejecuta_Letra(orden, Lee_Numero(cuerpo, i), ahora_ms);
}

// Sn? shows register n, Sn=v sets it.
std::optional<QByteArray> Modem_Simulado::Ejecuta_Registro(const QByteArray &cuerpo, qsizetype &i,
                                                           QByteArray &salida) {
    const int n = Lee_Numero(cuerpo, i);
    if (n > 255 || i >= cuerpo.size())
        return Texto(Resultado::Error);
    const char que = cuerpo[i++];
    if (que == '?') {
        salida += Informacion(
            QByteArray::number(Ajustes_.S[static_cast<size_t>(n)]).rightJustified(3, '0'));
    } else if (que == '=') {
        const int valor = Lee_Numero(cuerpo, i);
        if (valor > 255)
            return Texto(Resultado::Error);
        Ajustes_.S[static_cast<size_t>(n)] = static_cast<uint8_t>(valor);
    } else {
        return Texto(Resultado::Error);
    }
    return std::nullopt;
}

std::optional<QByteArray> Modem_Simulado::Ejecuta_Ampersand(const QByteArray &cuerpo,
                                                            qsizetype &i) {
    if (i >= cuerpo.size())
        return Texto(Resultado::Error);
    const char ampersand = cuerpo[i++];
    const int n = Lee_Numero(cuerpo, i);
    if (ampersand == 'F' && n == 0)
        Ajustes_ = De_Fabrica();
    else if (ampersand == 'W' && n <= 1)
        Perfiles[static_cast<size_t>(n)] = Ajustes_;
    // The simulator is never switched off, so the profile chosen for
    // power-up (&Y) and the line-control settings have nothing to act on.
    else if (!((ampersand == 'Y' && n <= 1) || (ampersand == 'C' && n <= 1) ||
               (ampersand == 'D' && n <= 3) || (ampersand == 'K' && n <= 6)))
        return Texto(Resultado::Error);
    return std::nullopt;
}

// A command of one letter and its number (0 when none is written).
std::optional<QByteArray> Modem_Simulado::Ejecuta_Letra(char orden, int n, qint64 ahora_ms) {
    // The highest number each command takes; beyond it, or an unknown letter, is ERROR.
    static constexpr std::pair<char, int> Topes[] = {{'E', 1}, {'V', 1}, {'Z', 1}, {'H', 1},
                                                     {'O', 1}, {'L', 3}, {'M', 3}, {'X', 4}};
    const auto tope = std::find_if(std::begin(Topes), std::end(Topes),
                                   [orden](const auto &t) { return t.first == orden; });
    if (tope == std::end(Topes) || n > tope->second)
        return Texto(Resultado::Error);
    switch (orden) {
    case 'E':
        Ajustes_.Eco = n == 1;
        break;
    case 'V':
        Ajustes_.Verbal = n == 1;
        break;
    case 'Z':
        Cuelga();
        Ajustes_ = Perfiles[static_cast<size_t>(n)];
        break;
    case 'H':
        Cuelga();
        break;
    case 'O':
        if (Estado_ != Estado_Modem::Comandos_En_Linea)
            return Texto(Resultado::Sin_Portadora);
        // Back on line: the rest of the line is not read, the next byte is data.
        Estado_ = Estado_Modem::Datos;
        Ultimo_Dato_ms = ahora_ms;
        Signos_Escape = 0;
        return Texto(Resultado::Conexion);
    default: // L and M (speaker volume and monitor: a simulated line makes no
             // sound), X (result codes): accepted and ignored
        break;
    }
    return std::nullopt;
}

QByteArray Modem_Simulado::Marca(const QByteArray &cadena, qint64 ahora_ms) {
    if (Estado_ != Estado_Modem::Comandos)
        return Texto(Resultado::Error);
    QByteArray numero = cadena;
    if (numero.startsWith('T') || numero.startsWith('P'))
        numero.remove(0, 1);
    numero = Numero_Normalizado(numero);
    if (numero.isEmpty())
        return Texto(Resultado::Error);
    Estado_ = Estado_Modem::Marcando;
    Marcado_Ocupado = numero == Numero_Normalizado(Opciones.Numero_Ocupado);
    Fin_Marcado_ms = numero == Numero_Normalizado(Opciones.Numero_Mudo)
                         ? -1
                         : ahora_ms + Opciones.Retardo_Marcado_ms;
    return {};
}

QByteArray Modem_Simulado::Avanza(qint64 ahora_ms) {
    QByteArray salida;
    if (Estado_ == Estado_Modem::Marcando && Fin_Marcado_ms >= 0 && ahora_ms >= Fin_Marcado_ms) {
        if (Marcado_Ocupado) {
            Cuelga();
            salida += Texto(Resultado::Ocupado);
        } else {
            Estado_ = Estado_Modem::Datos;
            Ultimo_Dato_ms = Fin_Marcado_ms;
            Signos_Escape = 0;
            salida += Texto(Resultado::Conexion);
        }
    }
    if (Estado_ == Estado_Modem::Datos && Signos_Escape == 3) {
        const qint64 escape_ms = Ultimo_Dato_ms + Opciones.Guarda_Escape_ms;
        if (ahora_ms >= escape_ms) {
            // Relay replies that came in before the escape still reach the program.
            salida += Entrega_Rele(escape_ms);
            Estado_ = Estado_Modem::Comandos_En_Linea;
            Signos_Escape = 0;
            Linea.clear();
            salida += Texto(Resultado::OK);
        }
    }
    return salida + Entrega_Rele(ahora_ms);
}

// Replies of the relay leave only in data mode; in command mode on line they
// wait for ATO, and a hang-up throws them away with the call.
QByteArray Modem_Simulado::Entrega_Rele(qint64 ahora_ms) {
    QByteArray salida;
    while (Estado_ == Estado_Modem::Datos && !Respuestas_Rele.empty() &&
           Respuestas_Rele.front().Vence_ms <= ahora_ms) {
        salida += Respuestas_Rele.front().Bytes;
        Respuestas_Rele.pop_front();
    }
    return salida;
}

std::optional<qint64> Modem_Simulado::Proximo_Evento_ms() const {
    std::optional<qint64> proximo;
    const auto considera = [&](qint64 t) { proximo = proximo ? std::min(*proximo, t) : t; };
    if (Estado_ == Estado_Modem::Marcando && Fin_Marcado_ms >= 0)
        considera(Fin_Marcado_ms);
    if (Estado_ == Estado_Modem::Datos) {
        if (Signos_Escape == 3)
            considera(Ultimo_Dato_ms + Opciones.Guarda_Escape_ms);
        if (!Respuestas_Rele.empty())
            considera(Respuestas_Rele.front().Vence_ms);
    }
    return proximo;
}

void Modem_Simulado::Cae_DTR() {
    // The program is gone from the line: no result is sent to anyone, and a
    // half-typed command is forgotten.
    Cuelga();
    Linea.clear();
}

void Modem_Simulado::Cuelga() {
    Estado_ = Estado_Modem::Comandos;
    Fin_Marcado_ms = -1;
    Marcado_Ocupado = false;
    Signos_Escape = 0;
    Tramas.Descarta();
    Respuestas_Rele.clear();
}
