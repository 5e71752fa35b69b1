#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "decode/huffman_table.h"
#include "support/bit_writer.h"
#include "support/test_support.h"

namespace {

const uint16_t UNTOUCHED = 0xEEEE;

// Lengths from (count, length) pairs, symbols handed out in order.
std::vector<unsigned char> lengthsOf(const std::vector<std::pair<int, int>>& groups) {
    std::vector<unsigned char> lengths;
    for (const auto& [count, length] : groups) lengths.insert(lengths.end(), count, static_cast<unsigned char>(length));
    return lengths;
}

class HuffmanTableTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        std::strcpy(run->selfPath, "C:\\dl\\setup.exe");
        std::fill(std::begin(d->leftChild), std::end(d->leftChild), UNTOUCHED);
        std::fill(std::begin(d->rightChild), std::end(d->rightChild), UNTOUCHED);
    }

    // Every code, with ones behind it that it must not consume, reads back
    // as its symbol and consumes exactly its length.
    void expectEveryCodeReadsBack(const std::vector<unsigned char>& lengths, uint16_t tableBits,
                                  const uint16_t* table) {
        std::vector<int> asInts(lengths.begin(), lengths.end());
        std::vector<uint32_t> codes = canonicalCodes(asInts);
        uint16_t count = static_cast<uint16_t>(lengths.size());
        for (uint16_t s = 0; s < count; ++s) {
            unsigned length = lengths[s];
            if (length == 0) continue;
            d->bitBuffer = static_cast<uint16_t>((codes[s] << (16 - length)) | ((1u << (16 - length)) - 1));
            d->packedLeft = 0;
            d->pendingBitCount = 0;
            ASSERT_EQ(readCode(d, table, tableBits, count, lengths.data()), s);
            ASSERT_EQ(d->bitBuffer, static_cast<uint16_t>(0xFFFF << length)) << s;
        }
    }

    // Tree nodes are the link entries the build wrote.
    std::pair<int, int> nodeRange() const {
        int first = -1, last = -1;
        for (int i = 0; i < int(TREE_LINKS); ++i) {
            if (d->leftChild[i] == UNTOUCHED && d->rightChild[i] == UNTOUCHED) continue;
            if (first < 0) first = i;
            last = i;
        }
        return {first, last};
    }

    // A refused table is kept as the decoding's failure and leaves the
    // table as it was.
    void expectBadTable(uint16_t count, const std::vector<unsigned char>& lengths) {
        d->failure = DECODE_OK;
        std::fill(std::begin(d->smallTable), std::end(d->smallTable), UNTOUCHED);
        EXPECT_EQ(buildDecodeTable(d, count, lengths.data(), 8, d->smallTable), 0);
        EXPECT_EQ(d->failure, DECODE_BAD_TABLE);
        for (uint16_t entry : d->smallTable) ASSERT_EQ(entry, UNTOUCHED);
    }
};

TEST_F(HuffmanTableTest, TwoCodesOfOneBitSplitTheTable) {
    std::vector<unsigned char> lengths(19, 0);
    lengths[4] = 1;
    lengths[11] = 1;
    buildDecodeTable(d, 19, lengths.data(), 8, d->smallTable);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(d->smallTable[i], i < 128 ? 4 : 11) << i;
    EXPECT_EQ(nodeRange(), std::make_pair(-1, -1));
}

TEST_F(HuffmanTableTest, CompleteCodesReadBackWithTreesAboveTheSymbols) {
    struct Case {
        const char* name;
        uint16_t tableBits;
        std::vector<unsigned char> lengths;
        std::pair<int, int> nodes;  // first and last node built, -1 for none
    } cases[] = {
        {"short codes only", 8, lengthsOf({{1, 3}, {1, 0}, {1, 1}, {2, 4}, {1, 2}}), {-1, -1}},
        {"position code up to 16 bits",
         8,
         lengthsOf({{1, 1},
                    {1, 2},
                    {1, 3},
                    {1, 4},
                    {1, 5},
                    {1, 6},
                    {1, 7},
                    {1, 8},
                    {1, 9},
                    {1, 10},
                    {1, 11},
                    {1, 12},
                    {1, 13},
                    {1, 14},
                    {1, 15},
                    {2, 16}}),
         {17, 24}},
        // Long codes on the lowest symbols: canonical order is by length.
        {"literal code with 13 to 16 bits",
         12,
         lengthsOf({{16, 16}, {8, 15}, {4, 14}, {2, 13}, {35, 8}, {441, 9}, {4, 12}}),
         {510, 535}},
        {"literal code with the most tree nodes",
         12,
         lengthsOf({{496, 16}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}, {1, 6}, {3, 9}, {1, 10}, {1, 11}, {3, 12}}),
         {510, 510 + 31 * 15 - 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint16_t* table = c.tableBits == 8 ? d->smallTable : d->symbolTable;
        std::fill(std::begin(d->leftChild), std::end(d->leftChild), UNTOUCHED);
        std::fill(std::begin(d->rightChild), std::end(d->rightChild), UNTOUCHED);
        buildDecodeTable(d, static_cast<uint16_t>(c.lengths.size()), c.lengths.data(), c.tableBits, table);
        EXPECT_EQ(nodeRange(), c.nodes);
        expectEveryCodeReadsBack(c.lengths, c.tableBits, table);
    }
}

TEST_F(HuffmanTableTest, AllZeroLengthsLeaveTableAndLinksAsTheyWere) {
    for (int i = 0; i < 256; ++i) d->smallTable[i] = static_cast<uint16_t>(i * 7);
    std::vector<unsigned char> lengths(19, 0);
    buildDecodeTable(d, 19, lengths.data(), 8, d->smallTable);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(d->smallTable[i], i * 7);
    EXPECT_EQ(nodeRange(), std::make_pair(-1, -1));
}

TEST_F(HuffmanTableTest, IncompleteOrOverfullCodesAreBadTables) {
    struct Case {
        const char* name;
        std::vector<unsigned char> lengths;
    } cases[] = {
        {"one code of one bit", lengthsOf({{1, 1}, {18, 0}})},
        {"four codes of one bit", lengthsOf({{4, 1}, {15, 0}})},
        {"a code left out", lengthsOf({{1, 1}, {1, 2}, {1, 3}, {16, 0}})},
        {"one 16-bit code too many", lengthsOf({{1, 1},
                                                {1, 2},
                                                {1, 3},
                                                {1, 4},
                                                {1, 5},
                                                {1, 6},
                                                {1, 7},
                                                {1, 8},
                                                {1, 9},
                                                {1, 10},
                                                {1, 11},
                                                {1, 12},
                                                {1, 13},
                                                {1, 14},
                                                {1, 15},
                                                {3, 16}})},
        {"a length beyond 16", lengthsOf({{1, 1}, {1, 2}, {1, 3}, {1, 17}, {15, 0}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectBadTable(static_cast<uint16_t>(c.lengths.size()), c.lengths);
    }
}

// Left-over links may form chains or loops; the walk gives up once it is
// deeper than the longest code.
TEST_F(HuffmanTableTest, TreeWalkEndsWithinTheLongestCode) {
    struct Case {
        uint16_t tableBits;
        uint16_t symbolCount;
        uint16_t firstNode;
        int chainNodes;  // nodes before the symbol; 0 for a loop
        bool accepted;
    } cases[] = {
        {8, 19, 20, 8, true},    {8, 19, 20, 9, false},    {8, 14, 20, 0, false},
        {12, 510, 600, 4, true}, {12, 510, 600, 5, false}, {12, 510, 600, 0, false},
    };
    std::vector<unsigned char> lengths(510, 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tableBits << " bits, chain " << c.chainNodes);
        d->failure = DECODE_OK;
        uint16_t* table = c.tableBits == 8 ? d->smallTable : d->symbolTable;
        std::fill(table, table + (1 << c.tableBits), c.firstNode);
        for (int k = 0; k < (c.chainNodes ? c.chainNodes : 1); ++k) {
            uint16_t node = static_cast<uint16_t>(c.firstNode + k);
            uint16_t next = c.chainNodes == 0 ? node : k + 1 == c.chainNodes ? 5 : static_cast<uint16_t>(node + 1);
            d->leftChild[node] = next;
            d->rightChild[node] = next;
        }
        d->bitBuffer = 0x5A5A;
        d->packedLeft = 0;
        uint16_t symbol = readCode(d, table, c.tableBits, c.symbolCount, lengths.data());
        if (c.accepted) {
            EXPECT_EQ(d->failure, DECODE_OK);
            EXPECT_EQ(symbol, 5);
            EXPECT_EQ(d->bitBuffer, 0xD2D0) << "the symbol's own length is consumed";
        } else {
            EXPECT_EQ(d->failure, DECODE_BAD_TABLE);
            EXPECT_LT(symbol, c.symbolCount) << "a symbol the decoder can use until it stops";
        }
    }
}

}  // namespace
