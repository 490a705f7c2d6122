#pragma once
// Request frames and the instrument's answers as they go on the line, byte for byte. The tool's
// tests check that it builds these requests and accepts these replies; the simulator's tests
// check that it answers these requests with these replies.

namespace tavrel::test {

struct GoldenFrame {
    const char* name;
    const char* request;  // hex
    const char* reply;    // hex, the well-formed answer (empty: the request only)
};

inline constexpr GoldenFrame kGoldenFrames[] = {
    {"read display line 1", "01 03 00 18 00 0A 45 CA", ""},
    {"read display line 2", "01 03 00 22 00 0A 65 C7", ""},
    {"read display line 3", "01 03 00 2C 00 0A 04 04", ""},
    {"read display line 4", "01 03 00 36 00 0A 25 C3", ""},
    {"read size registers", "01 03 00 4C 00 08 85 DB", ""},
    {"write key 1", "01 10 00 D1 00 01 02 31 FF E1 C1", "01 10 00 D1 00 01 51 F0"},
    {"set-up record channel 1", "01 60 18 81 00 00 64 0B B5", ""},
};

}  // namespace tavrel::test
