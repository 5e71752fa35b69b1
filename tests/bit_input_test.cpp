#include <algorithm>
#include <string>
#include <vector>

#include "decode/archive_input.h"
#include "decode/bit_input.h"
#include "decode/block_decoder.h"
#include "support/test_support.h"

namespace {

class BitInputTest : public RunTest {
protected:
    // Starts the bit input on packed as one member's data.
    void startOn(const std::string& packed) {
        scratch.write("archive", packed + "NEXT HEADER");
        d->input = osOpenRead(scratch.file("archive").c_str());
        d->packedLeft = static_cast<uint32_t>(packed.size());
        resetArchiveInput(d);
        startBitInput(d, '5');
    }
    void TearDown() override {
        osClose(d->input);
        RunTest::TearDown();
    }
};

TEST_F(BitInputTest, TakesBitsTopFirstThenZerosPastTheEnd) {
    startOn("\xA5\x3C\xF1");
    struct Step {
        unsigned bits;
        uint16_t value;
    } steps[] = {
        {0, 0},                  // takes nothing
        {4, 0xA},                // 1010
        {0, 0},   {16, 0x53CF},  // 0101 0011 1100 1111
        {1, 0},   {3, 1},        // the last bit of the data
        {16, 0},                 // past the end: zero bits
        {12, 0},
    };
    for (const Step& s : steps) EXPECT_EQ(takeBits(d, s.bits), s.value) << s.bits;
    EXPECT_EQ(hostReadRequests(), std::vector<uint32_t>{3}) << "one refill, nothing read after the end";
    EXPECT_EQ(osSeek(d->input, 0, SEEK_FROM_CURRENT), 3);
}

TEST_F(BitInputTest, SixteenBitsAreTheWholeBuffer) {
    startOn("\xFF\xFE\x80");
    EXPECT_EQ(d->bitBuffer, 0xFFFE);
    EXPECT_EQ(takeBits(d, 16), 0xFFFE);
    EXPECT_EQ(d->bitBuffer, 0x8000);
    shiftInBits(d, 15);
    shiftInBits(d, 1);
    EXPECT_EQ(d->bitBuffer, 0);
}

}  // namespace

namespace {

// bitBuffer reads two bytes ahead, so the two zero bytes that follow the
// data only fill it: taking every packed bit is fine, one bit more is a
// code reaching past the data, a read failure like a cut archive's.
TEST_F(BitInputTest, TakingBitsPastThePackedDataFails) {
    bool opened = false;
    for (size_t packed = 0; packed <= 3; ++packed) {
        for (unsigned step : {1u, 7u, 16u}) {
            SCOPED_TRACE(std::to_string(packed) + " bytes in steps of " + std::to_string(step));
            if (opened) osClose(d->input);
            opened = true;
            d->failure = DECODE_OK;
            startOn(std::string(packed, '\x5A'));
            for (unsigned taken = 0; taken < 8 * packed;) {
                unsigned n = std::min<unsigned>(step, 8 * static_cast<unsigned>(packed) - taken);
                takeBits(d, n);
                taken += n;
            }
            EXPECT_EQ(d->failure, DECODE_OK) << "every packed bit taken";
            EXPECT_EQ(d->bitBuffer, 0) << "only the zero bytes past the end remain";
            takeBits(d, 1);
            EXPECT_EQ(d->failure, DECODE_READ_FAILED);
        }
    }
}

}  // namespace
