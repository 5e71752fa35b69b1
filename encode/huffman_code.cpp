#include "encode/huffman_code.h"

#include <algorithm>
#include <stdexcept>

#include "encode/lzh_format.h"

namespace lzh {

namespace {

// Every alphabet LZH sends fits; the arrays below live on the stack, since
// blocks are priced thousands of times and allocation showed in the profile.
const size_t MAX_SYMBOLS = 512;
static_assert(LITERAL_COUNT <= MAX_SYMBOLS, "the literal/length alphabet fits");

// The used symbols, which come in symbol order, sorted by frequency and then
// by symbol: a stable radix sort a byte at a time, which passes over the
// bytes every frequency shares. Blocks are priced often enough that a
// comparison sort showed in the profile.
void sortByFrequency(const uint32_t* frequencies, const unsigned* used, size_t count, unsigned* sorted) {
    unsigned spare[MAX_SYMBOLS];
    std::copy(used, used + count, sorted);
    for (unsigned shift = 0; shift < 32; shift += 8) {
        size_t starts[257] = {};
        for (size_t i = 0; i < count; ++i) ++starts[((frequencies[sorted[i]] >> shift) & 0xFF) + 1];
        if (std::find(starts + 1, starts + 257, count) != starts + 257) continue;
        for (size_t b = 1; b < 257; ++b) starts[b] += starts[b - 1];
        for (size_t i = 0; i < count; ++i) spare[starts[(frequencies[sorted[i]] >> shift) & 0xFF]++] = sorted[i];
        std::copy(spare, spare + count, sorted);
    }
}

// Plain Huffman depths by the two-queue method over the used symbols sorted
// by frequency, ties by symbol, so the result never depends on the sort.
void huffmanDepths(const uint32_t* frequencies, const unsigned* used, size_t leafCount, uint8_t* lengths) {
    struct Node {
        uint64_t weight;
        unsigned parent;
    };
    unsigned sorted[MAX_SYMBOLS];
    sortByFrequency(frequencies, used, leafCount, sorted);
    Node nodes[2 * MAX_SYMBOLS];
    for (size_t i = 0; i < leafCount; ++i) nodes[i] = {frequencies[sorted[i]], 0};
    size_t nodeCount = leafCount, nextLeaf = 0, nextInner = leafCount;
    auto takeLightest = [&]() {
        if (nextLeaf < leafCount && (nextInner >= nodeCount || nodes[nextLeaf].weight <= nodes[nextInner].weight))
            return nextLeaf++;
        return nextInner++;
    };
    while (nodeCount < 2 * leafCount - 1) {
        size_t a = takeLightest();
        size_t b = takeLightest();
        nodes[a].parent = nodes[b].parent = static_cast<unsigned>(nodeCount);
        nodes[nodeCount++] = {nodes[a].weight + nodes[b].weight, 0};
    }
    // Parents come after their children, so depths fill from the root down.
    uint8_t depth[2 * MAX_SYMBOLS];
    depth[nodeCount - 1] = 0;
    for (size_t i = nodeCount - 1; i-- > 0;) depth[i] = static_cast<uint8_t>(std::min(255, depth[nodes[i].parent] + 1));
    for (size_t i = 0; i < leafCount; ++i) lengths[sorted[i]] = depth[i];
}

}  // namespace

void huffmanLengths(const uint32_t* frequencies, size_t count, unsigned maxLength, uint8_t* lengths) {
    if (count > MAX_SYMBOLS) throw std::length_error("an alphabet larger than any LZH code");
    unsigned used[MAX_SYMBOLS];
    size_t usedCount = 0;
    for (unsigned symbol = 0; symbol < count; ++symbol) {
        lengths[symbol] = 0;
        if (frequencies[symbol]) used[usedCount++] = symbol;
    }
    if (usedCount < 2) return;
    // Too deep a tree comes from a few very rare symbols; flattening the
    // frequencies until it fits costs next to nothing and keeps the code
    // complete, which the decoder insists on.
    uint32_t scaled[MAX_SYMBOLS];
    std::copy(frequencies, frequencies + count, scaled);
    for (;;) {
        huffmanDepths(scaled, used, usedCount, lengths);
        if (*std::max_element(lengths, lengths + count) <= maxLength) return;
        for (size_t i = 0; i < usedCount; ++i) scaled[used[i]] = (scaled[used[i]] >> 1) | 1;
    }
}

std::vector<uint8_t> huffmanLengths(const std::vector<uint32_t>& frequencies, unsigned maxLength) {
    std::vector<uint8_t> lengths(frequencies.size());
    huffmanLengths(frequencies.data(), frequencies.size(), maxLength, lengths.data());
    return lengths;
}

std::vector<uint16_t> canonicalCodes(const std::vector<uint8_t>& lengths) {
    unsigned count[MAX_CODE_LENGTH + 2] = {};
    for (uint8_t length : lengths) ++count[length];
    count[0] = 0;
    uint32_t next[MAX_CODE_LENGTH + 2] = {};
    for (unsigned length = 1; length <= MAX_CODE_LENGTH; ++length)
        next[length] = (next[length - 1] + count[length - 1]) << 1;
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (size_t symbol = 0; symbol < lengths.size(); ++symbol)
        if (lengths[symbol]) codes[symbol] = static_cast<uint16_t>(next[lengths[symbol]]++);
    return codes;
}

}  // namespace lzh
