// CRC-16 of LZH: reflected, polynomial 0xA001, initial value 0, no final XOR.
#pragma once

#include <stdint.h>

const uint16_t CRC16_POLYNOMIAL = 0xA001;

void buildCrcTable(uint16_t polynomial);
uint16_t crcFeed(const unsigned char* bytes, int32_t length);

// The same over a table and a register of the caller's, for the host tools.
void fillCrcTable(uint16_t* table, uint16_t polynomial);
uint16_t crcUpdate(const uint16_t* table, uint16_t crc, const unsigned char* bytes, uint32_t length);
