#include "decode/crc16.h"

#include "common/run_state.h"

void buildCrcTable(uint16_t polynomial) {
    for (uint32_t i = 0; i < 256; ++i) {
        uint16_t v = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ polynomial) : static_cast<uint16_t>(v >> 1);
        run->crcTable[i] = v;
    }
}

uint16_t crcFeed(const unsigned char* bytes, int32_t length) {
    uint16_t crc = run->crc;
    const uint16_t* table = run->crcTable;
    for (int32_t i = 0; i < length; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    run->crc = crc;
    return crc;
}
