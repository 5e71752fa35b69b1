#include "encode/huffman_code.h"

#include <algorithm>

#include "encode/lzh_format.h"

namespace lzh {

namespace {

// Plain Huffman depths by the two-queue method over leaves sorted by
// frequency (ties by symbol, so the result never depends on the sort).
std::vector<uint8_t> huffmanDepths(const std::vector<uint32_t>& frequencies, const std::vector<unsigned>& used) {
    struct Node {
        uint64_t weight;
        int parent;
    };
    std::vector<unsigned> leaves = used;
    std::stable_sort(leaves.begin(), leaves.end(),
                     [&](unsigned a, unsigned b) { return frequencies[a] < frequencies[b]; });
    size_t leafCount = leaves.size();
    std::vector<Node> nodes;
    nodes.reserve(2 * leafCount);
    for (unsigned symbol : leaves) nodes.push_back({frequencies[symbol], -1});
    size_t nextLeaf = 0, nextInner = leafCount;
    auto takeLightest = [&]() {
        if (nextLeaf < leafCount && (nextInner >= nodes.size() || nodes[nextLeaf].weight <= nodes[nextInner].weight))
            return nextLeaf++;
        return nextInner++;
    };
    while (nodes.size() < 2 * leafCount - 1) {
        size_t a = takeLightest();
        size_t b = takeLightest();
        nodes[a].parent = nodes[b].parent = static_cast<int>(nodes.size());
        nodes.push_back({nodes[a].weight + nodes[b].weight, -1});
    }
    // Parents come after their children, so depths fill from the root down.
    std::vector<uint8_t> depth(nodes.size(), 0);
    for (size_t i = nodes.size() - 1; i-- > 0;)
        depth[i] = static_cast<uint8_t>(std::min(255, depth[nodes[i].parent] + 1));
    std::vector<uint8_t> lengths(frequencies.size(), 0);
    for (size_t i = 0; i < leafCount; ++i) lengths[leaves[i]] = depth[i];
    return lengths;
}

}  // namespace

std::vector<uint8_t> huffmanLengths(const std::vector<uint32_t>& frequencies, unsigned maxLength) {
    std::vector<unsigned> used;
    for (unsigned symbol = 0; symbol < frequencies.size(); ++symbol)
        if (frequencies[symbol]) used.push_back(symbol);
    if (used.size() < 2) return std::vector<uint8_t>(frequencies.size(), 0);
    // Too deep a tree comes from a few very rare symbols; flattening the
    // frequencies until it fits costs next to nothing and keeps the code
    // complete, which the decoder insists on.
    std::vector<uint32_t> scaled = frequencies;
    for (;;) {
        std::vector<uint8_t> lengths = huffmanDepths(scaled, used);
        if (*std::max_element(lengths.begin(), lengths.end()) <= maxLength) return lengths;
        for (unsigned symbol : used) scaled[symbol] = (scaled[symbol] >> 1) | 1;
    }
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
