// The plain decoding of a compressed member, which the fast one must match
// byte for byte, failure for failure.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "decode/decoder_state.h"

// What the decoder is told of a member besides its data.
struct PackedMember {
    unsigned char method;
    uint32_t packedSize;
    uint32_t unpackedSize;
};

typedef void (*MemberDecoder)(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize);

// Decodes the member as decodeMember does, but one symbol at a time through
// the decoder's careful steps, every copy byte by byte.
void decodeMemberPlainly(DecoderState* d, unsigned char method, uint32_t packedSize, uint32_t unpackedSize);

inline void decodePacked(DecoderState* d, MemberDecoder decode, const PackedMember& member) {
    decode(d, member.method, member.packedSize, member.unpackedSize);
}

// Everything a decoding leaves that anyone can see: the CRC of what was
// written, each progress report, the window (the history of the next
// member), the decoder's counts and bit input, and where the archive file
// stands for the next header.
struct DecodingOutcome {
    DecodeFailure failure;
    uint16_t crc;
    std::vector<std::pair<uint32_t, uint32_t>> progress;
    std::string window;
    std::vector<uint32_t> fields;
    int32_t filePosition;

    bool operator==(const DecodingOutcome& other) const;
};

// Runs decode on the member, whose data d->input is placed at, recording
// its progress.
DecodingOutcome recordDecoding(DecoderState* d, MemberDecoder decode, const PackedMember& member);
