#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "decode/archive_input.h"
#include "decode/bit_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "decode/fast_decoder.h"
#include "decode/output_sink.h"
#include "resources/control_ids.h"
#include "support/archive_maker.h"
#include "support/bit_writer.h"
#include "support/packed_writer.h"
#include "support/reference_decoding.h"
#include "support/test_support.h"
#include "ui/progress.h"

namespace {

std::vector<int> flatCode(size_t count, const std::vector<int>& symbols) {
    std::vector<bool> used(count, false);
    for (int s : symbols) used[s] = true;
    return flatLengths(used);
}

std::vector<int> literalsFor(const std::string& text, const std::vector<int>& copyLengths) {
    std::vector<int> symbols(text.begin(), text.end());
    for (int length : copyLengths) symbols.push_back(length + 253);
    return flatCode(510, symbols);
}

// A block header in which every code has one symbol: no symbol costs bits.
void putSingleSymbolBlock(BitWriter& bits, uint32_t size, int literal, int position, unsigned positionCountBits) {
    bits.put(size, 16);
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put(literal, 9);
    bits.put(0, positionCountBits);
    bits.put(position, positionCountBits);
}

// Runs bodyInDialog inside the dialog, so that progress reaches it.
std::function<void()> bodyInDialog;

intptr_t dialogBody(WindowHandle window, int event, uintptr_t) {
    if (event == DIALOG_INIT) {
        run->dialogWindow = window;
        bodyInDialog();
        osEndDialog(window, 1);
    }
    return 1;
}

class BlockDecoderTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        buildCrcTable(&d->crc, CRC16_POLYNOMIAL);
        std::strcpy(run->selfPath, "C:\\dl\\setup.exe");
        std::strcpy(run->outputPath, scratch.file("out.bin").c_str());
    }

    // Opens packed as the member's data, with the next header behind it.
    void openMember(char method, const std::string& packed, uint32_t unpackedSize, size_t cut = std::string::npos) {
        scratch.write("archive", (packed + "NEXT").substr(0, cut));
        d->input = osOpenRead(scratch.file("archive").c_str());
        member = {static_cast<unsigned char>(method), static_cast<uint32_t>(packed.size()), unpackedSize};
        d->failure = DECODE_OK;
        resetArchiveInput(d);
    }

    // Decodes into out.bin inside the dialog, so progress is shown; each
    // progress report records its text and the bytes written so far.
    std::string decodeToFile(char method, const std::string& packed, uint32_t unpackedSize) {
        openMember(method, packed, unpackedSize);
        d->output = osCreateOutput(run->outputPath);
        progress.clear();
        d->progress = reportProgress;
        hostSetPumpHandler([this](WindowHandle) {
            progress.push_back({hostDialogItemText(ID_PROGRESS), scratch.read("out.bin").size()});
        });
        bodyInDialog = [this] { decodePacked(d, decodeMember, member); };
        osRunDialog("SfxDialog", dialogBody);
        EXPECT_EQ(osSeek(d->input, 0, SEEK_FROM_CURRENT), int32_t(packed.size())) << "stops at the next header";
        osCloseOutput(d->output);
        osClose(d->input);
        std::string output = scratch.read("out.bin");
        EXPECT_EQ(d->crc.value, referenceCrc16(output));
        return output;
    }

    // Runs a decode that may fail; returns its failure with the output closed
    // and the archive too.
    DecodeFailure failingDecode(char method, const std::string& packed, uint32_t unpackedSize,
                                size_t cut = std::string::npos) {
        openMember(method, packed, unpackedSize, cut);
        d->output = osCreateOutput(run->outputPath);
        decodePacked(d, decodeMember, member);
        osCloseOutput(d->output);
        osClose(d->input);
        return d->failure;
    }

    // Decodes packed with each fast loop the processor runs and with the
    // plain steps alone, from the same window of an earlier member's bytes,
    // and expects the same outcome of each; returns the plain steps' failure.
    DecodeFailure expectFastMatchesPlain(char method, const std::string& packed, uint32_t unpackedSize,
                                         size_t cut = std::string::npos) {
        for (uint32_t i = 0; i < WINDOW_SIZE; ++i) d->window[i] = static_cast<unsigned char>(i * 7 >> 3);
        auto saved = std::make_unique<DecoderState>(*d);
        auto decodeWith = [&](MemberDecoder decoder) {
            *d = *saved;
            openMember(method, packed, unpackedSize, cut);
            d->output = osCreateOutput(run->outputPath);
            DecodingOutcome outcome = recordDecoding(d, decoder, member);
            osCloseOutput(d->output);
            osClose(d->input);
            return outcome;
        };
        DecodingOutcome plain = decodeWith(decodeMemberPlainly);
        for (const FastLoop* loop = fastLoops(); *loop; ++loop) {
            SCOPED_TRACE("fast loop " + std::to_string(loop - fastLoops()));
            useFastLoop(*loop);
            DecodingOutcome fast = decodeWith(decodeMember);
            EXPECT_EQ(fast.failure, plain.failure);
            EXPECT_EQ(fast.fields, plain.fields);
            EXPECT_TRUE(fast == plain);
        }
        useFastLoop(0);
        return plain.failure;
    }

    std::vector<std::pair<std::string, size_t>> progress;
    PackedMember member = {};
};

TEST_F(BlockDecoderTest, DecodesLiteralsAndCopies) {
    struct Case {
        const char* name;
        char method;
        std::function<void(PackedWriter&)> write;
        uint32_t unpackedSize;
        std::string expected;
    } cases[] = {
        {"literals and a copy", '5',
         [](PackedWriter& w) {
             w.block(4, literalsFor("abc", {6}), flatCode(14, {0, 2, 3}));
             w.text("abc");
             w.copy(6, 2);
         },
         9, "abcabcabc"},
        {"position 0, length 256, repeats the last byte", '5',
         [](PackedWriter& w) {
             w.block(2, literalsFor("x", {256}), flatCode(14, {0, 1}));
             w.literal('x');
             w.copy(256, 0);
         },
         257, std::string(257, 'x')},
        {"a copy longer than its distance", '4',
         [](PackedWriter& w) {
             w.block(3, literalsFor("ab", {10}), flatCode(14, {0, 1}));
             w.text("ab");
             w.copy(10, 1);
         },
         12, "abababababab"},
        {"a new block replaces all three codes", '5',
         [](PackedWriter& w) {
             w.block(2, literalsFor("pq", {}), flatCode(14, {0, 1}));
             w.text("pq");
             w.block(2, literalsFor("r", {3}), flatCode(14, {2, 5}));
             w.literal('r');
             w.copy(3, 17);
         },
         6, std::string("pqr") + std::string(3, '\0')},
        {"-lh6- with 16 position lengths of 17", '6',
         [](PackedWriter& w) {
             std::vector<int> positions = flatCode(17, {0, 3, 15});
             positions.resize(16);
             w.block(6, literalsFor("hel", {3}), positions);
             w.text("hel");
             w.copy(3, 0);
             w.copy(3, 5);
             w.copy(3, 16386);
         },
         12, std::string("hellllhel") + std::string(3, '\0')},
        {"-lh7- position lengths up to 16", '7',
         [](PackedWriter& w) {
             std::vector<int> positions = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16};
             w.block(4, literalsFor("z", {3}), positions);
             w.literal('z');
             w.copy(3, 65535);
             w.copy(3, 0);
             w.literal('z');
         },
         8, std::string("z") + std::string(6, '\0') + "z"},
        {"lengths of 7 and more, codes longer than the tables", '5',
         [](PackedWriter& w) {
             std::vector<int> literals(510, 0);
             for (int i = 0; i < 15; ++i) literals['A' + i] = i + 1;
             literals['P'] = 16;
             literals[4 + 253] = 16;
             w.block(18, literals, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 13});
             w.text("ABCDEFGHIJKLMNOP");
             w.copy(4, 15);
             w.copy(4, 8191);
         },
         24, std::string("ABCDEFGHIJKLMNOP") + "ABCD" + std::string(4, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(d->window, 0, sizeof(d->window));
        PackedWriter writer(countBitsOf(c.method));
        c.write(writer);
        EXPECT_EQ(decodeToFile(c.method, writer.bits.bytes(), c.unpackedSize), c.expected);
    }
}

TEST_F(BlockDecoderTest, SingleSymbolFormsCostNoBits) {
    struct Case {
        const char* name;
        int literal;
        uint32_t unpackedSize;
        std::string expected;
    } cases[] = {
        {"1,000 identical bytes", 'q', 1000, std::string(1000, 'q')},
        {"copies of the zeros before the member; the last runs past the size", 300, 100, std::string(141, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter bits;
        putSingleSymbolBlock(bits, 0, c.literal, 0, 4);
        EXPECT_EQ(bits.bytes().size(), 7u);
        EXPECT_EQ(decodeToFile('5', bits.bytes(), c.unpackedSize), c.expected);
    }
}

// Size field 0: the block holds 65,536 symbols, and the next header follows
// the last of them.
TEST_F(BlockDecoderTest, BlockSizeZeroHolds65536Symbols) {
    PackedWriter writer(4);
    writer.block(0, literalsFor("ab", {}), flatCode(14, {0, 1}));
    std::string expected;
    for (int i = 0; i < 65536; ++i) {
        char c = (i * 7 / 3) % 2 ? 'b' : 'a';
        writer.literal(c);
        expected += c;
    }
    writer.block(1, literalsFor("yz", {}), flatCode(14, {0, 1}));
    writer.literal('z');
    EXPECT_EQ(decodeToFile('5', writer.bits.bytes(), 65537), expected + "z");
}

TEST_F(BlockDecoderTest, FullWindowsGoOutWithProgress) {
    struct Case {
        const char* name;
        std::function<void(BitWriter&)> write;
        uint32_t unpackedSize;
        size_t outputSize;
        std::vector<std::pair<std::string, size_t>> progress;  // text, bytes written
    } cases[] = {
        {"65,536 bytes: one piece",
         [](BitWriter& b) { putSingleSymbolBlock(b, 0, 'q', 0, 4); },
         65536,
         65536,
         {{"Extract... 100%", 65536}}},
        {"65,537 bytes: 65,536 and 1",
         [](BitWriter& b) {
             putSingleSymbolBlock(b, 0, 'q', 0, 4);
             putSingleSymbolBlock(b, 1, 'r', 0, 4);
         },
         65537,
         65537,
         {{"Extract... 100%", 65536}, {"Extract... 100%", 65537}}},
        {"131,073 bytes",
         [](BitWriter& b) {
             putSingleSymbolBlock(b, 0, 'q', 0, 4);
             putSingleSymbolBlock(b, 0, 'r', 0, 4);
             putSingleSymbolBlock(b, 1, 's', 0, 4);
         },
         131073,
         131073,
         {{"Extract... 50%", 65536}, {"Extract... 100%", 131072}, {"Extract... 100%", 131073}}},
        {"a last copy across the window end, past the size",
         [](BitWriter& b) {
             putSingleSymbolBlock(b, 65530, 'q', 0, 4);
             putSingleSymbolBlock(b, 1, 10 + 253, 0, 4);
         },
         65535,
         65540,
         {{"Extract... 100%", 65536}, {"Extract... 100%", 65540}}},
        {"nothing to produce", [](BitWriter& b) { putSingleSymbolBlock(b, 0, 'q', 0, 4); }, 0, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter bits;
        c.write(bits);
        std::string output = decodeToFile('5', bits.bytes(), c.unpackedSize);
        EXPECT_EQ(output.size(), c.outputSize);
        EXPECT_EQ(progress, c.progress);
    }
    EXPECT_EQ(d->blockSymbolsLeft, 0) << "no block header read for an empty member";
}

TEST_F(BlockDecoderTest, EmptyMemberWithoutPackedDataReadsNothing) {
    EXPECT_EQ(decodeToFile('5', "", 0), "");
    EXPECT_TRUE(hostReadRequests().empty());
}

// The window is never cleared: a copy reaching back past the member's
// first byte reads what an earlier member, stored ones included, left there.
TEST_F(BlockDecoderTest, CopiesBeforeTheFirstByteReadTheWindow) {
    std::string stored(65536, '\0');
    for (size_t i = 0; i < stored.size(); ++i) stored[i] = static_cast<char>('a' + i % 26);
    scratch.write("stored", stored);
    d->input = osOpenRead(scratch.file("stored").c_str());
    d->output = INVALID_FILE;
    copyStoredMember(d, 65536);
    osClose(d->input);

    PackedWriter writer(4);
    writer.block(2, literalsFor("a", {10}), flatCode(14, {0, 4}));
    writer.copy(10, 9);
    writer.copy(10, 14);
    EXPECT_EQ(decodeToFile('5', writer.bits.bytes(), 20),
              stored.substr(65526) + stored.substr(65531) + stored.substr(65526, 5));
}

TEST_F(BlockDecoderTest, ReservedMembersGoToTheirTextWithoutProgress) {
    BitWriter bits;
    putSingleSymbolBlock(bits, 0, '?', 0, 5);
    putSingleSymbolBlock(bits, 0, '?', 0, 5);
    openMember('6', bits.bytes(), 68000);
    d->output = INVALID_FILE;
    d->memoryText = run->scriptText;
    d->memoryTextSize = sizeof(run->scriptText);
    d->crc.value = 0x1234;
    progress.clear();
    hostSetPumpHandler([this](WindowHandle) { progress.push_back({"pumped", 0}); });
    bodyInDialog = [this] { decodePacked(d, decodeMember, member); };
    osRunDialog("SfxDialog", dialogBody);
    osClose(d->input);
    EXPECT_EQ(std::string(run->scriptText), std::string(68000 - 65536, '?')) << "the last piece";
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(d->crc.value, 0);
}

TEST_F(BlockDecoderTest, CorruptTablesStopTheDecoding) {
    // Block size, then a code-length code of one symbol, so that the
    // literal lengths can be sent as that symbol at no cost.
    auto onlyLengthSymbol = [](BitWriter& b, int symbol) {
        b.put(1, 16);
        b.put(0, 5);
        b.put(symbol, 5);
    };
    struct Case {
        const char* name;
        char method;
        std::function<void(BitWriter&)> write;
        bool bad;
    } cases[] = {
        {"a code length of 17", '5',
         [](BitWriter& b) {
             b.put(1, 16);
             b.put(1, 5);
             b.put(7, 3);
             b.put(0x3FE, 11);
         },
         true},
        {"a code length run of ones", '5',
         [](BitWriter& b) {
             b.put(1, 16);
             b.put(1, 5);
             b.put(7, 3);
             b.put(0xFFFFFF, 24);
         },
         true},
        {"511 literal lengths", '5',
         [&](BitWriter& b) {
             onlyLengthSymbol(b, 3);
             b.put(511, 9);
         },
         true},
        {"a zero run past entry 509", '5',
         [&](BitWriter& b) {
             onlyLengthSymbol(b, 2);
             b.put(510, 9);
             b.put(491, 9);
         },
         true},
        {"a later zero run past entry 509", '5',
         [&](BitWriter& b) {
             onlyLengthSymbol(b, 2);
             b.put(510, 9);
             b.put(480, 9);
             b.put(0, 9);
         },
         true},
        {"a zero run up to entry 509", '5',
         [&](BitWriter& b) {
             onlyLengthSymbol(b, 2);
             b.put(510, 9);
             b.put(490, 9);
             b.put(0, 4);
             b.put(0, 4);
         },
         false},
        {"an incomplete literal code", '5',
         [&](BitWriter& b) {
             onlyLengthSymbol(b, 3);
             b.put(1, 9);
         },
         true},
        {"code-length symbol 19", '5',
         [](BitWriter& b) {
             b.put(1, 16);
             b.put(0, 5);
             b.put(19, 5);
         },
         true},
        {"code-length symbol 31", '5',
         [](BitWriter& b) {
             b.put(1, 16);
             b.put(0, 5);
             b.put(31, 5);
         },
         true},
        {"code-length symbol 18", '5',
         [](BitWriter& b) {
             b.put(1, 16);
             b.put(0, 5);
             b.put(18, 5);
             b.put(0, 9);
             b.put('a', 9);
             b.put(0, 4);
             b.put(0, 4);
         },
         false},
        {"literal symbol 510", '5', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 510, 0, 4); }, true},
        {"literal symbol 511", '5', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 511, 0, 4); }, true},
        {"literal symbol 509", '5', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 509, 0, 4); }, false},
        {"-lh5- position symbol 14", '5', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 14, 4); }, true},
        {"-lh4- position symbol 15", '4', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 15, 4); }, true},
        {"-lh5- position symbol 13", '5', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 13, 4); }, false},
        {"-lh6- position symbol 17", '6', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 17, 5); }, true},
        {"-lh7- position symbol 20", '7', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 20, 5); }, true},
        {"-lh7- position symbol 16", '7', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 16, 5); }, false},
        {"an over-full position code", '5',
         [&](BitWriter& b) {
             onlyLengthSymbol(b, 3);
             b.put(2, 9);
             putSmallLengths(b, {1, 1, 1}, 4, NO_ZERO_RUN);
         },
         true},
        {"a method without a position code", '3', [](BitWriter& b) { putSingleSymbolBlock(b, 1, 'a', 0, 4); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BitWriter bits;
        c.write(bits);
        DecodeFailure failure = failingDecode(c.method, bits.bytes(), 1);
        if (c.bad) {
            EXPECT_EQ(failure, DECODE_BAD_TABLE);
            EXPECT_EQ(scratch.read("out.bin"), "") << "nothing decoded after a bad table is written";
        } else {
            EXPECT_EQ(failure, DECODE_OK);
            EXPECT_NE(scratch.read("out.bin"), "");
        }
    }
}

// 3-bit literals: the first window is written out after about 24,600 packed
// bytes, before the third refill at 32,768.
TEST_F(BlockDecoderTest, ReadFailureWhileShiftingBitsStopsAtTheWindow) {
    PackedWriter writer(4);
    std::vector<int> literals = literalsFor("abcdefgh", {});
    writer.block(0, literals, flatCode(14, {0, 1}));
    for (int i = 0; i < 65536; ++i) writer.literal('a' + i % 8);
    writer.block(34464, literals, flatCode(14, {0, 1}));
    for (int i = 0; i < 34464; ++i) writer.literal('a' + i % 8);
    std::string packed = writer.bits.bytes();
    struct Case {
        const char* name;
        int readsAllowed;
        size_t cut;
    } cases[] = {
        {"the archive ends inside the member", -1, 35000},
        {"the third refill fails", 2, std::string::npos},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hostReset();
        hostFailReadsAfter(c.readsAllowed);
        EXPECT_EQ(failingDecode('5', packed, 100000, c.cut), DECODE_READ_FAILED);
        EXPECT_EQ(scratch.read("out.bin").size(), 65536u) << "only the window written before the failed read";
    }
}

// The fast loop hands over to the plain steps at every edge and must leave
// exactly what they would: compared on long random streams of each method,
// whole, with the size ending in the middle, and cut short at refill
// boundaries and elsewhere, with a window full of an earlier member's bytes.
// The streams of mostly short literals take the look-up of two literals at
// once up to every edge: the block's end, the member's size, the window's.
TEST_F(BlockDecoderTest, FastDecodingMatchesThePlainOne) {
    std::mt19937 random(11);
    for (auto [method, shortLiterals] :
         {std::pair{'4', false}, {'5', false}, {'6', false}, {'7', false}, {'5', true}, {'7', true}}) {
        uint32_t unpackedSize = 150000 + random() % 100000;
        std::string packed = randomStream(method, &unpackedSize, random, shortLiterals);
        struct Variant {
            const char* name;
            uint32_t unpackedSize;
            size_t cut;
        } variants[] = {
            {"whole", unpackedSize, std::string::npos},
            {"size ends early", unpackedSize / 3, std::string::npos},
            {"size ends a byte later", unpackedSize / 3 + 1, std::string::npos},
            {"cut at the second refill", unpackedSize, 16384},
            {"cut inside a refill", unpackedSize, packed.size() - 1000},
            {"one byte short", unpackedSize, packed.size() - 1},
        };
        for (const Variant& v : variants) {
            SCOPED_TRACE(std::string(1, method) + (shortLiterals ? " short literals: " : ": ") + v.name);
            EXPECT_EQ(expectFastMatchesPlain(method, packed, v.unpackedSize, v.cut),
                      v.cut == std::string::npos ? DECODE_OK : DECODE_READ_FAILED);
        }
    }
}

// A copy may write past its end only where later symbols of its block and
// member write again: a failure stops the decoding at the block's end (here
// the next block's table is bad), and the member may end first. The bytes
// after the last literal must be the window's old ones, as the plain steps
// leave them.
TEST_F(BlockDecoderTest, CopiesNearABlocksOrMembersEndWriteNothingPastWhatStays) {
    for (bool memberEnds : {false, true}) {
        for (unsigned distance : {10u, 100u}) {
            for (unsigned after = 1; after <= 20; ++after) {
                SCOPED_TRACE(std::string(memberEnds ? "member" : "block") + " ends, distance " +
                             std::to_string(distance) + ", literals after the copy " + std::to_string(after));
                unsigned more = memberEnds ? 40 : 0;
                PackedWriter writer(4);
                writer.block(200 + 1 + after + more, literalsFor("ab", {3}), flatCode(14, {0, 4, 7}));
                for (int i = 0; i < 200; ++i) writer.literal(i % 3 ? 'a' : 'b');
                writer.copy(3, distance - 1);
                for (unsigned i = 0; i < after + more; ++i) writer.literal('b');
                writer.bits.put(1, 16);
                putSmallLengths(writer.bits, {1, 1, 1}, 5, ZERO_RUN_INDEX);
                std::string packed = writer.bits.bytes() + std::string(40, '\0');
                EXPECT_EQ(expectFastMatchesPlain('5', packed, memberEnds ? 200 + 3 + after : 100000),
                          memberEnds ? DECODE_OK : DECODE_BAD_TABLE);
            }
        }
    }
}

// Nor may a copy write past its end where a later copy of its block can
// reach a whole window back and read those bytes: here every -lh7- copy
// takes the single position code's farthest position, which costs no bits,
// so the block declares no lengths at all. The first copy, 33,000 bytes in,
// no longer wraps around the window's start and could go in whole pieces;
// the second reads the byte just past its end, 65,535 bytes back.
TEST_F(BlockDecoderTest, CopiesOfAPositionCodeWithoutLengthsStayExact) {
    PackedWriter writer(5);
    writer.block(33000 + 2 + 400, literalsFor("ab", {3}), {});
    writer.bits.put(16, 5);
    auto farCopy = [&](uint32_t distance) {
        writer.literal(3 + 253);
        writer.bits.put(distance - 1 - (1u << 15), 15);
    };
    for (int i = 0; i < 33000; ++i) writer.literal(i % 3 ? 'a' : 'b');
    farCopy(32800);
    farCopy(65535);
    for (int i = 0; i < 400; ++i) writer.literal('b');
    std::string packed = writer.bits.bytes() + std::string(40, '\0');
    EXPECT_EQ(expectFastMatchesPlain('7', packed, 33000 + 6 + 400), DECODE_OK);
}

// A 4 GiB claim over a few packed bytes ends as a cut archive does, once a
// code needs bits past the data, instead of decoding zero bits for minutes;
// only the windows finished before that point are written.
TEST_F(BlockDecoderTest, DecodingPastThePackedDataFails) {
    PackedWriter writer(4);
    writer.block(0, literalsFor("ab", {}), flatCode(14, {0, 1}));
    for (int i = 0; i < 65536; ++i) writer.literal('a' + i % 2);
    writer.block(4464, literalsFor("ab", {}), flatCode(14, {0, 1}));
    for (int i = 0; i < 4464; ++i) writer.literal('a' + i % 2);
    EXPECT_EQ(failingDecode('5', writer.bits.bytes(), 0xFFFFFFFF), DECODE_READ_FAILED);
    EXPECT_EQ(scratch.read("out.bin").size(), 65536u);
}

}  // namespace
