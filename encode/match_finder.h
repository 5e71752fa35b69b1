// Earlier occurrences of the bytes at a position, found through hash chains
// over the last dictionary's worth of input.
#pragma once

#include <cstdint>
#include <vector>

#include "encode/lzh_format.h"

namespace lzh {

struct Match {
    uint16_t length;
    uint16_t distance;  // 1 to the method's largest distance
};

class MatchFinder {
public:
    // maxChain bounds the candidates looked at per position; a match of
    // niceLength or more ends the search.
    MatchFinder(const Method& method, unsigned maxChain, unsigned niceLength);

    // The input held in memory: bytes[0] is the input's byte at `base`, and
    // the bytes run up to (not including) the input position `end`.
    void setWindow(const uint8_t* bytes, uint64_t base, uint64_t end);

    // Appends the matches at pos whose lengths grow strictly, each at the
    // nearest distance that gives its length, and returns the longest length
    // (0 when there is no match of MIN_COPY_LENGTH bytes). No match runs past
    // pos + maxLength.
    unsigned find(uint64_t pos, unsigned maxLength, std::vector<Match>& out);

    // Every position must be inserted once, in order, after its own search.
    void insert(uint64_t pos);

private:
    uint32_t hashOfThree(uint64_t pos) const;
    uint32_t hashOfFour(uint64_t pos) const;

    uint32_t maxDistance_;
    uint32_t chainMask_;
    unsigned maxChain_;
    unsigned niceLength_;
    const uint8_t* bytes_ = nullptr;
    uint64_t base_ = 0;
    uint64_t end_ = 0;
    // Input positions plus one, so that 0 marks an empty slot.
    std::vector<uint32_t> head_;         // of the chains, by four bytes' hash
    std::vector<uint32_t> latestThree_;  // by three bytes' hash
    std::vector<uint32_t> previous_;
};

}  // namespace lzh
