// Moves a linked PE image's headers to the offset the DOS part names and
// shifts its sections to match. GNU ld always writes its own DOS stub with the
// PE header at 0x80 and cannot leave room for ours.
#pragma once

#include <cstdint>
#include <vector>

// Returns the image behind dosPart; throws std::runtime_error when the input
// is no PE32 image this step can move safely. The COFF symbol table and
// anything else behind the last section is dropped.
std::vector<uint8_t> moveHeaders(const std::vector<uint8_t>& linked, const std::vector<uint8_t>& dosPart);

// The optional header's CheckSum, as the image loader's algorithm sums it.
void updateChecksum(std::vector<uint8_t>& image);
