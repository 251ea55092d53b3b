// Times each register read of a program built on libmodbus (mbpoll) without
// changing the program: loaded with LD_PRELOAD, it takes the place of
// modbus_read_input_registers, calls the library's own and appends to the file
// named by KV73_TIEMPOS one line a call: the microseconds from the call (the
// request is about to be written) to its return (the reply read and its CRC
// checked), then what the call returned (the number of registers, or -1).
// Those are the bounds kv73ctl's latency_us has around its own poll.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>

struct _modbus;

namespace {

using Lectura = int (*)(_modbus *, int, int, uint16_t *);

int64_t Ahora_ns() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

} // namespace

extern "C" int modbus_read_input_registers(_modbus *ctx, int direccion, int cuantos,
                                           uint16_t *destino) {
    static const auto original =
        reinterpret_cast<Lectura>(dlsym(RTLD_NEXT, "modbus_read_input_registers"));
    static FILE *const salida = [] {
        const char *ruta = std::getenv("KV73_TIEMPOS");
        return ruta ? std::fopen(ruta, "a") : nullptr;
    }();
    const int64_t antes = Ahora_ns();
    const int leidos = original(ctx, direccion, cuantos, destino);
    const int64_t despues = Ahora_ns();
    if (salida) {
        std::fprintf(salida, "%lld %d\n", static_cast<long long>((despues - antes) / 1000), leidos);
        std::fflush(salida);
    }
    return leidos;
}
