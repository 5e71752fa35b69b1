// velkar-run as people use it on files they do not trust: hostile member
// paths stay inside the destination, the exit status tells success from
// failure, and the command line says what is wrong with it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/archive_maker.h"
#include "support/bit_writer.h"
#include "support/command.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string output;  // standard output and standard error together
};

// Runs velkar-run in the folder cwd with TEMP pointing at temp, for at most
// 20 seconds.
Result velkarRun(const std::string& cwd, const std::string& temp, const std::string& arguments,
                 const std::string& input = "< /dev/null") {
    int status = 0;
    Result result;
    result.output = runCommand(
        "cd '" + cwd + "' && TEMP='" + temp + "' timeout 20 '" VELKAR_RUN "' " + arguments + " 2>&1 " + input, &status);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> entriesUnder(const std::string& root) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) entries.push_back(entry.path().string());
    return entries;
}

MemberSpec member(const std::string& directory, const std::string& name) {
    MemberSpec spec;
    spec.directory = directory;
    spec.name = name;
    spec.data = "hostile";
    return spec;
}

MemberSpec folder(const std::string& directory) {
    MemberSpec spec = member(directory, "");
    spec.method = 'd';
    spec.withName = false;
    spec.data = "";
    return spec;
}

class VelkarRunTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        for (const char* folder : {"cwd", "cwd/out", "outside", "temp"}) ::mkdir(scratch.file(folder).c_str(), 0755);
    }
    std::string makeSelf(const std::vector<MemberSpec>& members, unsigned char flags = 0,
                         const std::string& destDir = "") {
        std::string archive;
        for (const MemberSpec& m : members) archive += level2Member(m);
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        block.flags = flags;
        std::strcpy(block.windowTitle, "Setup");
        std::strcpy(block.destDir, destDir.c_str());
        return writeStandInSelf(scratch, block, archive + std::string(2, '\0'));
    }
};

// Each path would land outside the destination if written as the stub
// writes it; with "-n out" the destination is cwd/out.
TEST_F(VelkarRunTest, MembersThatLeaveTheDestinationAreSkipped) {
    const std::string outside = scratch.file("outside");
    ASSERT_EQ(::symlink(outside.c_str(), scratch.file("cwd/out/link").c_str()), 0);
    const std::string outsideUp =
        "..\xFF..\xFF"
        "outside\xFF";  // from cwd/out up to the scratch folder
    struct Case {
        const char* what;
        MemberSpec spec;
    } cases[] = {
        {"'..' with 0xFF separators", member(outsideUp, "x")},
        {"'..' with '/'", member("", "../../outside/x")},
        {"'..' with '\\'", member("", "..\\..\\outside\\x")},
        {"'..' after a directory", member("sub\xFF..\xFF..\xFF..\xFF"
                                          "outside\xFF",
                                          "x")},
        {"an absolute path", member("", outside + "/x")},
        {"a directory field that starts at the root", member("\xFF" + outside.substr(1) + "\xFF", "x")},
        {"a root of the current drive", member("", "\\x")},
        {"a drive letter", member("", "C:x")},
        {"a drive letter and '..'", member("", "c:..\\x")},
        {"the temporary folder's macro", member("", "%WORK%/x")},
        {"a link in the destination", member("link\xFF", "x")},
        {"a directory entry outside", folder(outsideUp + "made\xFF")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string self = makeSelf({member("", "first.txt"), c.spec, member("", "last.txt")});
        Result result = velkarRun(scratch.file("cwd"), scratch.file("temp"), "'" + self + "' -n out");
        EXPECT_EQ(result.status, 1) << result.output;
        EXPECT_NE(result.output.find("skipped"), std::string::npos) << result.output;
        EXPECT_TRUE(entriesUnder(outside).empty());
        EXPECT_TRUE(entriesUnder(scratch.file("temp")).empty());
        std::vector<std::string> inCwd;
        for (const auto& entry : fs::directory_iterator(scratch.file("cwd"))) inCwd.push_back(entry.path().filename());
        EXPECT_EQ(inCwd, std::vector<std::string>{"out"}) << "nothing beside the destination";
        EXPECT_EQ(scratch.read("cwd/out/first.txt"), "hostile");
        EXPECT_EQ(scratch.read("cwd/out/last.txt"), "hostile") << "the run goes on";
        fs::remove(scratch.file("cwd/out/first.txt"));
        fs::remove(scratch.file("cwd/out/last.txt"));
    }

    // A test writes nothing, so a link in the destination cannot carry a
    // member out of it; a name that climbs out is still reported.
    for (auto [spec, status] : {std::pair{member("link\xFF", "x"), 0}, {member("", "../../outside/x"), 1}}) {
        Result result =
            velkarRun(scratch.file("cwd"), scratch.file("temp"), "--test '" + makeSelf({spec}) + "' -n out");
        EXPECT_EQ(result.status, status) << result.output;
    }
    EXPECT_TRUE(entriesUnder(outside).empty());

    // -P writes where the stub would.
    std::string self = makeSelf({member(outsideUp, "x")});
    Result result = velkarRun(scratch.file("cwd"), scratch.file("temp"), "-P '" + self + "' -n out");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(scratch.read("outside/x"), "hostile");
}

TEST_F(VelkarRunTest, StatusesTellSuccessFailureAndRefusal) {
    MemberSpec damaged = member("", "bad.txt");
    damaged.dataCrc = 0x1234;
    scratch.write("plain.lzh", level2Member(member("", "a.txt")) + std::string(2, '\0'));
    const std::string good = makeSelf({member("", "a.txt")});
    const std::string cwd = scratch.file("cwd");
    const std::string temp = scratch.file("temp");
    struct Case {
        const char* what;
        std::function<std::string()> arguments;
        int status;
        const char* says;
    } cases[] = {
        {"unpacked", [&] { return "'" + good + "' -n out"; }, 0, "1 file written, 7 bytes, 0 failures"},
        {"tested", [&] { return "--test '" + good + "' -n out"; }, 0, "1 file checked"},
        {"the stub's own status", [&] { return "--stub-status '" + good + "' -n out"; }, 1, ""},
        {"a CRC error", [&] { return "'" + makeSelf({damaged}) + "' -n out"; }, 2, "CRC ERROR"},
        {"a CRC error under --test", [&] { return "--test '" + makeSelf({damaged}) + "' -n out"; }, 2, "CRC ERROR"},
        {"a missing file", [&] { return "'" + scratch.file("missing.exe") + "'"; }, 2, "cannot open"},
        {"a plain archive", [&] { return "'" + scratch.file("plain.lzh") + "'"; }, 2, "is not a Velkar"},
        {"an unwritable destination", [&] { return "'" + good + "' -n /proc/velkar"; }, 2, "Open ERROR"},
        {"the dialog cancelled", [&] { return "'" + good + "'"; }, 3, "(cancelled)"},
        {"-h", [] { return std::string("-h"); }, 0, "usage:"},
        {"--version", [] { return std::string("--version"); }, 0, "velkar-run "},
        {"an unknown option", [] { return std::string("-x file.exe"); }, 4, "unknown option -x"},
        {"no file", [] { return std::string("--ok"); }, 4, "no file given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(scratch.file("cwd/out"));
        Result result = velkarRun(cwd, temp, c.arguments());
        EXPECT_EQ(result.status, c.status) << result.output;
        EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
    }
}

// A file that names its own destination and starts by itself still writes
// only where velkar-run's user said: the current directory unless a DIR was
// given, the file's choice only with -P. A test needs no destination and
// asks for none.
TEST_F(VelkarRunTest, TheDestinationIsTheUsersNotTheFiles) {
    const std::string self = makeSelf({member("", "a.txt")}, FLAG_AUTO_START, scratch.file("outside"));
    const std::string suggests = "the file suggests " + scratch.file("outside");
    struct Case {
        const char* what;
        std::string arguments;
        const char* written;  // under the scratch folder; 0 for nowhere
        bool toldOfSuggestion;
    } cases[] = {
        {"no DIR", "'" + self + "'", "cwd/a.txt", true},
        {"a DIR", "'" + self + "' -n out", "cwd/out/a.txt", false},
        {"-P", "-P '" + self + "'", "outside/a.txt", false},
        {"--test", "--test '" + self + "' -n-", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* file : {"cwd/a.txt", "cwd/out/a.txt", "outside/a.txt"}) ::unlink(scratch.file(file).c_str());
        Result result = velkarRun(scratch.file("cwd"), scratch.file("temp"), c.arguments);
        EXPECT_EQ(result.status, 0) << result.output;
        for (const char* file : {"cwd/a.txt", "cwd/out/a.txt", "outside/a.txt"})
            EXPECT_EQ(scratch.exists(file), c.written && std::strcmp(file, c.written) == 0) << file;
        EXPECT_EQ(result.output.find(suggests) != std::string::npos, c.toldOfSuggestion) << result.output;
        EXPECT_EQ(result.output.find("Enter to unpack"), std::string::npos) << result.output;
    }
}

// 7 packed bytes that claim 4 GiB: once the packed data are used up the
// member is damaged, and the run ends at once instead of filling the disk.
TEST_F(VelkarRunTest, AMemberClaimingFourGiBEndsAtItsPackedData) {
    BitWriter bits;
    bits.put(0, 16);  // 65,536 symbols, each one 'q' at no cost
    bits.put(0, 5);
    bits.put(0, 5);
    bits.put(0, 9);
    bits.put('q', 9);
    bits.put(0, 4);
    bits.put(0, 4);
    MemberSpec claim = member("", "claim.bin");
    claim.method = '5';
    claim.data = bits.bytes();
    claim.unpackedSize = 0xFFFFFFFE;  // all ones would mean the size of the data here
    std::string self = makeSelf({member("", "first.txt"), claim});
    Result result = velkarRun(scratch.file("cwd"), scratch.file("temp"), "'" + self + "' -n out");
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_NE(result.output.find("Read ERROR"), std::string::npos) << result.output;
    EXPECT_FALSE(scratch.exists("cwd/out/claim.bin")) << "the partial file is deleted";
    EXPECT_EQ(scratch.read("cwd/out/first.txt"), "hostile");
}

TEST_F(VelkarRunTest, AnArchiveCutAtAMemberBoundaryIsReported) {
    std::string self = makeSelf({member("", "a.txt")});
    std::string bytes = scratch.read("self.exe");
    scratch.write("self.exe", bytes.substr(0, bytes.size() - 2));
    Result result = velkarRun(scratch.file("cwd"), scratch.file("temp"), "'" + self + "' -n out");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_NE(result.output.find("may have been cut short"), std::string::npos) << result.output;
    EXPECT_EQ(scratch.read("cwd/out/a.txt"), "hostile");

    scratch.write("self.exe", bytes.substr(0, bytes.size() - 1));
    result = velkarRun(scratch.file("cwd"), scratch.file("temp"), "'" + self + "' -n out");
    EXPECT_EQ(result.output.find("cut short"), std::string::npos) << "one zero byte ends an archive";
}

// The installer's actions are printed in script order and never carried
// out; a No to "Set Class?" skips that class but declines nothing.
TEST_F(VelkarRunTest, InstallerActionsArePrintedNotPerformed) {
    MemberSpec script = member("", "$");
    script.data =
        "$ClassTitle=Register\r\n$GroupTitle=Make a group\r\n$AskRegist=\r\n"
        "$Class=.VKT,Velkar text,view.exe,VelkarText\r\n$Group=Tools,Viewer,view.exe\r\n"
        "$Command=view.exe readme.txt\r\n";
    const std::string self = makeSelf({script, member("", "view.exe")});
    for (const char* answer : {"y", "n"}) {
        SCOPED_TRACE(answer);
        fs::remove_all(scratch.file("cwd/out"));
        Result result = velkarRun(scratch.file("cwd"), scratch.file("temp"),
                                  std::string("--ok --answer=") + answer + " '" + self + "' out");
        EXPECT_EQ(result.status, 0) << result.output;
        std::vector<std::string> expected = {"[x] Make a group", "[x] Register", "\"Velkar text\" Set Class?"};
        if (*answer == 'y') {
            expected.push_back("class .vkt -> VelkarText\n");
            expected.push_back("class VelkarText\\shell\\open\\command -> \"");
        }
        expected.push_back("group [CreateGroup(\"Tools\",0)] [AddItem(");
        expected.push_back("command (not started on this system): view.exe readme.txt in ");
        size_t at = 0;
        for (const std::string& text : expected) {
            size_t found = result.output.find(text, at);
            EXPECT_NE(found, std::string::npos) << text << " in order in\n" << result.output;
            if (found != std::string::npos) at = found;
        }
        if (*answer == 'n') {
            EXPECT_EQ(result.output.find("class "), std::string::npos) << result.output;
        }
    }
}

// What a careless or hostile command line or archive may bring: each row
// says the status, the words of the message, and what must and must not be
// on disk afterwards (relative to cwd).
TEST_F(VelkarRunTest, HostileInputsEndWithTheRightStatusAndNothingLost) {
    const std::string cwd = scratch.file("cwd");
    scratch.write("cwd/old.txt", "kept");
    ::mkfifo(scratch.file("pipe.exe").c_str(), 0644);
    MemberSpec question = member("", "!");
    question.data = "Unpack?";
    MemberSpec script = member("", "$");
    script.data = "$WindowTitle=Only reserved\r\n";
    MemberSpec newer = member("", "old.txt");
    newer.timeStamp = 1;  // older than the file already there
    MemberSpec damaged = member("", "bad.txt");
    damaged.dataCrc = 0x1234;
    const std::string good = makeSelf({member("", "a.txt")});
    const std::string longDir(256, 'd');
    struct Case {
        const char* what;
        std::function<std::string()> arguments;
        int status;
        const char* says;
        std::vector<std::string> present, absent;
        std::string input = "< /dev/null";
    } cases[] = {
        {"a DIR of 256 bytes", [&] { return "--ok '" + good + "' " + longDir; }, 4, "bytes long", {}, {"a.txt"}},
        {"a pipe as the file", [&] { return "'" + scratch.file("pipe.exe") + "' -n out"; }, 2, "not a regular file"},
        {"names no Windows holds",
         [&] {
             return "'" + makeSelf({member("", "esc\x1B[2J.txt"), member("", "a<b.txt"), member("", "ok.txt")}) +
                    "' -n out";
         },
         1,
         "skipped out/esc\\x1B[2J.txt: the name holds a character",
         {"out/ok.txt", "out/a_b.txt"},
         {"out/esc\x1B[2J.txt", "out/a<b.txt"}},
        {"only the reserved members",
         [&] {
             return "--answer=y '" + makeSelf({question, script}) + "' -n out";
         },
         2, "nothing was unpacked"},
        {"every member kept as newer",
         [&] { return "'" + makeSelf({newer}) + "' -n ."; },
         2,
         "old.txt: the file there is as new as the member or newer",
         {"old.txt"}},
        {"a member kept by answering No",
         [&] { return "--answer=n '" + makeSelf({member("", "old.txt")}) + "' -n -c ."; },
         2,
         "old.txt: the overwrite question was answered No",
         {"old.txt"}},
        {"device names, any case, with or without an extension",
         [&] {
             return "'" +
                    makeSelf({member("", "CON"), member("", "nul.txt"), member("", "Com1.log"),
                              member("aux\xFF", "x.txt"), folder("lpt9\xFF"), member("", "console.txt"),
                              member("", "com0")}) +
                    "' -n out";
         },
         1,
         "skipped out/CON: a device name on Windows",
         {"out/console.txt", "out/com0"},
         {"out/CON", "out/nul.txt", "out/Com1.log", "out/aux", "out/lpt9"}},
        {"names ending in a dot or a blank",
         [&] {
             return "'" +
                    makeSelf(
                        {member("", "dot."), member("dir.\xFF", "x"), member("", "blank "), member("", ".hidden")}) +
                    "' -n out";
         },
         1,
         "skipped out/dot.: a name ending in a dot or a blank",
         {"out/.hidden"},
         {"out/dot.", "out/dir.", "out/blank "}},
        {"only folders: making them counts",
         [&] {
             return "'" + makeSelf({folder("empty\xFF"), folder("empty\xFFinner\xFF")}) + "' -n out";
         },
         0,
         "0 failures, 2 folders made",
         {"out/empty/inner"}},
        {"a folder that cannot be made is a failure",
         [&] { return "'" + makeSelf({folder("empty\xFF")}) + "' -n /proc/velkar"; }, 2,
         "1 folder of the archive could not be made"},
        {"a method Velkar lacks, with a zero byte in it",
         [&] {
             MemberSpec foreign = member("", "a.txt");
             foreign.methodId = std::string("\0lh5-", 5);
             return "'" + makeSelf({foreign}) + "' -n out";
         },
         2,
         "Bad header (the member is packed with method \\x00lh5-, which Velkar does not unpack)",
         {},
         {"out/a.txt"}},
        {"an archive without members", [&] { return "'" + makeSelf({}) + "' -n out"; }, 2, "nothing was unpacked"},
        {"a failed file is not counted",
         [&] {
             return "'" + makeSelf({member("", "a.txt"), damaged}) + "' -n out";
         },
         2,
         "1 file written, 14 bytes, 1 failure",
         {"out/a.txt"},
         {"out/bad.txt"}},
        {"standard input closed: no answer, not the archive's bytes",
         [&] {
             return "'" + makeSelf({question, member("", "a.txt")}) + "' -n out";
         },
         3,
         "(no answer: no)",
         {},
         {"out/a.txt"},
         "0<&-"},
        {"a Cyrillic code page", [&] { return "--codepage 1251 '" + makeSelf({member("", "a.txt")}) + "' -n out"; }, 0,
         "1 file written"},
        {"an OEM code page", [&] { return "--codepage 437 '" + good + "'"; }, 4, "1251 Cyrillic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(scratch.file("cwd/out"));
        Result result = velkarRun(cwd, scratch.file("temp"), c.arguments(), c.input);
        EXPECT_EQ(result.status, c.status) << result.output;
        EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
        for (const std::string& path : c.present) EXPECT_TRUE(scratch.exists("cwd/" + path)) << path;
        for (const std::string& path : c.absent) EXPECT_FALSE(scratch.exists("cwd/" + path)) << path;
    }
    EXPECT_EQ(scratch.read("cwd/old.txt"), "kept");
}

}  // namespace
