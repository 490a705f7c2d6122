/* Bench only: libmodbus, a generic C Modbus master, reading 10 holding registers at 24 with
 * function 3 as fast as it can for a number of seconds on the given device. The tool's own
 * rate is measured the same way by link_bench; bench/peer_bench.sh prints the two side by side.
 * Usage: modbus_peer DEVICE SECONDS */
#include <modbus.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char* argv[]) {
    if (argc < 3) {
        fprintf(stderr, "usage: modbus_peer DEVICE SECONDS\n");
        return 64;
    }
    modbus_t* ctx = modbus_new_rtu(argv[1], 38400, 'N', 8, 1);
    if (ctx == NULL || modbus_set_slave(ctx, 1) != 0 || modbus_connect(ctx) != 0) {
        fprintf(stderr, "modbus_peer: cannot open %s\n", argv[1]);
        return 2;
    }
    const double seconds = atof(argv[2]);
    uint16_t regs[10];
    long reads = 0;
    long failures = 0;
    const double start = now();
    while (now() - start < seconds) {
        if (modbus_read_registers(ctx, 24, 10, regs) == 10) {
            ++reads;
        } else {
            ++failures;
        }
    }
    const double took = now() - start;
    printf("libmodbus %s: function 3, 10 registers: %.0f reads/s (%ld failed)\n",
           LIBMODBUS_VERSION_STRING, reads / took, failures);
    modbus_close(ctx);
    modbus_free(ctx);
    return failures > reads / 100 ? 1 : 0;
}
