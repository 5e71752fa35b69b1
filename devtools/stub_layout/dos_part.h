// The first 0x4D0 bytes of the stub: the DOS header with the builder's
// marker, the room for the settings block, and the DOS program.
#pragma once

#include <cstdint>
#include <vector>

#include "common/formats.h"

constexpr uint32_t PE_HEADER_OFFSET = 0x4D0;

std::vector<uint8_t> makeDosPart();
