#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/directory_macros.h"
#include "common/text_ops.h"
#include "support/test_support.h"

namespace {

const char PROGRAM_FILES_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string windowsForm(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

class DirectoryMacrosTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        hostSetWindowsDirectory("D:\\WINNT");
        hostSetSystemDirectory("D:\\WINNT\\SYSTEM32");
    }

    // Expands text in a buffer of size bytes and checks that nothing behind
    // it was written.
    std::string expanded(const std::string& text, uint32_t size = 260) {
        std::vector<char> buffer(size + 16, '#');
        std::strcpy(buffer.data(), text.c_str());
        expandDirectoryMacro(buffer.data(), size, "");
        for (uint32_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], '#') << text;
        return buffer.data();
    }

    // A member path of the form "%Search%/<name>", searched for its own last
    // component as the extract pass does.
    std::string searched(const std::string& name) {
        char text[260];
        std::strcpy(text, ("%Search%/" + name).c_str());
        expandDirectoryMacro(text, sizeof text, lastComponent(text));
        return text;
    }
};

TEST_F(DirectoryMacrosTest, MacrosMatchOnlyWholeAtTheFirstByte) {
    hostSetEnv("TEMP", "C:\\Temp");
    hostSetRegistryString(PROGRAM_FILES_KEY, "ProgramFilesDir", "E:\\Programs");
    const char* cases[][2] = {
        {"%WORK%\\x", "C:\\Temp\\x"},
        {"%WinDir%/Fonts", "D:\\WINNT\\Fonts"},
        {"%WinDir%Fonts", "D:\\WINNTFonts"},
        {"%WinRoot%\\Apps", "D:\\Apps"},
        {"%SystemDir%/a.dll", "D:\\WINNT\\SYSTEM32\\a.dll"},
        {"%ProgramFiles%\\Tool", "E:\\Programs\\Tool"},
        {"%Search%/tool.dll", "%Search%\\tool.dll"},
        {"%windir%/x", "%windir%\\x"},
        {"x/%WinDir%", "x\\%WinDir%"},
        {"%WinDir", "%WinDir"},
        {"a/b\xFF"
         "c",
         "a\\b\\c"},
    };
    for (const auto& c : cases) EXPECT_EQ(expanded(c[0]), c[1]) << c[0];
}

TEST_F(DirectoryMacrosTest, ProgramFilesFallsBackToTheWindowsDrive) {
    struct Case {
        const char* value;  // nullptr: no registry value
        int win32s;
        const char* expected;
    };
    const std::string tooLong(300, 'p');
    const Case cases[] = {
        {"E:\\Programs", 0, "E:\\Programs\\Tool"},
        {"E:\\Programs", 1, "D:\\Tool"},
        {nullptr, 0, "D:\\Tool"},
        {"", 0, "D:\\Tool"},
        {tooLong.c_str(), 0, "D:\\Tool"},
    };
    for (const Case& c : cases) {
        hostReset();
        hostSetWindowsDirectory("D:\\WINNT");
        if (c.value) hostSetRegistryString(PROGRAM_FILES_KEY, "ProgramFilesDir", c.value);
        isWin32s = c.win32s;
        EXPECT_EQ(expanded("%ProgramFiles%\\Tool"), c.expected) << c.win32s;
    }
}

TEST_F(DirectoryMacrosTest, SearchGivesTheFolderWhereTheFileIsFound) {
    std::filesystem::create_directory(scratch.file("sys"));
    scratch.write("sys/tool.dll", "");
    scratch.write("here.dll", "");
    hostSetCurrentDirectory(scratch.path());
    hostSetSystemDirectory(scratch.file("sys"));
    EXPECT_EQ(searched("here.dll"), windowsForm(scratch.path()) + "\\here.dll");
    EXPECT_EQ(searched("tool.dll"), windowsForm(scratch.file("sys")) + "\\tool.dll");
    EXPECT_EQ(searched("nowhere.dll"), windowsForm(scratch.file("sys")) + "\\nowhere.dll");

    // A path found that does not fit the 256-byte buffer counts as not found.
    std::string deep(250, 'd');
    std::filesystem::create_directory(scratch.file(deep));
    scratch.write(deep + "/deep.dll", "");
    hostSetCurrentDirectory(scratch.file(deep));
    EXPECT_EQ(searched("deep.dll"), windowsForm(scratch.file("sys")) + "\\deep.dll");
}

TEST_F(DirectoryMacrosTest, WorkFallsBackToTmpThenWindowsTempThenCurrent) {
    hostSetEnv("TMP", "C:\\Tmp");
    EXPECT_EQ(expanded("%WORK%\\x"), "C:\\Tmp\\x");

    hostUnsetEnv("TMP");
    std::string windows = scratch.file("new/WIN");
    hostSetWindowsDirectory(windows);
    EXPECT_EQ(expanded("%WORK%\\x"), windowsForm(windows) + "\\TEMP\\x");
    EXPECT_TRUE(std::filesystem::is_directory(windows + "/TEMP"));

    hostSetWindowsDirectory("");
    hostSetCurrentDirectory("C:\\Here");
    EXPECT_EQ(expanded("%WORK%\\x"), "C:\\Here\\x");
    hostSetCurrentDirectory("");
    EXPECT_EQ(expanded("%WORK%\\x"), "\\x");
}

// A TEMP that is set decides even when it does not fit; TMP is not used then.
TEST_F(DirectoryMacrosTest, WorkDirectoryThatDoesNotFitIsEmpty) {
    struct Case {
        std::string temp;
        std::string windows;
        uint32_t size;
        uint32_t result;
        std::string out;
    };
    const std::string fits(255, 't');
    const Case cases[] = {
        {"C:\\T", "", 256, 4, "C:\\T"},
        {"C:\\T", "", 4, 5, ""},
        {fits, "", 256, 255, fits},
        {fits + "t", "", 256, 257, ""},
        {"", std::string(251, 'w'), 256, 257, ""},
        {"", "", 256, 0, ""},
    };
    for (const Case& c : cases) {
        hostReset();
        if (!c.temp.empty()) {
            hostSetEnv("TEMP", c.temp);
            hostSetEnv("TMP", "C:\\Tmp");
        }
        hostSetWindowsDirectory(c.windows);
        char out[300] = "junk";
        EXPECT_EQ(getWorkDirectory(c.size, out), c.result) << c.temp.size();
        EXPECT_EQ(out, c.out);
    }
    hostSetEnv("TEMP", fits + "t");
    EXPECT_EQ(expanded("%WORK%\\rest"), "\\rest");
}

// Folders that do not fit, and expansions that fit neither the result nor
// the caller's buffer: never a cut path, never a write past the buffer.
TEST_F(DirectoryMacrosTest, OversizedFoldersAndExpansionsAreRefused) {
    struct Case {
        std::string windows;
        std::string text;
        uint32_t size;
        std::string expected;
    };
    const std::string w250 = "C:\\" + std::string(247, 'w');
    const std::string w300(300, 'w');
    const Case cases[] = {
        {w300, "%WinDir%\\x", 260, "\\x"},
        {w300, "%WinRoot%\\x", 260, "\\x"},
        {"C", "%WinRoot%\\Apps", 260, "C\\Apps"},
        {w250, "%WinDir%/" + std::string(8, 'f'), 300, w250 + "\\" + std::string(8, 'f')},
        {w250, "%WinDir%/" + std::string(9, 'f'), 300, "%WinDir%\\" + std::string(9, 'f')},
        {"C:\\WINDOWS", "%WinDir%/abc", 15, "C:\\WINDOWS\\abc"},
        {"C:\\WINDOWS", "%WinDir%/abc", 14, "%WinDir%\\abc"},
    };
    for (const Case& c : cases) {
        hostSetWindowsDirectory(c.windows);
        EXPECT_EQ(expanded(c.text, c.size), c.expected) << c.text << " in " << c.size;
    }
    hostSetSystemDirectory(w300);
    EXPECT_EQ(expanded("%SystemDir%\\x"), "\\x");
}

}  // namespace
