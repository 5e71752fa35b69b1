// The block decoder's state: the input buffer and bit input, the window, the
// current block's codes and the member's counts. Whoever decodes owns one and
// hands it to every step; the decoder keeps nothing of its own elsewhere.
#pragma once

#include <stdint.h>

#include "common/formats.h"
#include "decode/crc16.h"
#include "platform/platform.h"

const uint32_t INPUT_BUFFER_SIZE = 16384;
const uint32_t WINDOW_SIZE = MAX_DICTIONARY_SIZE;
const uint32_t TREE_LINKS = 2 * LITERAL_COUNT - 1;
const uint32_t SYMBOL_TABLE_BITS = 12;
const uint32_t SMALL_TABLE_BITS = 8;

// Why a decoding stopped before its member's end. The decoders and the
// output sink set it once and go on only to the next block or window
// boundary, where they stop; the caller reports it.
enum DecodeFailure {
    DECODE_OK,
    DECODE_READ_FAILED,   // the archive could not be read
    DECODE_WRITE_FAILED,  // the output file took fewer bytes than given
    DECODE_BAD_TABLE,     // a Huffman code that no valid member holds
    DECODE_CANCELLED,     // the progress hook asked to stop
};

// Told the bytes written of the member and its size after each full window;
// returns 0 when the decoding is to stop (Cancel).
typedef int (*ProgressHook)(uint32_t done, uint32_t total);

struct DecoderState {
    // Set by the caller for each member.
    FileHandle input;   // the archive, placed at the member's packed data
    FileHandle output;  // the member's file; INVALID_FILE decodes into memoryText
    char* memoryText;   // the memory sink's text, or 0 to drop the bytes
    uint32_t memoryTextSize;
    ProgressHook progress;  // told after each full window of a file; 0 for none
    DecodeFailure failure;

    // CRC-16 of the bytes written.
    Crc16 crc;

    // Archive input and bit input.
    unsigned char inputBuffer[INPUT_BUFFER_SIZE];
    uint32_t inputPos;          // next byte of inputBuffer; INPUT_BUFFER_SIZE or more asks for a refill
    uint32_t packedLeft;        // packed bytes of the member not yet read from the file
    uint16_t bitBuffer;         // the next 16 bits of the packed data
    unsigned char pendingByte;  // the rest of the last byte read, left-aligned
    unsigned char pendingBitCount;
    unsigned char bytesPastEnd;  // zero bytes fed since the packed data ran out

    // The window, which is never cleared between members, and the codes of
    // the current block.
    unsigned char window[WINDOW_SIZE];
    uint32_t windowPos;          // next byte to fill; the window goes out when it is full
    uint32_t targetSize;         // the member's unpacked size
    uint32_t producedCount;      // bytes decoded so far, the copy in progress included
    uint16_t blockSymbolsLeft;   // symbols left in the block; 0 reads the next block header
    uint16_t positionCodeCount;  // the method's position alphabet
    uint16_t positionCountBits;
    uint32_t blockReach;             // how far back the block's copies can reach, for the fast loop
    uint16_t leftChild[TREE_LINKS];  // tree links of codes longer than the tables
    uint16_t rightChild[TREE_LINKS];
    uint16_t symbolTable[1 << SYMBOL_TABLE_BITS];
    // symbolTable with lengths, literal pairs and copies' positions, for the fast loop
    uint32_t symbolCodes[1 << SYMBOL_TABLE_BITS];
    uint16_t smallTable[1 << SMALL_TABLE_BITS];     // the code-length code, then the position code
    uint16_t positionCodes[1 << SMALL_TABLE_BITS];  // the position code's smallTable with lengths, for the fast loop
    unsigned char symbolLengths[LITERAL_COUNT];
    unsigned char smallLengths[128];
};

// The decoding's sticky failure: the first one stays, since what follows it
// is only the consequence of the data already being wrong.
inline void failDecoding(DecoderState* d, DecodeFailure failure) {
    if (d->failure == DECODE_OK) d->failure = failure;
}
