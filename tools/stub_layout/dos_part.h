// The first 0x4D0 bytes of the stub: the DOS header with the builder's
// marker, the room for the settings block, and the DOS program.
#pragma once

#include <cstdint>
#include <vector>

constexpr uint32_t PE_HEADER_OFFSET = 0x4D0;
// The builder's marker in the DOS header's reserved words; velkar-build
// knows a Velkar stub by it.
constexpr char STUB_MARKER[] = "Orv's SFX ";
constexpr uint32_t STUB_MARKER_SIZE = sizeof(STUB_MARKER) - 1;
constexpr uint32_t STUB_MARKER_OFFSET = 0x24;

std::vector<uint8_t> makeDosPart();
