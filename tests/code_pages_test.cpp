// The double-byte code pages of the Far East: 932 (Japanese), 936 (Chinese,
// simplified), 949 (Korean) and 950 (Chinese, traditional). Their lead
// bytes differ: in 932 the bytes 0xA0 to 0xDF are half-width katakana of
// their own and 0xFD, 0xFE lead nothing, while the others lead with every
// byte from 0x81 to 0xFE. A trail byte may be '\', so a walk that asks the
// wrong question splits a name into a folder and a file.
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "archive/walk.h"
#include "support/archive_maker.h"
#include "support/test_support.h"

namespace {

const int CODE_PAGES[] = {0, 932, 936, 949, 950};

TEST(CodePages, LeadBytesAreTheSystemsOwn) {
    // Bytes at the edges of the ranges, with the code pages that lead with them.
    const std::map<unsigned char, std::vector<int>> leads = {
        {0x7F, {}},
        {0x80, {}},
        {0x81, {932, 936, 949, 950}},
        {0x9F, {932, 936, 949, 950}},
        {0xA0, {936, 949, 950}},
        {0xB0, {936, 949, 950}},
        {0xDF, {936, 949, 950}},
        {0xE0, {932, 936, 949, 950}},
        {0xFC, {932, 936, 949, 950}},
        {0xFD, {936, 949, 950}},
        {0xFE, {936, 949, 950}},
        {0xFF, {}},
    };
    for (int codePage : CODE_PAGES) {
        hostSetCodePage(codePage);
        for (const auto& [byte, codePages] : leads) {
            bool expected = std::find(codePages.begin(), codePages.end(), codePage) != codePages.end();
            EXPECT_EQ(osIsLeadByte(byte) != 0, expected) << "code page " << codePage << ", byte " << int(byte);
        }
    }
    hostReset();
}

class CodePageWalkTest : public RunTest {
protected:
    // The output paths that an extract pass of these members hands to the
    // file system, with the extract directory taken off.
    std::vector<std::string> outputPaths(const std::vector<MemberSpec>& members) {
        std::string archive;
        for (const MemberSpec& member : members) archive += level2Member(member);
        archive.push_back('\0');
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        std::strcpy(run->selfPath, writeStandInSelf(scratch, block, archive).c_str());
        run->settings = block;
        std::strcpy(run->windowTitle, "Setup");
        const std::string destination = "C:\\Dest";
        std::strcpy(run->extractDir, destination.c_str());
        std::vector<std::string> paths;
        hostSetDiscardOutput(true);
        hostSetOutputObserver([&](const char* path) { paths.push_back(path + destination.size() + 1); });
        EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
        EXPECT_TRUE(hostMessageBoxes().empty()) << hostMessageBoxes()[0].text;
        hostSetOutputObserver(nullptr);
        return paths;
    }
};

MemberSpec member(const std::string& directory, const std::string& name) {
    MemberSpec spec;
    spec.directory = directory;
    spec.name = name;
    spec.data = "x";
    return spec;
}

// The same members under each code page: a '\' behind a lead byte stays in
// its name, and an 8.3 name is cut on a whole character.
TEST_F(CodePageWalkTest, NamesFollowTheCodePagesLeadBytes) {
    const std::vector<MemberSpec> members = {
        member("", "\x81\\a.txt"),                            // 乗 in 936; leads everywhere
        member("", "\xB0\\b.txt"),                            // a katakana and a separator in 932
        member("", "\xFD\\c.txt"),                            // leads only outside 932
        member("\xA5\\\xFF", "d.txt"),                        // 功 in 950, as a folder
        member("", "e\xB0\xA1\xB0\xA1\xB0\xA1\xB0\xA1.txt"),  // 가가가가 in 949, 9 bytes before the dot
    };
    const struct {
        int codePage;
        std::vector<std::string> paths;
    } cases[] = {
        {0, {"\x81/a.txt", "\xB0/b.txt", "\xFD/c.txt", "\xA5//d.txt", "e\xB0\xA1\xB0\xA1\xB0\xA1\xB0.txt"}},
        {932, {"\x81\\a.txt", "\xB0/b.txt", "\xFD/c.txt", "\xA5//d.txt", "e\xB0\xA1\xB0\xA1\xB0\xA1\xB0.txt"}},
        {936, {"\x81\\a.txt", "\xB0\\b.txt", "\xFD\\c.txt", "\xA5\\/d.txt", "e\xB0\xA1\xB0\xA1\xB0\xA1.txt"}},
        {949, {"\x81\\a.txt", "\xB0\\b.txt", "\xFD\\c.txt", "\xA5\\/d.txt", "e\xB0\xA1\xB0\xA1\xB0\xA1.txt"}},
        {950, {"\x81\\a.txt", "\xB0\\b.txt", "\xFD\\c.txt", "\xA5\\/d.txt", "e\xB0\xA1\xB0\xA1\xB0\xA1.txt"}},
    };
    hostSetMaxComponentLength(12);  // 8.3 names
    for (const auto& c : cases) {
        SCOPED_TRACE("code page " + std::to_string(c.codePage));
        hostSetCodePage(c.codePage);
        EXPECT_EQ(outputPaths(members), c.paths);
    }
}

// On the host a '\' becomes '/' unless it is a trail byte.
TEST(CodePages, HostPathsKeepTrailBytes) {
    const struct {
        int codePage;
        std::string path;
        std::string hostPath;
    } cases[] = {
        {932, "C:\\\x95\x5C\\x", "C:/\x95\x5C/x"},
        {936, "\xB0\x5C\\y", "\xB0\x5C/y"},
        {932, "\xB0\x5C\\y", "\xB0//y"},
        {0, "\x81\x5C\\z", "\x81//z"},
        {950, "end\xA5", "end\xA5"},
    };
    for (const auto& c : cases) {
        hostSetCodePage(c.codePage);
        EXPECT_EQ(hostPath(c.path.c_str()), c.hostPath) << c.codePage;
    }
    hostReset();
}

// velkar-run's names: the code page's characters in UTF-8, with '/' for
// every separator the walk saw and for no other byte.
TEST(CodePages, HostNamesInUtf8) {
    const struct {
        int codePage;
        std::string path;
        std::string utf8;
    } cases[] = {
        {932, "C:\\\x95\x5C\\\x83\x5C.txt", "C:/表/ソ.txt"},
        {936, "d/\xD6\xD0\xCE\xC4/\x81\x5C.txt", "d/中文/乗.txt"},
        {949, "\xC7\xD1\xB1\xDB\\\xB0\xA1", "한글/가"},
        {950, "\xB3\x5C\xA5\x5C/x", "許功/x"},
        {1252, "caf\xE9\\na\xEFve", "café/naïve"},
        // No character of the code page: U+FFFD, the lead byte with the trail
        // byte it claims, so that this 0x5C does not separate either.
        {932,
         "a\x85\x5C"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {1252, "\x81\\", "\xEF\xBF\xBD/"},
        {936, "end\x81", "end\xEF\xBF\xBD"},
    };
    for (const auto& c : cases) {
        hostSetCodePage(c.codePage);
        hostSetUtf8Names(true);
        EXPECT_EQ(hostPath(c.path.c_str()), c.utf8) << c.codePage << " " << c.path;
    }

    // velkar-run's own arguments go the other way.
    std::string text = "kept";
    hostSetCodePage(932);
    ASSERT_TRUE(hostFromUtf8("/tmp/表/ソ", &text));
    EXPECT_EQ(text, "/tmp/\x95\x5C/\x83\x5C");
    hostSetCodePage(1252);
    EXPECT_FALSE(hostFromUtf8("/tmp/日本", &text)) << "code page 1252 has no kanji";
    EXPECT_EQ(text, "/tmp/\x95\x5C/\x83\x5C") << "left as it was";
    hostReset();
}

}  // namespace
