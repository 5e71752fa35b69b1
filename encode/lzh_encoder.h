// Packs a byte stream as -lh5-, -lh6- or -lh7- data that the stub's decoder
// (and every LZH reader) unpacks. Memory stays bounded whatever the input's
// size: the input streams through a window of one dictionary plus a segment.
// The same input always gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "encode/lzh_format.h"

namespace lzh {

// Both take the cheapest path by bit cost through the matches found; the
// best effort looks much further along the hash chains, prices each path by
// a first one, weighs twice as many block ends and prices its last path block
// by block.
enum class Effort {
    normal,
    best,
};

// Fills at most the given count of bytes and returns how many; 0 at the end.
using ByteReader = std::function<size_t(uint8_t*, size_t)>;
// Takes the next packed bytes, with the count of input bytes they and the
// bytes before them stand for; false stops the packing (the caller has seen
// enough, for example more bytes than the input had).
using ByteWriter = std::function<bool(const uint8_t*, size_t, uint64_t)>;

struct EncodeResult {
    uint64_t inputBytes = 0;
    uint64_t packedBytes = 0;
    bool stopped = false;  // the writer asked to stop
};

EncodeResult encodeStream(const Method& method, Effort effort, const ByteReader& read, const ByteWriter& write);

std::vector<uint8_t> encodeBytes(const Method& method, Effort effort, const uint8_t* data, size_t size);

}  // namespace lzh
