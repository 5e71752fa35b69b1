#include "encode/match_finder.h"

#include <cstring>

namespace lzh {

namespace {

const unsigned HASH_BITS = 16;
const unsigned CHAIN_BYTES = 4;

// Eight bytes at a time; the first differing byte is the lowest set byte of
// the XOR on a little-endian host.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the match length reads words little-endian");
unsigned matchLength(const uint8_t* there, const uint8_t* here, unsigned maxLength) {
    unsigned length = 0;
    for (; length + 8 <= maxLength; length += 8) {
        uint64_t a, b;
        std::memcpy(&a, there + length, 8);
        std::memcpy(&b, here + length, 8);
        if (a != b) return length + static_cast<unsigned>(__builtin_ctzll(a ^ b)) / 8;
    }
    while (length < maxLength && there[length] == here[length]) ++length;
    return length;
}

}  // namespace

MatchFinder::MatchFinder(const Method& method, unsigned maxChain, unsigned niceLength)
    : maxDistance_(maxDistance(method)),
      chainMask_(method.dictionarySize() - 1),
      maxChain_(maxChain),
      niceLength_(niceLength),
      head_(1u << HASH_BITS, 0),
      latestThree_(1u << HASH_BITS, 0),
      previous_(method.dictionarySize(), 0) {}

void MatchFinder::setWindow(const uint8_t* bytes, uint64_t base, uint64_t end) {
    bytes_ = bytes;
    base_ = base;
    end_ = end;
}

uint32_t MatchFinder::hashOfThree(uint64_t pos) const {
    const uint8_t* p = bytes_ + (pos - base_);
    uint32_t three = p[0] | (p[1] << 8) | (p[2] << 16);
    return (three * 2654435761u) >> (32 - HASH_BITS);
}

uint32_t MatchFinder::hashOfFour(uint64_t pos) const {
    uint32_t four;
    std::memcpy(&four, bytes_ + (pos - base_), 4);
    return (four * 2246822519u) >> (32 - HASH_BITS);
}

void MatchFinder::insert(uint64_t pos) {
    if (pos + MIN_COPY_LENGTH > end_) return;
    latestThree_[hashOfThree(pos)] = static_cast<uint32_t>(pos + 1);
    if (pos + CHAIN_BYTES > end_) return;
    uint32_t hash = hashOfFour(pos);
    previous_[pos & chainMask_] = head_[hash];
    head_[hash] = static_cast<uint32_t>(pos + 1);
}

// The latest position whose three bytes hash alike is the nearest that can
// give a three-byte match; longer ones come from the chain of four-byte
// hashes, whose candidates mostly share four bytes, so the chain's budget is
// not spent on the many that share only three.
// A slot of the chain is reused once its position lies a whole dictionary
// back, which is past the largest distance; the walk stops before reaching
// one, and also at any link that does not lead further back.
unsigned MatchFinder::find(uint64_t pos, unsigned maxLength, std::vector<Match>& out) {
    if (maxLength < MIN_COPY_LENGTH || pos + MIN_COPY_LENGTH > end_) return 0;
    const uint8_t* here = bytes_ + (pos - base_);
    uint64_t oldest = pos > maxDistance_ ? pos - maxDistance_ : 0;
    unsigned best = MIN_COPY_LENGTH - 1;
    auto found = [&](unsigned length, uint32_t distance) {
        best = length;
        out.push_back({static_cast<uint16_t>(length), static_cast<uint16_t>(distance)});
    };
    uint32_t latest = latestThree_[hashOfThree(pos)];
    if (latest != 0 && latest - 1 >= oldest && latest - 1 < pos) {
        unsigned length = matchLength(bytes_ + (latest - 1 - base_), here, maxLength);
        if (length >= MIN_COPY_LENGTH) {
            found(length, static_cast<uint32_t>(pos - (latest - 1)));
            if (length >= niceLength_ || length == maxLength) return length;
        }
    }
    if (pos + CHAIN_BYTES > end_ || maxLength < CHAIN_BYTES) return best >= MIN_COPY_LENGTH ? best : 0;
    uint32_t link = head_[hashOfFour(pos)];
    for (unsigned chain = maxChain_; link != 0 && chain > 0; --chain) {
        uint64_t candidate = link - 1;
        if (candidate < oldest || candidate >= pos) break;
        const uint8_t* there = bytes_ + (candidate - base_);
        if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
            unsigned length = matchLength(there, here, maxLength);
            if (length > best) {
                found(length, static_cast<uint32_t>(pos - candidate));
                if (length >= niceLength_ || length == maxLength) break;
            }
        }
        uint32_t next = previous_[candidate & chainMask_];
        if (next >= link) break;
        link = next;
    }
    return best >= MIN_COPY_LENGTH ? best : 0;
}

}  // namespace lzh
