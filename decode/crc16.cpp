#include "decode/crc16.h"

void fillCrcTable(uint16_t* table, uint16_t polynomial) {
    for (uint32_t i = 0; i < 256; ++i) {
        uint16_t v = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ polynomial) : static_cast<uint16_t>(v >> 1);
        table[i] = v;
    }
}

uint16_t crcUpdate(const uint16_t* table, uint16_t crc, const unsigned char* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Slice k gives a byte's share of the register k + 1 bytes further on.
void buildCrcTable(Crc16* crc, uint16_t polynomial) {
    fillCrcTable(crc->table, polynomial);
    const uint16_t* previous = crc->table;
    for (unsigned k = 0; k < 7; ++k) {
        for (uint32_t i = 0; i < 256; ++i)
            crc->slices[k][i] = static_cast<uint16_t>((previous[i] >> 8) ^ crc->table[previous[i] & 0xFF]);
        previous = crc->slices[k];
    }
}

// Eight bytes at a time: the register meets the first two, and every byte's
// share of the result comes from the table for the bytes still to follow it,
// so the eight look-ups do not wait on one another.
uint16_t crcFeed(Crc16* state, const unsigned char* bytes, int32_t length) {
    uint16_t crc = state->value;
    const uint16_t* table = state->table;
    const uint16_t(*slice)[256] = state->slices;
    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const unsigned char* b = bytes + i;
        unsigned first = crc ^ (b[0] | (b[1] << 8));
        crc = static_cast<uint16_t>(slice[6][first & 0xFF] ^ slice[5][first >> 8] ^ slice[4][b[2]] ^ slice[3][b[3]] ^
                                    slice[2][b[4]] ^ slice[1][b[5]] ^ slice[0][b[6]] ^ table[b[7]]);
    }
    if (i < length) crc = crcUpdate(table, crc, bytes + i, static_cast<uint32_t>(length - i));
    state->value = crc;
    return crc;
}
