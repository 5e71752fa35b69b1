#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/walk.h"
#include "startup/entry.h"
#include "support/archive_maker.h"
#include "support/test_support.h"
#include "ui/main_dialog.h"

namespace {

MemberSpec stored(const std::string& name, const std::string& data, uint32_t timeStamp = 1600000000) {
    MemberSpec spec;
    spec.name = name;
    spec.data = data;
    spec.timeStamp = timeStamp;
    return spec;
}

class WalkTest : public RunTest {
protected:
    // The program's own file: a stand-in stub with the settings block at 512
    // and the archive behind it, ended by a zero byte.
    void makeSelf(const std::vector<MemberSpec>& members, unsigned char flags = 0, int tamper = -1) {
        std::string archive;
        uint16_t crcXor = 0;
        for (const MemberSpec& member : members) {
            archive += level2Member(member);
            crcXor ^= member.dataCrc < 0 ? referenceCrc16(member.data) : member.dataCrc;
        }
        archive.push_back('\0');
        if (flags & FLAG_TAMPER_CHECK) archive = littleEndian(tamper < 0 ? crcXor : tamper, 2) + archive;
        makeSelfFromArchive(archive, flags);
    }
    void makeSelfFromArchive(const std::string& archive, unsigned char flags = 0) {
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        block.flags = flags;
        std::strcpy(run->selfPath, writeStandInSelf(scratch, block, archive).c_str());
        run->settings = block;
        std::strcpy(run->windowTitle, "Setup");
        std::strcpy(run->extractDir, scratch.file("out").c_str());
        ::mkdir(scratch.file("out").c_str(), 0755);
    }
    std::string out(const std::string& name) const { return scratch.file("out/" + name); }
    std::string outText(const std::string& name) const { return scratch.read("out/" + name); }
    bool outExists(const std::string& name) const { return scratch.exists("out/" + name); }
    std::vector<std::string> boxTexts() const {
        std::vector<std::string> texts;
        for (const HostMessageBox& box : hostMessageBoxes()) texts.push_back(box.text);
        return texts;
    }
    std::string self() const { return scratch.file("self.exe"); }
};

TEST_F(WalkTest, ExtractPassWritesMembersWithTheirTimesAndDirectories) {
    MemberSpec directory;
    directory.method = 'd';
    directory.withName = false;
    directory.directory = "empty\xFF";
    MemberSpec nested = stored("inner.txt", "inside", 1500000000);
    nested.directory =
        "sub\xFF"
        "deeper\xFF";
    makeSelf({stored("a.txt", "alpha", 1400000000), directory, nested, stored("zero", "")});
    ASSERT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    EXPECT_EQ(outText("a.txt"), "alpha");
    EXPECT_EQ(outText("sub/deeper/inner.txt"), "inside");
    EXPECT_EQ(outText("zero"), "");
    struct stat info;
    ASSERT_EQ(::stat(out("empty").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    ASSERT_EQ(::stat(out("a.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1400000000);
    ASSERT_EQ(::stat(out("sub/deeper/inner.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1500000000);
    EXPECT_TRUE(hostMessageBoxes().empty());
    EXPECT_EQ(hostBroadcastCount(), 1);
    EXPECT_EQ(run->archiveHandle, INVALID_FILE);
}

TEST_F(WalkTest, ScanPassSkipsOrdinaryMembersAndNeverWritesReservedOnes) {
    makeSelf({stored("a.txt", std::string(100000, 'a')), stored("!", "Install it?"), stored("b.txt", "b")});
    ASSERT_EQ(walkArchive(nullptr, WalkPass::scan), 1);
    for (uint32_t request : hostReadRequests()) EXPECT_LT(request, 100000u) << "ordinary data is never read";
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    EXPECT_EQ(hostMessageBoxes()[0].text, "Install it?");
    EXPECT_EQ(hostMessageBoxes()[0].style, MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL);
    EXPECT_EQ(hostMessageBoxes()[0].owner, nullptr);

    ASSERT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    EXPECT_TRUE(outExists("a.txt"));
    EXPECT_TRUE(outExists("b.txt"));
    EXPECT_FALSE(outExists("!"));
    EXPECT_EQ(hostMessageBoxes().size(), 1u) << "the extract pass asks nothing";
}

TEST_F(WalkTest, NoToTheQuestionStopsAfterTheNextReservedMember) {
    MemberSpec broken = stored("c.txt", "c");
    broken.dataCrc = 0x1111;
    makeSelf({stored("!", "Go on?"), stored("a.txt", "a"), stored("!", "Really?"), broken}, FLAG_TAMPER_CHECK, 0x0BAD);
    hostQueueAnswers({IDNO});
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0);
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"Go on?"}) << "no second question, no tamper message";
}

TEST_F(WalkTest, QuestionTextIsCutToItsBuffer) {
    for (size_t length : {1023u, 1024u, 1500u, 70000u}) {
        hostReset();
        makeSelf({stored("!", std::string(length, 'q'))});
        hostQueueAnswers({IDYES});
        ASSERT_EQ(walkArchive(nullptr, WalkPass::scan), 1);
        size_t kept =
            length > 65536 ? (length - 65536 > 1023 ? 1023 : length - 65536) : (length > 1023 ? 1023 : length);
        EXPECT_EQ(hostMessageBoxes().back().text.size(), kept) << length;
    }
}

// Each "$" member is parsed as it comes, so a question behind it carries the
// script's caption; the last one stays for the finishing actions, and an
// empty one leaves no earlier script behind.
TEST_F(WalkTest, ScriptMembersAreParsedInTurnAndTheLastOneIsKept) {
    makeSelf({stored("$", "$WindowTitle=Mine\n$InstallTitle=Where"), stored("!", "Go on?"),
              stored("$", "$WindowTitle=Theirs\n"), stored("a.txt", "a"), stored("$", "")});
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 1);
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    EXPECT_EQ(hostMessageBoxes()[0].caption, "Mine");
    EXPECT_STREQ(run->windowTitle, "Theirs");
    EXPECT_STREQ(run->installTitle, "Where") << "effects add up";
    EXPECT_STREQ(run->scriptText, "");
    EXPECT_FALSE(outExists("$"));
}

TEST_F(WalkTest, TamperValueIsTheXorOfAllDataCrcs) {
    std::vector<MemberSpec> members = {stored("a", "alpha"), stored("!", "ok?"), stored("b", "beta")};
    makeSelf(members, FLAG_TAMPER_CHECK);
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 1);

    makeSelf(members, FLAG_TAMPER_CHECK, 0x4321);
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + self() + "\" Tampered DATA");

    members[2].dataCrc = 0x7777;  // header CRC still matches: only the data CRC was changed
    makeSelf(members, FLAG_TAMPER_CHECK, referenceCrc16("alpha") ^ referenceCrc16("ok?") ^ referenceCrc16("beta"));
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + self() + "\" Tampered DATA");

    makeSelf({stored("a", "alpha")}, 0);
    size_t before = hostMessageBoxes().size();
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 1) << "without the flag no value is read";
    EXPECT_EQ(hostMessageBoxes().size(), before);
}

TEST_F(WalkTest, CrcFailureDeletesThatFileKeepsEarlierOnesAndStopsThePass) {
    MemberSpec broken = stored("c.txt", "gamma");
    broken.dataCrc = 0x1234;
    makeSelf({stored("a.txt", "alpha"), stored("b.txt", "beta"), broken, stored("d.txt", "delta")});
    std::strcpy(run->settings.command, "setup.exe /quiet");
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 0);
    EXPECT_TRUE(outExists("a.txt"));
    EXPECT_TRUE(outExists("b.txt"));
    EXPECT_FALSE(outExists("c.txt"));
    EXPECT_FALSE(outExists("d.txt"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"\"" + out("c.txt") + "\" CRC ERROR"});
    EXPECT_EQ(hostBroadcastCount(), 1) << "the finishing actions still run";
    EXPECT_TRUE(hostShellStarts().empty()) << "but the command does not";
}

TEST_F(WalkTest, CommandStartsInTheExtractDirectoryAfterASuccessfulPass) {
    makeSelf({stored("a.txt", "alpha")});
    std::strcpy(run->settings.command, "  \"my setup.exe\"  /s \"x y\"");
    ASSERT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    ASSERT_EQ(hostShellStarts().size(), 1u);
    EXPECT_EQ(hostShellStarts()[0].file, "my setup.exe");
    EXPECT_EQ(hostShellStarts()[0].parameters, "/s \"x y\"");
    EXPECT_EQ(hostShellStarts()[0].directory, run->extractDir);
}

// A packed size that read as a negative offset would lead back to this very
// header and walk in a circle.
TEST_F(WalkTest, SkippingPastTheEndOfTheFileIsAnEarlyEnd) {
    for (uint32_t packed : {1000u, 0xFFFFFFF0u, 0x80000000u}) {
        MemberSpec huge = stored("big", "x");
        huge.packedSize = packed;
        makeSelf({huge});
        EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 0) << packed;
        EXPECT_EQ(hostMessageBoxes().back().text, "\"" + self() + "\" Unexpeted EOF") << packed;
    }
}

TEST_F(WalkTest, EmptyArchivesAndArchivesWithoutEndMarker) {
    makeSelfFromArchive("");
    EXPECT_EQ(walkArchive(nullptr, WalkPass::scan), 1);
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    makeSelfFromArchive(level2Member(stored("a.txt", "alpha")));
    EXPECT_EQ(walkArchive(nullptr, WalkPass::extract), 1);
    EXPECT_EQ(outText("a.txt"), "alpha");
    EXPECT_TRUE(hostMessageBoxes().empty());
}

}  // namespace
