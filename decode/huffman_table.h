// Canonical Huffman codes: a lookup table for the short codes and a tree in
// the shared link arrays for the longer ones.
#pragma once

#include "decode/decoder_state.h"

// 0 after a bad table, kept as the decoding's failure; the table is then
// left as it was.
int buildDecodeTable(DecoderState* d, uint16_t symbolCount, const unsigned char* lengths, uint16_t tableBits,
                     uint16_t* table);
// The symbol at the end of the tree below a table entry that is a node,
// following the look-ahead's bits just below the table index.
uint16_t walkCodeTree(DecoderState* d, uint16_t node, uint16_t lookAhead, uint16_t tableBits, uint16_t symbolCount);
uint16_t readCode(DecoderState* d, const uint16_t* table, uint16_t tableBits, uint16_t symbolCount,
                  const unsigned char* lengths);
int markBadTable(DecoderState* d);
