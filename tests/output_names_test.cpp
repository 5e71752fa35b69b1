#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/output_names.h"
#include "archive/walk.h"
#include "common/text_ops.h"
#include "support/test_support.h"

namespace {

const int LONG = 1;
const int SHORT = 0;

// The name the walk's display was last given.
std::string lastShown;

class OutputNamesTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        static const WalkDisplay display = {[](const char* name) { lastShown = name; }, nullptr};
        run->display = &display;
        lastShown.clear();
    }
    static const std::string& shownName() { return lastShown; }

    // Runs cleanRun in a buffer with a guard behind it and checks the end it
    // returns.
    std::string cleaned(const std::string& text, uint32_t limit, int longNames) {
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back(0);
        buffer.push_back('#');
        char* end = cleanRun(buffer.data(), limit, longNames);
        EXPECT_EQ(end, buffer.data() + std::strlen(buffer.data()));
        EXPECT_EQ(buffer.back(), '#');
        return buffer.data();
    }

    // sanitiseComponent or sanitisePath on a copy of text.
    std::string sanitised(void (*sanitise)(char*, int), const std::string& text, int longNames) {
        std::vector<char> buffer(text.begin(), text.end());
        buffer.push_back(0);
        sanitise(buffer.data(), longNames);
        return buffer.data();
    }

    // buildOutputPath into outSize bytes followed by a guard, then made '/'
    // throughout as the extract pass does next. Empty when refused.
    std::string built(const std::string& extractDir, const std::string& member, uint32_t outSize = 516) {
        char memberPath[260];
        copyText(memberPath, member.c_str(), sizeof memberPath);
        std::vector<char> out(outSize + 8, '#');
        int fits = buildOutputPath(out.data(), outSize, extractDir.c_str(), memberPath, sizeof memberPath);
        for (uint32_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], '#') << member;
        EXPECT_EQ(fits, out[0] != 0) << member;
        normaliseSeparators(out.data(), '/');
        return out.data();
    }

    std::string display(const std::string& text, uint32_t outSize = 1024) {
        std::vector<char> out(outSize + 8, '#');
        shortDisplayName(out.data(), outSize, text.c_str(), 32);
        for (uint32_t i = outSize; i < out.size(); ++i) EXPECT_EQ(out[i], '#') << text;
        return out.data();
    }
};

TEST_F(OutputNamesTest, ComponentsFollowTheVolumeRules) {
    struct Case {
        const char* text;
        const char* longName;
        const char* shortName;
    };
    const Case cases[] = {
        {"Read Me.txt", "Read Me.txt", "Read_Me.txt"},
        {"archive.tar.gz", "archive.tar.gz", "archive_.gz"},
        {"README", "README", "README"},
        {"verylongname.text", "verylongname.text", "verylong.tex"},
        {"..", "..", "_."},
        {".profile", ".profile", ".pro"},
        {"a\x01"
         "b\x1F.t\x7F",
         "a\x01"
         "b\x1F.t\x7F",
         "a_b_.t\x7F"},
        {"a+b,c;d", "a+b,c;d", "a_b_c_d"},
        {"a\xFF"
         "b",
         "a\xFF"
         "b",
         "a_b"},
        {"a\"b*c?.<|>", "a_b_c_.___", "a_b_c_.___"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sanitised(sanitiseComponent, c.text, LONG), c.longName) << c.text;
        EXPECT_EQ(sanitised(sanitiseComponent, c.text, SHORT), c.shortName) << c.text;
    }
}

// Under code page 932 a trail byte may be '\' (0x5C) and must stay; a lead
// byte whose trail byte would fall behind the cut goes with it.
TEST_F(OutputNamesTest, CutsKeepDoubleByteCharactersWhole) {
    hostSetCodePage(932);
    const std::string a254(254, 'a');
    const std::string a253(253, 'a');
    struct Case {
        std::string text;
        uint32_t limit;
        int longNames;
        std::string expected;
    };
    const Case cases[] = {
        {a254 + "\x82\xA0" + std::string(44, 'b'), 255, LONG, a254},
        {a253 + "\x82\xA0" + std::string(45, 'b'), 255, LONG, a253 + "\x82\xA0"},
        {std::string(300, 'c'), 255, LONG, std::string(255, 'c')},
        {"abcdefg\x95\x5C", 8, SHORT, "abcdefg"},
        {"ab\x81", 8, SHORT, "ab"},
        {"\x95\x5C\x95\x7C", 8, SHORT, "\x95\x5C\x95\x7C"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cleaned(c.text, c.limit, c.longNames), c.expected) << c.text.size();
    }
    EXPECT_EQ(sanitised(sanitiseComponent, "\x95\x5C\x95\x5C.tx\x95\x5C", SHORT), "\x95\x5C\x95\x5C.tx");

    hostSetCodePage(0);
    EXPECT_EQ(cleaned(a254 + "\x82\xA0", 255, LONG), a254 + "\x82");
}

TEST_F(OutputNamesTest, PathsAreCleanedComponentByComponent) {
    struct Case {
        const char* text;
        int longNames;
        const char* expected;
    };
    const Case cases[] = {
        {"/a b/c d.txt", SHORT, "/a_b/c_d.txt"},
        {"dir.name.ext/file.tar.gz", SHORT, "dir_name.ext/file_tar.gz"},
        {"verylongdirectory/verylongfile", SHORT, "verylong/verylong"},
        {"../../x.txt", SHORT, "_./_./x.txt"},
        {"../../x.txt", LONG, "../../x.txt"},
        {"a/b/", SHORT, "a/b/"},
        {"//server/share/x", SHORT, "//server/share/x"},
    };
    for (const Case& c : cases) EXPECT_EQ(sanitised(sanitisePath, c.text, c.longNames), c.expected) << c.text;

    hostSetCodePage(932);
    EXPECT_EQ(sanitised(sanitisePath, "\x95/\x95/long name here/x", SHORT), "\x95/\x95/long/x");
}

TEST_F(OutputNamesTest, MemberPathsArePlacedUnderTheExtractDirectory) {
    hostSetWindowsDirectory("E:\\WINNT");
    struct Case {
        const char* extractDir;
        const char* member;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\Dest", "a/b.txt", "C:/Dest/a/b.txt"},
        {"D:", "a/b.txt", "D:a/b.txt"},
        {"D:\\Dest", "\\top/x.txt", "D:/top/x.txt"},
        {"Dest", "/top/x.txt", "/top/x.txt"},
        {"C:\\Dest", "%WinDir%/x.txt", "E:/WINNT/x.txt"},
        {"C:\\Dest", "F:x.txt", "F:x.txt"},
        {"C:\\Dest\\", "a.txt", "C:/Dest/a.txt"},
        {"", "a/b.txt", "a/b.txt"},
        {"C:\\Dest",
         "d\xFF"
         "e/",
         "C:/Dest/d/e/"},
    };
    for (const Case& c : cases) EXPECT_EQ(built(c.extractDir, c.member), c.expected) << c.member;

    // A trail byte 0x5C at the end of the directory is no separator.
    hostSetCodePage(932);
    EXPECT_EQ(built("C:\\\x95\x5C", "a"), "C:/\x95\x5C/a");
}

// The widest extract directory and member path fill the buffer exactly; a
// combination that does not fit is refused whole instead of being cut into a
// path that could name another existing location.
TEST_F(OutputNamesTest, OutputPathsAreNeverCut) {
    const std::string dir = "C:\\" + std::string(252, 'd');
    const std::string member(259, 'm');
    EXPECT_EQ(built(dir, member), "C:/" + std::string(252, 'd') + "/" + member);

    EXPECT_EQ(built("C:\\Dest", "abcdefgh.txt", 21), "C:/Dest/abcdefgh.txt");
    EXPECT_EQ(built("C:\\Dest", "abcdefgh.txt", 20), "");
    EXPECT_EQ(built("D:\\Dest", "\\abcdefgh.txt", 15), "");

    // A macro folder that fits with the member path is used; one that does
    // not is left unexpanded, so the member stays under the extract directory.
    const std::string folder = "E:\\" + std::string(197, 'w');
    hostSetWindowsDirectory(folder);
    EXPECT_EQ(built(dir, "%WinDir%/" + std::string(50, 'n')),
              "E:/" + std::string(197, 'w') + "/" + std::string(50, 'n'));
    hostSetWindowsDirectory(folder + std::string(50, 'w'));
    const std::string name(250, 'n');
    EXPECT_EQ(built(dir, "%WinDir%/" + name), "C:/" + std::string(252, 'd') + "/%WinDir%/" + name);
}

TEST_F(OutputNamesTest, DisplayNamesFitTheWidth) {
    const std::string path40 = "C:/" + std::string(20, 'p') + "/abcdefg/file.txt";
    ASSERT_EQ(path40.size(), 40u);
    const std::string title27(27, 't');
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {std::string(31, 'x'), std::string(31, 'x')},
        {std::string(32, 'x'), ".../" + std::string(32, 'x')},
        {path40, path40.substr(0, 19) + ".../file.txt"},
        {"C:/dir/" + title27, ".../" + title27},
        {"C:/" + std::string(40, 'T'), ".../" + std::string(40, 'T')},
        {"C:/" + std::string(40, 'd') + "/", "C:/" + std::string(24, 'd') + ".../"},
    };
    for (const Case& c : cases) EXPECT_EQ(display(c.path), c.expected) << c.path;
    EXPECT_EQ(display(path40, 10), path40.substr(0, 9));

    // The start is cut on a whole character.
    hostSetCodePage(932);
    const std::string dbcs = "C:/" + std::string(15, 'p') + "\x95\x5C" + std::string(11, 'q') + "/file.txt";
    ASSERT_EQ(dbcs.size(), 40u);
    EXPECT_EQ(display(dbcs), "C:/" + std::string(15, 'p') + ".../file.txt");
}

TEST_F(OutputNamesTest, VolumeRulesComeFromTheDestinationDrive) {
    struct Case {
        const char* extractDir;
        uint32_t maxLength;
        const char* root;
        int longNames;
    };
    const Case cases[] = {
        {"D:\\dir", 255, "D:\\", 1},
        {"D:\\dir", 254, "D:\\", 0},
        {"D:\\dir", 0, "D:\\", 0},
        {"dir", 255, "", 1},
        {"", 255, "", 1},
        {"D:", 255, "D:\\", 1},
        {"\\\\server\\share", 255, "", 1},
    };
    for (const Case& c : cases) {
        copyText(run->extractDir, c.extractDir, sizeof run->extractDir);
        hostSetMaxComponentLength(c.maxLength);
        run->longNameVolume = !c.longNames;
        determineVolumeRules();
        EXPECT_EQ(hostVolumeRootAsked(), c.root) << c.extractDir;
        EXPECT_EQ(run->longNameVolume, c.longNames) << c.extractDir << " " << c.maxLength;
    }
}

// The whole step, pretended on drive letters: the drive's colon survives the
// 8.3 rules, and the extract directory's own components are cleaned too.
TEST_F(OutputNamesTest, PreparedPathsAreCleanedForTheVolume) {
    hostSetDiscardOutput(true);
    struct Case {
        const char* extractDir;
        const char* member;
        int longNames;
        const char* expected;
        const char* shown;
    };
    const Case cases[] = {
        {"C:\\Program Files", "Read Me.txt", SHORT, "C:/Program_/Read_Me.txt", "C:/Program_/Read_Me.txt"},
        {"C:\\Program Files", "Read Me.txt", LONG, "C:/Program Files/Read Me.txt", "C:/Program Files/Read Me.txt"},
        {"C:\\Dest", "../../x.txt", SHORT, "C:/Dest/_./_./x.txt", "C:/Dest/_./_./x.txt"},
        {"D:", "sub:dir/a.b.c", SHORT, "D:sub_dir/a_b.c", "D:sub_dir/a_b.c"},
        {"C:\\Some Long Folder\\Deeper", "another folder/file.txt", LONG,
         "C:/Some Long Folder/Deeper/another folder/file.txt", "C:/Some Long Folder.../file.txt"},
    };
    for (const Case& c : cases) {
        copyText(run->extractDir, c.extractDir, sizeof run->extractDir);
        copyText(run->memberPath, c.member, sizeof run->memberPath);
        run->longNameVolume = c.longNames;
        EXPECT_EQ(prepareOutputPath(), OutputPath::ready);
        EXPECT_STREQ(run->outputPath, c.expected) << c.member;
        EXPECT_EQ(shownName(), c.shown) << c.member;
    }
}

TEST_F(OutputNamesTest, DirectoriesOnTheWayAreCreated) {
    namespace fs = std::filesystem;
    const std::string base = scratch.path() + "/out";
    copyText(run->extractDir, base.c_str(), sizeof run->extractDir);
    run->longNameVolume = 1;

    copyText(run->memberPath, "sub dir/deeper/file.txt", sizeof run->memberPath);
    EXPECT_EQ(prepareOutputPath(), OutputPath::ready);
    EXPECT_EQ(std::string(run->outputPath), base + "/sub dir/deeper/file.txt");
    EXPECT_TRUE(fs::is_directory(base + "/sub dir/deeper"));
    EXPECT_FALSE(fs::exists(base + "/sub dir/deeper/file.txt"));
    EXPECT_EQ(shownName().substr(shownName().size() - 12), ".../file.txt");

    copyText(run->memberPath, "empty\\dir/", sizeof run->memberPath);
    EXPECT_EQ(prepareOutputPath(), OutputPath::ready);
    EXPECT_EQ(std::string(run->outputPath), base + "/empty/dir/");
    EXPECT_TRUE(fs::is_directory(base + "/empty/dir"));
}

}  // namespace
