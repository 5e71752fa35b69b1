#include "support/packed_writer.h"

// A length of 7 or more goes out as 7, one 1 bit per further step and a 0.
void putSmallLengths(BitWriter& bits, const std::vector<int>& lengths, unsigned countBits, int zeroRunIndex) {
    size_t n = lengths.size();
    bits.put(static_cast<uint32_t>(n), countBits);
    for (size_t i = 0; i < n;) {
        int length = lengths[i++];
        if (length < 7) {
            bits.put(length, 3);
        } else {
            bits.put(7, 3);
            bits.put(((1u << (length - 7)) - 1) << 1, length - 6);
        }
        if (int(i) == zeroRunIndex) {
            unsigned zeros = 0;
            while (zeros < 3 && i < n && lengths[i] == 0) ++zeros, ++i;
            bits.put(zeros, 2);
        }
    }
}

unsigned countBitsOf(char method) { return method <= '5' ? 4 : 5; }

// A complete code with lengths of 1 to 16 spread at random: leaves of a
// random tree, made by splitting a random leaf until there are enough, then
// shuffled over the symbols.
std::vector<int> randomCompleteCode(size_t count, std::mt19937& random) {
    std::vector<int> leaves = {0};
    while (leaves.size() < count) {
        size_t i = random() % leaves.size();
        if (leaves[i] == 16) continue;
        ++leaves[i];
        leaves.push_back(leaves[i]);
    }
    std::shuffle(leaves.begin(), leaves.end(), random);
    return leaves;
}

// Blocks of random literals and copies: short and long, from one byte back
// to the method's farthest, across the window's end, in codes whose lengths
// reach 16, so that every kind of step of the fast loop (pieces of 8 or 4,
// byte by byte, a run of one byte, a source wrapping around the window,
// codes found through the tree) meets the plain decoding.
// Eight literals of 4 bits, so that most pairs of them fit one table index,
// ten symbols of 9 bits and the rest of 10: a complete code.
static std::vector<int> shortLiteralCode(std::mt19937& random) {
    std::vector<int> lengths(510, 10);
    for (int i = 0; i < 10; ++i) lengths[256 + random() % 254] = 9;
    int placed = 0;
    while (placed < 8) {
        int c = static_cast<int>(random() % 256);
        if (lengths[c] == 10) {
            lengths[c] = 4;
            ++placed;
        }
    }
    int nines = static_cast<int>(std::count(lengths.begin(), lengths.end(), 9));
    for (int i = 0; nines < 10; ++i)
        if (lengths[i] == 10) lengths[i] = 9, ++nines;
    return lengths;
}

std::string randomStream(char method, uint32_t* unpackedSize, std::mt19937& random, bool shortLiterals) {
    unsigned positionCount = method <= '5' ? 14 : 17;
    uint32_t farthest = method == '4' ? 4096 : method == '5' ? 8192 : method == '6' ? 32768 : 65536;
    PackedWriter writer(countBitsOf(method));
    uint32_t produced = 0;
    while (produced < *unpackedSize) {
        uint32_t symbols = 1 + random() % 20000;
        std::vector<int> code = shortLiterals ? shortLiteralCode(random) : randomCompleteCode(510, random);
        std::vector<int> frequent;
        for (int c = 0; c < 256; ++c)
            if (code[c] == 4) frequent.push_back(c);
        // Some -lh7- blocks leave out the farthest position, so that their
        // copies reach back half a window at most.
        bool near = method == '7' && random() % 3 == 0;
        std::vector<int> positions = randomCompleteCode(positionCount - (near ? 1 : 0), random);
        if (near) positions.push_back(0);
        uint32_t reach = near ? farthest / 2 : farthest;
        writer.block(symbols, code, positions);
        for (uint32_t i = 0; i < symbols; ++i) {
            if (random() % (shortLiterals ? 8 : 3)) {
                bool often = shortLiterals && random() % 8 != 0;
                writer.literal(often ? frequent[random() % frequent.size()] : static_cast<int>(random() % 256));
                ++produced;
                continue;
            }
            int length = random() % 4 ? 3 + static_cast<int>(random() % 14) : 3 + static_cast<int>(random() % 254);
            uint32_t pick = random() % 4;
            uint32_t distance = pick == 0   ? 1 + random() % 9
                                : pick == 1 ? reach - random() % 300
                                            : 1 + random() % reach;
            writer.copy(length, std::min(distance, reach) - 1);
            produced += static_cast<uint32_t>(length);
        }
    }
    *unpackedSize = produced;
    return writer.bits.bytes();
}
