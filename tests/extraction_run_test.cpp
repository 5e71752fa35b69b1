#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "startup/entry.h"
#include "support/archive_maker.h"
#include "support/bit_writer.h"
#include "support/test_support.h"
#include "ui/main_dialog.h"

namespace {

// Whole runs through the entry, the dialog and both passes, with failures
// injected through the host layer.
class ExtractionRunTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        releaseRun();
        ::mkdir(scratch.file("out").c_str(), 0755);
    }
    void makeSelf(const std::string& archive) {
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        std::strcpy(block.windowTitle, "Setup");
        writeStandInSelf(scratch, block, archive);
    }
    void makeSelf(const std::vector<MemberSpec>& members) {
        std::string archive;
        for (const MemberSpec& member : members) archive += level2Member(member);
        makeSelf(archive + std::string(1, '\0'));
    }
    int runWith(const std::string& tail) { return stubExitStatus(velkarMain(tail.c_str())); }
    std::string autoStartInto() const { return "-n " + scratch.file("out"); }
    std::string out(const std::string& name) const { return scratch.file("out/" + name); }
    bool outExists(const std::string& name) const { return scratch.exists("out/" + name); }
};

TEST_F(ExtractionRunTest, AutoStartUnpacksEverythingAndEndsWithOne) {
    MemberSpec nested = storedMember("b.txt", "beta");
    nested.directory = "sub\xFF";
    makeSelf({storedMember("a.txt", "alpha"), nested});
    EXPECT_EQ(runWith(autoStartInto()), 1);
    EXPECT_EQ(scratch.read("out/a.txt"), "alpha");
    EXPECT_EQ(scratch.read("out/sub/b.txt"), "beta");
    EXPECT_EQ(hostDialogCaption(), "Setup");
    EXPECT_EQ(hostPath(hostDialogItemText(ID_DIRECTORY).c_str()), scratch.file("out")) << "as Windows writes it";
    std::vector<std::string> shown = hostDialogItemHistory(ID_FILE_NAME);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].substr(shown[1].size() - 9), ".../b.txt") << "long paths are shortened";
    EXPECT_EQ(hostDialogItemHistory(ID_PROGRESS).front(), "Extract... 0%");
    EXPECT_FALSE(hostDialogItemEnabled(IDOK));
    EXPECT_FALSE(hostDialogItemEnabled(ID_DIRECTORY));
}

TEST_F(ExtractionRunTest, StoredMembersGoInPiecesWithProgressBeforeEach) {
    std::string data(150000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
    makeSelf({storedMember("data.bin", data), storedMember("empty", "")});
    EXPECT_EQ(runWith(autoStartInto()), 1);
    EXPECT_EQ(scratch.read("out/data.bin"), data);
    EXPECT_TRUE(outExists("empty"));
    std::vector<std::string> expected = {"Extract... 0%", "Extract... 0%", "Extract... 43%", "Extract... 87%",
                                         "Extract... 0%"};
    EXPECT_EQ(hostDialogItemHistory(ID_PROGRESS), expected);
    std::vector<uint32_t> pieces;
    for (uint32_t request : hostReadRequests()) {
        if (request >= 18928) pieces.push_back(request);
    }
    EXPECT_EQ(pieces, (std::vector<uint32_t>{65536, 65536, 18928}));
}

TEST_F(ExtractionRunTest, CancelBeforeOkWritesNothingAndEndsWithZero) {
    makeSelf({storedMember("a.txt", "alpha")});
    hostSetDialogDriver([](WindowHandle) { return IDCANCEL; });
    EXPECT_EQ(runWith(scratch.file("out")), 0);
    EXPECT_FALSE(outExists("a.txt"));
}

TEST_F(ExtractionRunTest, NetworkPathsAreRefusedAndTheDialogStaysOpen) {
    makeSelf({storedMember("a.txt", "alpha")});
    int calls = 0;
    std::string good = scratch.file("out");
    hostSetDialogDriver([&](WindowHandle dialog) {
        osSetDlgItemText(dialog, ID_DIRECTORY, ++calls == 1 ? "\\\\server\\share" : ("\"" + good + "\"").c_str());
        return IDOK;
    });
    EXPECT_EQ(runWith(""), 1);
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    EXPECT_EQ(hostMessageBoxes()[0].text, "Invalid directory");
    EXPECT_EQ(hostMessageBoxes()[0].style, MB_TASKMODAL | MB_ICONEXCLAMATION);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(scratch.read("out/a.txt"), "alpha") << "quotes are stripped";
}

TEST_F(ExtractionRunTest, CancelWhileWritingDeletesOnlyThePartialFile) {
    makeSelf({storedMember("first.txt", "done"), storedMember("big.bin", std::string(200000, 'b')),
              storedMember("last.txt", "x")});
    int pumps = 0;
    hostSetPumpHandler([&](WindowHandle dialog) {
        if (++pumps == 3) hostSendCommand(dialog, IDCANCEL);
    });
    EXPECT_EQ(runWith(autoStartInto()), 1);
    EXPECT_TRUE(outExists("first.txt"));
    EXPECT_FALSE(outExists("big.bin"));
    EXPECT_FALSE(outExists("last.txt"));
    EXPECT_TRUE(hostMessageBoxes().empty()) << "Cancel shows no message";
}

TEST_F(ExtractionRunTest, InjectedFailuresEndTheRun) {
    struct Case {
        const char* what;
        std::function<void()> inject;
        const char* message;  // the box text after the quoted path
        bool aboutOutput;     // the path named is the output file's
        bool endsTheRun;      // no finishing action follows
    } cases[] = {
        {"failed write", [] { hostFailWritesAfter(70000); }, "Write ERROR", true, true},
        {"failed read",
         [] {
             // The second progress report follows big.bin's first piece.
             auto pumps = std::make_shared<int>(0);
             hostSetPumpHandler([pumps](WindowHandle) {
                 if (++*pumps == 2) hostFailReadsAfter(0);
             });
         },
         "Read ERROR", false, true},
        {"short read",
         [] {
             auto pumps = std::make_shared<int>(0);
             hostSetPumpHandler([pumps](WindowHandle) {
                 if (++*pumps == 2) hostFailReadsAfter(0, true);
             });
         },
         "Read ERROR", false, true},
        {"failed create", [] { hostFailCall(HOST_CREATE, 2, false); }, "Open ERROR", true, false},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        ::unlink(out("first.txt").c_str());
        makeSelf({storedMember("first.txt", "done"), storedMember("big.bin", std::string(200000, 'b')),
                  storedMember("last.txt", "x")});
        c.inject();
        EXPECT_EQ(runWith(autoStartInto()), 1) << c.what;
        EXPECT_EQ(hostBroadcastCount(), c.endsTheRun ? 0 : 1) << c.what;
        ASSERT_EQ(hostMessageBoxes().size(), 1u) << c.what;
        std::string subject = c.aboutOutput ? out("big.bin") : scratch.file("self.exe");
        EXPECT_EQ(hostMessageBoxes()[0].text, "\"" + subject + "\" " + c.message) << c.what;
        EXPECT_TRUE(outExists("first.txt")) << c.what;
        EXPECT_FALSE(outExists("big.bin")) << c.what;
        EXPECT_FALSE(outExists("last.txt")) << c.what;
    }
}

// The scan pass already finds that the member's data run past the end.
TEST_F(ExtractionRunTest, ArchiveCutShortInsideAMemberEndsBeforeTheDialog) {
    std::string member = level2Member(storedMember("cut.bin", std::string(5000, 'c')));
    makeSelf(member.substr(0, member.size() - 100));
    EXPECT_EQ(runWith(autoStartInto()), 0);
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    EXPECT_EQ(hostMessageBoxes()[0].text, "\"" + scratch.file("self.exe") + "\" Unexpeted EOF");
    EXPECT_FALSE(outExists("cut.bin"));
}

// A member that claims 4 GiB over a few packed bytes: one block of 65,536
// copies of one literal, which costs no bits, and then nothing. The next
// block header would lie past the packed data, so the run ends there as a
// cut archive does, instead of writing zero bits until the disk is full.
TEST_F(ExtractionRunTest, MemberClaimingMoreThanItsDataHoldsEndsWithReadError) {
    BitWriter bits;
    for (auto [value, width] : {std::pair<uint32_t, unsigned>{0, 16}, {0, 5}, {0, 5}, {0, 9}, {'z', 9}, {0, 4}, {0, 4}})
        bits.put(value, width);
    MemberSpec claim = storedMember("claim.bin", bits.bytes());
    claim.method = '5';
    claim.unpackedSize = 0xFFFFFFFE;  // all ones would mean the size of data
    makeSelf({storedMember("first.txt", "done"), claim, storedMember("last.txt", "x")});
    EXPECT_EQ(runWith(autoStartInto()), 1);
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    EXPECT_EQ(hostMessageBoxes()[0].text, "\"" + scratch.file("self.exe") + "\" Read ERROR");
    EXPECT_TRUE(outExists("first.txt"));
    EXPECT_FALSE(outExists("claim.bin")) << "the partial file is deleted";
    EXPECT_FALSE(outExists("last.txt"));
    EXPECT_EQ(hostBroadcastCount(), 0) << "no finishing action after a failed member";
}

}  // namespace

namespace {

// What the entry hands back, from which both exit statuses come: counts of
// files written and kept, the first failure, and a run the user stopped.
TEST_F(ExtractionRunTest, TheOutcomeSaysWhatTheRunDid) {
    MemberSpec damaged = storedMember("bad.txt", "bad");
    damaged.dataCrc = 0x1234;
    MemberSpec question = storedMember("!", "Go on?");
    MemberSpec newer = storedMember("over.txt", "new");
    newer.timeStamp = 0x7FFFFFFF;
    struct Case {
        const char* what;
        std::vector<MemberSpec> members;
        std::vector<int> answers;
        uint32_t written, kept, failures;
        FailureKind firstFailure;
        bool declined, extracted;
    } cases[] = {
        {"two files",
         {storedMember("a.txt", "alpha"), storedMember("b.txt", "beta")},
         {},
         2,
         0,
         0,
         FailureKind::none,
         false,
         true},
        {"an existing newer file kept", {storedMember("old.txt", "old")}, {}, 0, 1, 0, FailureKind::none, false, true},
        {"Cancel to overwriting", {newer}, {IDCANCEL}, 0, 0, 0, FailureKind::none, true, true},
        {"a CRC error", {damaged}, {}, 1, 0, 1, FailureKind::crcError, false, true},
        {"No to the question",
         {question, storedMember("a.txt", "alpha")},
         {IDNO},
         0,
         0,
         0,
         FailureKind::none,
         true,
         false},
    };
    scratch.write("out/old.txt", "kept");
    scratch.write("out/over.txt", "kept");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hostReset();
        makeSelf(c.members);
        hostQueueAnswers(c.answers);
        RunOutcome outcome = velkarMain(autoStartInto().c_str());
        EXPECT_EQ(outcome.filesWritten, c.written);
        EXPECT_EQ(outcome.filesKept, c.kept);
        EXPECT_EQ(outcome.failures, c.failures);
        EXPECT_EQ(outcome.firstFailure, c.firstFailure);
        EXPECT_EQ(outcome.declined, c.declined);
        EXPECT_EQ(outcome.extractPassRan, c.extracted);
    }
}

}  // namespace
