#include "decode/huffman_table.h"

#include "decode/bit_input.h"
#include "decode/decoder_state.h"

int markBadTable(DecoderState* d) {
    failDecoding(d, DECODE_BAD_TABLE);
    return 0;
}

// Codes up to tableBits long fill ranges of the table directly. A longer code
// starts at a table entry that roots a small tree in leftChild/rightChild, one
// link per further bit. Nodes are numbered from symbolCount upwards, so any
// value below symbolCount is a symbol; a complete code of n symbols needs at
// most n - 1 nodes, which keeps the 510-symbol tree within TREE_LINKS. Only
// complete codes are accepted, or no code at all, which leaves the table as
// it was (a block that never reads that alphabet).
int buildDecodeTable(DecoderState* d, uint16_t symbolCount, const unsigned char* lengths, uint16_t tableBits,
                     uint16_t* table) {
    uint32_t count[MAX_CODE_LENGTH + 1] = {0};
    for (unsigned s = 0; s < symbolCount; ++s) {
        if (lengths[s] > MAX_CODE_LENGTH) return markBadTable(d);
        ++count[lengths[s]];
    }
    uint32_t start[MAX_CODE_LENGTH + 2];
    start[1] = 0;
    for (unsigned length = 1; length <= MAX_CODE_LENGTH; ++length)
        start[length + 1] = start[length] + (count[length] << (MAX_CODE_LENGTH - length));
    if (start[MAX_CODE_LENGTH + 1] != 0x10000 && start[MAX_CODE_LENGTH + 1] != 0) return markBadTable(d);

    // Short codes count in table entries, long ones keep 16-bit code values.
    unsigned shift = MAX_CODE_LENGTH - tableBits;
    uint32_t weight[MAX_CODE_LENGTH + 1];
    for (unsigned length = 1; length <= tableBits; ++length) {
        start[length] >>= shift;
        weight[length] = 1u << (tableBits - length);
    }
    for (unsigned length = tableBits + 1; length <= MAX_CODE_LENGTH; ++length)
        weight[length] = 1u << (MAX_CODE_LENGTH - length);

    uint32_t firstRoot = (start[tableBits + 1] & 0xFFFF) >> shift;
    if (firstRoot != 0)
        for (uint32_t i = firstRoot; i < (1u << tableBits); ++i) table[i] = 0;

    uint16_t nextNode = symbolCount;
    uint32_t bitMask = 1u << (15 - tableBits);
    for (uint16_t s = 0; s < symbolCount; ++s) {
        unsigned length = lengths[s];
        if (length == 0) continue;
        uint32_t next = start[length] + weight[length];
        if (length <= tableBits) {
            for (uint32_t i = start[length]; i < next; ++i) table[i] = s;
        } else {
            uint32_t code = start[length];
            uint16_t* link = &table[code >> shift];
            for (unsigned depth = tableBits; depth < length; ++depth) {
                if (*link == 0) {
                    d->leftChild[nextNode] = 0;
                    d->rightChild[nextNode] = 0;
                    *link = nextNode++;
                }
                link = (code & bitMask) ? &d->rightChild[*link] : &d->leftChild[*link];
                code <<= 1;
            }
            *link = s;
        }
        start[length] = next;
    }
    return 1;
}

// The walk below the table index is bounded by the longest code: a table left
// over from an earlier block (one whose lengths were all zero) may lead
// anywhere in the links, and must end in "Bad table" rather than loop. The
// symbol handed back then is 0, a harmless literal until the decoder stops.
uint16_t walkCodeTree(DecoderState* d, uint16_t node, uint16_t lookAhead, uint16_t tableBits, uint16_t symbolCount) {
    uint32_t bitMask = 1u << (15 - tableBits);
    for (unsigned depth = tableBits; node >= symbolCount; ++depth) {
        if (depth == MAX_CODE_LENGTH) {
            markBadTable(d);
            return 0;
        }
        node = (lookAhead & bitMask) ? d->rightChild[node] : d->leftChild[node];
        bitMask >>= 1;
    }
    return node;
}

uint16_t readCode(DecoderState* d, const uint16_t* table, uint16_t tableBits, uint16_t symbolCount,
                  const unsigned char* lengths) {
    uint16_t s = table[d->bitBuffer >> (MAX_CODE_LENGTH - tableBits)];
    if (s >= symbolCount) s = walkCodeTree(d, s, d->bitBuffer, tableBits, symbolCount);
    shiftInBits(d, lengths[s]);
    return s;
}
