// Moves a linked PE image's headers to the offset the DOS part names and
// shifts its sections to match. GNU ld always writes its own DOS stub with the
// PE header at 0x80 and cannot leave room for ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Returns the image behind dosPart; throws std::runtime_error when the input
// is no PE32 image this step can move safely. The COFF symbol table and
// anything else behind the last section is dropped.
std::vector<uint8_t> moveHeaders(const std::vector<uint8_t>& linked, const std::vector<uint8_t>& dosPart);

// The optional header's CheckSum, as the image loader's algorithm sums it.
void updateChecksum(std::vector<uint8_t>& image);

// The same sum over a file read in pieces: start from 0, add every piece
// (each of even length but the last) with the CheckSum field read as
// zeros, then finish with the file's length.
uint32_t checksumAdd(uint32_t sum, const uint8_t* bytes, size_t size);
uint32_t checksumFinish(uint32_t sum, uint64_t length);

// Where the CheckSum field lies; throws std::runtime_error on no PE32 image.
uint32_t checksumOffset(const std::vector<uint8_t>& image);
