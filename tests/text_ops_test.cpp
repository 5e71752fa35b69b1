#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/text_ops.h"
#include "support/test_support.h"

namespace {

class TextOpsTest : public RunTest {};

TEST_F(TextOpsTest, BoundedCopiesNeverPassTheirSize) {
    char buffer[8] = "abc";
    EXPECT_EQ(appendText(buffer, "defghij", sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(appendText(buffer, "x", sizeof buffer), 0u);
    EXPECT_EQ(copyText(buffer, "0123456789", 4), 3u);
    EXPECT_STREQ(buffer, "012");
    EXPECT_EQ(copyText(buffer, "zz", 0), 0u);
    EXPECT_STREQ(buffer, "012");
}

TEST_F(TextOpsTest, FormatTextFollowsWsprintfAndTruncates) {
    struct Case {
        uint32_t size;
        const char* expected;
    };
    const Case cases[] = {
        {64, "\"C:\\a.txt\" Read ERROR 0 4294967295 50%"},
        {12, "\"C:\\a.txt\" "},
        {1, ""},
    };
    for (const Case& c : cases) {
        char out[65];
        std::memset(out, '#', sizeof out);
        uint32_t length = formatText(out, c.size, "\"%s\" %s %lu %lu 50%%", "C:\\a.txt", "Read ERROR", uint32_t{0},
                                     uint32_t{0xFFFFFFFF});
        EXPECT_STREQ(out, c.expected) << c.size;
        EXPECT_EQ(length, std::strlen(c.expected));
        EXPECT_EQ(out[c.size], '#') << c.size;
    }
    char out[16];
    formatText(out, sizeof out, "%d%l%");
    EXPECT_STREQ(out, "%d%l%");
}

TEST_F(TextOpsTest, CompareNStopsAtDifferenceNulOrCount) {
    EXPECT_EQ(compareN("%WinDir%\\x", "%WinDir%", 8), 0);
    EXPECT_EQ(compareN("abcX", "abcY", 3), 0);
    EXPECT_GT(compareN("%windir%", "%WinDir%", 8), 0);
    EXPECT_LT(compareN("%Win", "%WinDir%", 8), 0);
    EXPECT_GT(compareN("\x80", "\x7F", 1), 0);
    EXPECT_EQ(compareN("ab\0x", "ab\0y", 4), 0);
}

// Under code page 932 a trail byte may equal '\', '/' or 0xFF; none of the
// scans may take it for a separator, and a lead byte right before the
// terminator must not carry a scan past it.
TEST_F(TextOpsTest, TrailBytesAreNeverSeparators) {
    struct Case {
        const char* text;
        int normalisedFrom;  // the offset normaliseSeparators returns
        const char* normalised;
        int found;      // findAnyOf with '\' and '/', -1 for none
        int component;  // offset of lastComponent
        const char* separated;
    };
    const Case cases[] = {
        {"\x95\x5C", 0, "\x95\x5C", -1, 0, "\x95\x5C/"},
        {"a\\\x83\x2Fx", 2, "a/\x83\x2Fx", 1, 2, "a\\\x83\x2Fx/"},
        {"\x81\xFF/b", 3, "\x81\xFF/b", 2, 3, "\x81\xFF/b/"},
        {"d\xFFx:y", 2, "d/x:y", -1, 4, "d\xFFx:y/"},
        {"dir/", 4, "dir/", 3, 4, "dir/"},
        {"a\x95", 0, "a\x95", -1, 0, "a\x95/"},
    };
    hostSetCodePage(932);
    for (const Case& c : cases) {
        char text[32];
        std::strcpy(text, c.text);
        char* found = findAnyOf(text, "\\/");
        EXPECT_EQ(found ? found - text : -1, c.found) << c.text;
        EXPECT_EQ(lastComponent(text) - text, c.component) << c.text;
        appendSeparator(text);
        EXPECT_STREQ(text, c.separated);
        std::strcpy(text, c.text);
        EXPECT_EQ(normaliseSeparators(text, '/') - text, c.normalisedFrom) << c.text;
        EXPECT_STREQ(text, c.normalised);
    }
    EXPECT_EQ(findAnyOf("\x95\x5C", "\x95\\"), nullptr);
    char leadAtEnd[] = "ab\x95\0\\c";
    EXPECT_EQ(findAnyOf(leadAtEnd, "\\"), nullptr);
    EXPECT_EQ(normaliseSeparators(leadAtEnd, '/'), leadAtEnd);
    EXPECT_EQ(leadAtEnd[4], '\\');
}

TEST_F(TextOpsTest, SingleByteCodePageSeesEveryByte) {
    char text[] =
        "\x95\x5C"
        "a";
    EXPECT_EQ(findAnyOf(text, "\\"), text + 1);
    EXPECT_EQ(normaliseSeparators(text, '/'), text + 2);
    EXPECT_STREQ(text, "\x95/a");
}

TEST_F(TextOpsTest, DirectoryChainCreatesEveryPrefixBeforeASlash) {
    createDirectoryChain((scratch.path() + "/a/b/c.txt").c_str());
    EXPECT_TRUE(scratch.exists("a/b"));
    EXPECT_FALSE(scratch.exists("a/b/c.txt"));
    createDirectoryChain((scratch.path() + "/d/e/").c_str());
    EXPECT_TRUE(std::filesystem::is_directory(scratch.file("d/e")));
}

// Directories whose whole name fits the 516-byte working buffer are made;
// none is made under a cut name.
TEST_F(TextOpsTest, DirectoryChainStopsWhereTheBufferEnds) {
    std::string path = scratch.path();
    std::vector<std::string> made;
    while (path.size() < 700) {
        path += "/" + std::string(90, 'x');
        made.push_back(path);
    }
    createDirectoryChain((path + "/").c_str());
    for (const std::string& dir : made) {
        EXPECT_EQ(std::filesystem::is_directory(dir), dir.size() <= 515) << dir.size();
    }
}

}  // namespace
