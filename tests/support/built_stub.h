// The velkar.exe that the windows preset builds, for the tests that check the
// linked file itself.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

const char* const STUB_PATH = VELKAR_STUB;

// Empty when the stub has not been built.
inline std::vector<uint8_t> readBuiltStub() {
    std::ifstream in(STUB_PATH, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
