// Our encoder against the stub's own decoder: whatever goes in must come
// back byte for byte, for every method and both efforts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "encode/block_encoder.h"
#include "encode/huffman_code.h"
#include "encode/lzh_encoder.h"
#include "support/test_support.h"
#include "tools/velkar_build/member_check.h"

namespace {

using Data = std::vector<uint8_t>;

Data randomBytes(size_t size, uint32_t seed, unsigned alphabet = 256) {
    std::mt19937 random(seed);
    Data data(size);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random() % alphabet);
    return data;
}

Data text(size_t size) {
    static const char* const words[] = {"velkar ", "archive ", "member ", "header ", "window ", "the ", "of ", "\n"};
    std::mt19937 random(5);
    Data data;
    while (data.size() < size) {
        const char* word = words[random() % 8];
        data.insert(data.end(), word, word + std::strlen(word));
    }
    data.resize(size);
    return data;
}

Data repeated(size_t size, uint8_t byte) { return Data(size, byte); }

// Decodes packed data of `method` into a file through the stub's decoder.
Data decodeWithOurDecoder(const ScratchDir& scratch, char method, const Data& packed, size_t size) {
    scratch.write("packed", std::string(packed.begin(), packed.end()));
    uint16_t crc = 0;
    MemberData member = {method, 0, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(size)};
    EXPECT_TRUE(decodeWithStub(scratch.file("packed"), member, &crc, scratch.file("unpacked")));
    std::string bytes = scratch.read("unpacked");
    return Data(bytes.begin(), bytes.end());
}

struct Sample {
    const char* name;
    Data data;
};

std::vector<Sample> samples() {
    Data mixed = text(20000);
    Data binary = randomBytes(9000, 3, 4);
    mixed.insert(mixed.end(), binary.begin(), binary.end());
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 15000);  // a repeat from far back
    return {
        {"empty", {}},
        {"one byte", {0x41}},
        {"two bytes", {0, 0xFF}},
        {"a three-byte repeat that ends the input", {'a', 'b', 'c', 'x', 'a', 'b', 'c'}},
        {"a long run", repeated(100000, 'z')},
        {"text", text(50000)},
        {"binary of four byte values", randomBytes(30000, 1, 4)},
        {"random", randomBytes(20000, 2)},
        {"65,535 bytes", text(65535)},
        {"65,536 bytes", randomBytes(65536, 9, 16)},
        {"65,537 bytes", text(65537)},
        {"mixed with a far repeat", mixed},
    };
}

TEST(EncoderTest, EveryMethodAndEffortComesBackByteForByte) {
    ScratchDir scratch;
    for (const Sample& sample : samples()) {
        for (char digit : {'5', '6', '7'}) {
            for (lzh::Effort effort : {lzh::Effort::normal, lzh::Effort::best}) {
                SCOPED_TRACE(std::string(sample.name) + " -lh" + digit + "-" +
                             (effort == lzh::Effort::best ? " best" : ""));
                const lzh::Method& method = *lzh::methodFor(digit);
                Data packed = lzh::encodeBytes(method, effort, sample.data.data(), sample.data.size());
                EXPECT_EQ(decodeWithOurDecoder(scratch, digit, packed, sample.data.size()), sample.data);
                EXPECT_EQ(lzh::encodeBytes(method, effort, sample.data.data(), sample.data.size()), packed)
                    << "the same input gives the same bytes";
            }
        }
    }
}

// More than a segment, a block and the pending tokens at once, through the
// streaming interface in small pieces.
TEST(EncoderTest, SeveralMegabytesStreamInSmallPiecesAndComeBack) {
    ScratchDir scratch;
    Data data = text(1 << 20);
    Data noise = randomBytes(1 << 20, 4, 3);
    data.insert(data.end(), noise.begin(), noise.end());
    size_t offset = 0;
    Data packed;
    lzh::EncodeResult result = lzh::encodeStream(
        *lzh::methodFor('7'), lzh::Effort::normal,
        [&](uint8_t* into, size_t room) {
            size_t n = std::min<size_t>({room, 1000, data.size() - offset});
            std::copy(data.begin() + offset, data.begin() + offset + n, into);
            offset += n;
            return n;
        },
        [&](const uint8_t* bytes, size_t n, uint64_t) {
            packed.insert(packed.end(), bytes, bytes + n);
            return true;
        });
    EXPECT_EQ(result.inputBytes, data.size());
    EXPECT_EQ(result.packedBytes, packed.size());
    EXPECT_LT(packed.size(), data.size() / 3);
    EXPECT_EQ(decodeWithOurDecoder(scratch, '7', packed, data.size()), data);
}

// Blocks go out once a quarter of a million tokens are gathered; the reading
// stops soon after the writer has said no.
TEST(EncoderTest, AWriterThatHasSeenEnoughStopsThePacking) {
    Data data = randomBytes(700000, 6);
    size_t offered = 0;
    uint64_t taken = 0;
    lzh::EncodeResult result = lzh::encodeStream(
        *lzh::methodFor('5'), lzh::Effort::normal,
        [&](uint8_t* into, size_t room) {
            size_t n = std::min(room, data.size() - offered);
            std::copy(data.begin() + offered, data.begin() + offered + n, into);
            offered += n;
            return n;
        },
        [&](const uint8_t*, size_t n, uint64_t covered) {
            taken += n;
            EXPECT_GT(covered, 0u);
            EXPECT_LE(covered, offered);
            return taken < 1000;
        });
    EXPECT_TRUE(result.stopped);
    EXPECT_LT(offered, data.size());
}

// A block of one repeated byte sends one literal code in the single-symbol
// form and a single-symbol position code, and costs a few bytes.
TEST(EncoderTest, OneRepeatedByteTakesTheSingleSymbolForms) {
    Data data = repeated(1000, 'q');
    Data packed = lzh::encodeBytes(*lzh::methodFor('5'), lzh::Effort::normal, data.data(), data.size());
    EXPECT_LT(packed.size(), 20u);
}

// Sixty-four three-byte words, each followed by two random bytes, repeat
// only three bytes at a time, bar a few, inside -lh5-'s window: copies of
// three bytes take them to about 72%, literals alone to about 92%.
TEST(EncoderTest, RepeatsOfOnlyThreeBytesAreCopied) {
    Data words = randomBytes(3 * 64, 7);
    Data noise = randomBytes(3 * 20000, 8);
    Data data;
    for (size_t i = 0; i < noise.size(); i += 3) {
        size_t word = 3 * (noise[i] % 64);
        data.insert(data.end(), words.begin() + word, words.begin() + word + 3);
        data.insert(data.end(), noise.begin() + i + 1, noise.begin() + i + 3);
    }
    for (lzh::Effort effort : {lzh::Effort::normal, lzh::Effort::best}) {
        Data packed = lzh::encodeBytes(*lzh::methodFor('5'), effort, data.data(), data.size());
        EXPECT_LT(packed.size(), data.size() * 80 / 100) << "best " << (effort == lzh::Effort::best);
    }
}

TEST(EncoderTest, CodeLengthsStayWithinSixteenBitsAndFormCompleteCodes) {
    // Fibonacci frequencies make the deepest plain Huffman tree.
    std::vector<uint32_t> frequencies(40);
    uint32_t a = 1, b = 1;
    for (uint32_t& f : frequencies) {
        f = a;
        uint32_t next = a + b;
        a = b;
        b = std::min<uint32_t>(next, 1u << 30);
    }
    for (unsigned used : {2u, 3u, 19u, 40u}) {
        std::vector<uint32_t> some(frequencies.begin(), frequencies.begin() + used);
        std::vector<uint8_t> lengths = lzh::huffmanLengths(some, MAX_CODE_LENGTH);
        uint64_t kraft = 0;
        for (uint8_t length : lengths) {
            EXPECT_GE(length, 1);
            EXPECT_LE(length, MAX_CODE_LENGTH);
            kraft += 1ull << (MAX_CODE_LENGTH - length);
        }
        EXPECT_EQ(kraft, 1ull << MAX_CODE_LENGTH) << used << " symbols";
    }
    EXPECT_EQ(lzh::huffmanLengths({0, 7, 0}, 16), (std::vector<uint8_t>{0, 0, 0})) << "one symbol: no code";
    EXPECT_EQ(lzh::canonicalCodes({2, 1, 3, 3}), (std::vector<uint16_t>{2, 0, 6, 7}));
}

TEST(EncoderTest, PositionSymbolsSplitDistancesByTheirTopBit) {
    struct Case {
        uint32_t position;
        unsigned symbol;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {8190, 13}, {32766, 15}, {65534, 16}};
    for (const Case& c : cases) EXPECT_EQ(lzh::positionSymbol(c.position), c.symbol) << c.position;
    for (char digit : {'5', '6', '7'}) {
        const lzh::Method& method = *lzh::methodFor(digit);
        EXPECT_LT(lzh::positionSymbol(lzh::maxDistance(method) - 1), method.positionCodesWritten) << digit;
    }
    EXPECT_EQ(lzh::methodFor('4'), nullptr);
}

}  // namespace
