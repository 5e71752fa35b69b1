#include "decode/crc16.h"

#include "common/run_state.h"

void fillCrcTable(uint16_t* table, uint16_t polynomial) {
    for (uint32_t i = 0; i < 256; ++i) {
        uint16_t v = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ polynomial) : static_cast<uint16_t>(v >> 1);
        table[i] = v;
    }
}

uint16_t crcUpdate(const uint16_t* table, uint16_t crc, const unsigned char* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

void buildCrcTable(uint16_t polynomial) { fillCrcTable(run->crcTable, polynomial); }

uint16_t crcFeed(const unsigned char* bytes, int32_t length) {
    if (length > 0) run->crc = crcUpdate(run->crcTable, run->crc, bytes, static_cast<uint32_t>(length));
    return run->crc;
}
