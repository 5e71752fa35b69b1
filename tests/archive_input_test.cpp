#include <cstring>
#include <string>
#include <vector>

#include "decode/archive_input.h"
#include "decode/crc16.h"
#include "support/test_support.h"

namespace {

class ArchiveInputTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        buildCrcTable(&d->crc, CRC16_POLYNOMIAL);
    }

    // Reads count bytes the way the bit input does, with the member's
    // remaining bytes as the allowance.
    std::string readMember(FileHandle file, uint32_t count) {
        std::string bytes;
        d->input = file;
        resetArchiveInput(d);
        for (uint32_t left = count; left > 0; --left) {
            int byte = nextArchiveByte(d, left);
            if (byte < 0) break;
            bytes.push_back(static_cast<char>(byte));
        }
        return bytes;
    }

    static std::string pattern(size_t size, int seed) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
        return bytes;
    }
};

TEST_F(ArchiveInputTest, CrcCheckValues) {
    d->crc.value = 0;
    EXPECT_EQ(crcFeed(&d->crc, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xBB3D);
    EXPECT_EQ(crcFeed(&d->crc, reinterpret_cast<const unsigned char*>("x"), 0), 0xBB3D);
    EXPECT_EQ(crcFeed(&d->crc, reinterpret_cast<const unsigned char*>("x"), -5), 0xBB3D);
    EXPECT_EQ(d->crc.value, 0xBB3D);

    d->crc.value = 0;
    crcFeed(&d->crc, reinterpret_cast<const unsigned char*>("1234"), 4);
    EXPECT_EQ(crcFeed(&d->crc, reinterpret_cast<const unsigned char*>("56789"), 5), 0xBB3D) << "feeding in pieces";
    EXPECT_EQ(d->crc.table[1], 0xC0C1);
    EXPECT_EQ(d->crc.table[255], 0x4040);
}

// The eight-byte slices and the folding where the processor has it, held to
// the byte table: every length around the steps of 8, 16 and 64 bytes, at
// every alignment, from running values that set each bit, and one long run.
TEST_F(ArchiveInputTest, CrcFeedMatchesTheByteTable) {
    std::string bytes = pattern(70000, 7);
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (uint32_t length : {0u, 1u, 2u, 7u, 8u, 15u, 16u, 17u, 63u, 64u, 65u, 127u, 128u, 129u, 200u, 1000u, 65536u}) {
        for (uint32_t offset = 0; offset < 16; ++offset) {
            for (uint16_t start : {0x0000, 0x0001, 0x8000, 0xFFFF, 0x5A3C}) {
                d->crc.value = start;
                EXPECT_EQ(crcFeed(&d->crc, data + offset, static_cast<int32_t>(length)),
                          crcUpdate(d->crc.table, start, data + offset, length))
                    << length << " bytes at " << offset << " from " << start;
            }
        }
    }
}

TEST_F(ArchiveInputTest, RefillsNeverReachPastTheMember) {
    struct Case {
        uint32_t packed;
        std::vector<uint32_t> refills;
    } cases[] = {
        {40000, {16384, 16384, 7232}},
        {3, {3}},
        {16384, {16384}},
        {16385, {16384, 1}},
    };
    for (const Case& c : cases) {
        std::string member = pattern(c.packed, 7);
        scratch.write("archive", "HDR" + member + "NEXT");
        FileHandle file = osOpenRead(scratch.file("archive").c_str());
        osSeek(file, 3, SEEK_FROM_START);
        size_t before = hostReadRequests().size();
        EXPECT_EQ(readMember(file, c.packed), member);
        std::vector<uint32_t> refills(hostReadRequests().begin() + before, hostReadRequests().end());
        EXPECT_EQ(refills, c.refills) << c.packed;
        EXPECT_EQ(osSeek(file, 0, SEEK_FROM_CURRENT), int32_t(3 + c.packed)) << c.packed;
        osClose(file);
    }
}

TEST_F(ArchiveInputTest, ResetPositionForcesARefill) {
    scratch.write("archive", "abcdefgh");
    FileHandle file = osOpenRead(scratch.file("archive").c_str());
    EXPECT_EQ(readMember(file, 4), "abcd");
    EXPECT_EQ(readMember(file, 4), "efgh") << "the second member never sees bytes of the first";
    osClose(file);
}

TEST_F(ArchiveInputTest, ShortOrFailedRefillReportsMinusOne) {
    scratch.write("archive", "abc");
    FileHandle file = osOpenRead(scratch.file("archive").c_str());
    EXPECT_EQ(readMember(file, 10), "") << "a member cut off by the end of the file";
    EXPECT_EQ(nextArchiveByte(d, 1), -1) << "nothing stale is handed out after the failed refill";
    osClose(file);

    d->input = INVALID_FILE;
    resetArchiveInput(d);
    EXPECT_EQ(nextArchiveByte(d, 5), -1);
    EXPECT_EQ(nextArchiveByte(d, 0), -1) << "nothing may be read";
}

}  // namespace
