// CRC-16 of LZH: reflected, polynomial 0xA001, initial value 0, no final XOR.
#pragma once

#include <stdint.h>

const uint16_t CRC16_POLYNOMIAL = 0xA001;

// The table, the same advanced over 1 to 7 more zero bytes (so that eight
// bytes cost eight independent look-ups instead of a chain of eight), and the
// running value.
struct Crc16 {
    uint16_t table[256];
    uint16_t slices[7][256];
    uint16_t value;
};

void buildCrcTable(Crc16* crc, uint16_t polynomial);
// Feeds the bytes into crc->value and returns it.
uint16_t crcFeed(Crc16* crc, const unsigned char* bytes, int32_t length);

// The same over a table and a register of the caller's, for the host tools.
void fillCrcTable(uint16_t* table, uint16_t polynomial);
uint16_t crcUpdate(const uint16_t* table, uint16_t crc, const unsigned char* bytes, uint32_t length);
