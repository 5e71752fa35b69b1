// Canonical Huffman codes: a lookup table for the short codes and a tree in
// the shared link arrays for the longer ones.
#pragma once

#include <stdint.h>

const unsigned MAX_CODE_LENGTH = 16;

void buildDecodeTable(uint16_t symbolCount, const unsigned char* lengths, uint16_t tableBits, uint16_t* table);
uint16_t readCode(const uint16_t* table, uint16_t tableBits, uint16_t symbolCount, const unsigned char* lengths);
[[noreturn]] void reportBadTable();
