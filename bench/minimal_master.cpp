// Bench only: the bare traffic of a whole log download, as a minimal master would make it:
// the size read, the eight set-up records, then every 1024-byte block, each request written
// and its reply read by its expected length with poll(), nothing decoded, no grid, no file.
// The floor the tool's own download is measured against (bench/peer_bench.sh).
// Usage: minimal_master DEVICE BLOCKS

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::uint16_t crc16(const std::uint8_t* p, std::size_t n) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

bool exchange(int fd, std::vector<std::uint8_t> request, std::size_t replyLength) {
    const std::uint16_t crc = crc16(request.data(), request.size());
    request.push_back(crc & 0xFF);
    request.push_back(crc >> 8);
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        return false;
    std::vector<std::uint8_t> reply(replyLength);
    std::size_t got = 0;
    while (got < replyLength) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) return false;
        const ssize_t n = read(fd, reply.data() + got, replyLength - got);
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return crc16(reply.data(), replyLength) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: minimal_master DEVICE BLOCKS\n");
        return 64;
    }
    const int fd = open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) return 2;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B38400);
    tcsetattr(fd, TCSANOW, &t);
    const int blocks = std::atoi(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    bool ok = exchange(fd, {1, 3, 0, 76, 0, 8}, 3 + 16 + 2);
    for (int k = 1; k <= 8 && ok; ++k)
        ok = exchange(fd, {1, 96, 24, static_cast<std::uint8_t>(0x80 + k), 0, 0, 100}, 7 + 200 + 2);
    for (int b = 0; b < blocks && ok; ++b) {
        const int position = b * 1024;
        ok = exchange(fd,
                      {1, 96, static_cast<std::uint8_t>(8 + position / 16384),
                       static_cast<std::uint8_t>(0x80 + (position % 16384) / 256), 0, 2, 0},
                      7 + 1024 + 2);
    }
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("minimal master: %d blocks of 1024 bytes and 9 set-up reads in %.3f s%s\n", blocks,
                took, ok ? "" : " (FAILED)");
    close(fd);
    return ok ? 0 : 1;
}
