#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "install/program_group.h"
#include "support/archive_maker.h"
#include "support/test_support.h"
#include "ui/directory_chooser.h"
#include "ui/main_dialog.h"

namespace {

// The dialog's own logic on the host's dialog model: what the user sees at
// initialisation, what OK, Cancel, Reference, the boxes and the timer do.
// The archive behind it holds one small member, so an accepted OK runs a
// real extract pass into the scratch folder.
class MainDialogTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        MemberSpec member;
        member.name = "a.txt";
        member.data = "alpha";
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        std::string self = writeStandInSelf(scratch, block, level2Member(member) + std::string(1, '\0'));
        std::strcpy(run->selfPath, self.c_str());
        run->settings.archiveOffset = STAND_IN_STUB_SIZE;
        std::strcpy(run->windowTitle, "Setup");
        std::strcpy(run->settings.destDir, scratch.path().c_str());
    }
    // Runs the dialog; the driver answers whenever the dialog waits.
    int runDialog(std::function<int(WindowHandle)> driver) {
        hostSetDialogDriver(std::move(driver));
        return runMainDialog();
    }
};

TEST_F(MainDialogTest, InitialisationShowsTitlesDirectoryAndCentresTheWindow) {
    std::strcpy(run->installTitle, "Unpack into:");
    std::strcpy(run->groupTitle, "Create the group");
    std::strcpy(run->classTitle, "Register .vk files");
    run->ddeState = DdeState::executing;
    run->extracting = 1;
    run->cancelRequested = 1;
    hostSetScreen(1023, 768, {5, 5, 405, 205});
    EXPECT_EQ(runDialog([&](WindowHandle) {
                  EXPECT_EQ(hostDialogCaption(), "Setup");
                  EXPECT_EQ(hostDialogItemText(ID_LABEL), "Unpack into:");
                  EXPECT_EQ(hostDialogItemText(ID_DIRECTORY), scratch.path());
                  EXPECT_EQ(hostDialogItemLimit(ID_DIRECTORY), 255u);
                  EXPECT_EQ(hostDialogItemText(ID_GROUP_BOX), "Create the group");
                  EXPECT_EQ(hostDialogItemText(ID_CLASS_BOX), "Register .vk files");
                  WindowRect rect = hostDialogRect();
                  EXPECT_EQ(rect.left, 311) << "(1023 - 400) / 2, truncated";
                  EXPECT_EQ(rect.top, 284);
                  EXPECT_EQ(rect.right - rect.left, 400);
                  EXPECT_EQ(run->ddeState, DdeState::idle);
                  EXPECT_EQ(run->extracting, 0);
                  EXPECT_EQ(run->cancelRequested, 0);
                  EXPECT_EQ(run->dialogIcon, hostProgramIcon());
                  return IDCANCEL;
              }),
              0);
    EXPECT_EQ(run->dialogIcon, nullptr) << "the icon is not kept past its window";
}

TEST_F(MainDialogTest, WithoutTitlesTheTemplateTextsStayAndNoTimerRuns) {
    hostSetScreen(640, 480, {0, 0, 700, 500});
    hostSetDialogDriver([](WindowHandle) { return IDCANCEL; });
    int result = osRunDialog("SfxDialog", [](WindowHandle dialog, int event, uintptr_t value) -> intptr_t {
        if (event == DIALOG_TIMER) ADD_FAILURE() << "no auto-start, no timer";
        return mainDialogEvent(dialog, event, value);
    });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(hostDialogItemHistory(ID_LABEL).empty());
    EXPECT_TRUE(hostDialogItemHistory(ID_GROUP_BOX).empty());
    EXPECT_TRUE(hostDialogItemHistory(ID_CLASS_BOX).empty());
    EXPECT_EQ(hostDialogRect().left, -30) << "a window wider than the screen is centred too";
    EXPECT_EQ(hostDialogRect().top, -10);
}

// Each box is enabled when its option is configured and starts with the
// configured mark; its flag then follows the mark, so only a checked box
// (at OK) chooses the option.
TEST_F(MainDialogTest, BoxesFollowTheirConfigurationAndTheirClicks) {
    struct Case {
        int configured;
        int checked;
    } cases[] = {{0, 0}, {1, 0}, {1, 1}};
    for (const Case& c : cases) {
        run->createGroup = c.configured;
        run->groupBoxChecked = c.checked;
        run->registerClass = c.configured;
        run->classBoxChecked = c.checked;
        runDialog([&](WindowHandle) {
            for (int id : {ID_GROUP_BOX, ID_CLASS_BOX}) {
                EXPECT_EQ(hostDialogItemEnabled(id), c.configured != 0) << id;
                EXPECT_EQ(hostDialogItemChecked(id), c.checked != 0) << id;
            }
            EXPECT_EQ(run->createGroup, c.checked);
            EXPECT_EQ(run->registerClass, c.checked);
            return IDCANCEL;
        });
    }
    // A group line whose mark is 0: unchecked but enabled; one click
    // chooses the group, a second one drops it again.
    run->createGroup = 1;
    run->groupBoxChecked = 0;
    std::vector<int> flags;
    int step = 0;
    runDialog([&](WindowHandle dialog) {
        if (step++ < 2) {
            mainDialogEvent(dialog, DIALOG_COMMAND, ID_GROUP_BOX);
            flags.push_back(run->createGroup);
            EXPECT_EQ(hostDialogItemChecked(ID_GROUP_BOX), run->createGroup != 0);
            return 0;
        }
        return static_cast<int>(IDCANCEL);
    });
    EXPECT_EQ(flags, (std::vector<int>{1, 0}));
}

TEST_F(MainDialogTest, OkTakesTheDirectoryWithoutQuotesAndLocksTheDialog) {
    std::string target = scratch.file("my dir");
    EXPECT_EQ(runDialog([&](WindowHandle dialog) {
                  osSetDlgItemText(dialog, ID_DIRECTORY, ("\"" + target + "\"").c_str());
                  return IDOK;
              }),
              1);
    EXPECT_EQ(std::string(run->extractDir), target);
    EXPECT_EQ(scratch.read("my dir/a.txt"), "alpha");
    for (int id : {static_cast<int>(IDOK), ID_REFERENCE, ID_DIRECTORY, ID_GROUP_BOX, ID_CLASS_BOX})
        EXPECT_FALSE(hostDialogItemEnabled(id)) << id;
    EXPECT_TRUE(hostDialogItemEnabled(IDCANCEL));
    EXPECT_EQ(hostDialogFocus(), IDCANCEL);
    EXPECT_EQ(run->extracting, 1);
}

TEST_F(MainDialogTest, NetworkPathsAreRefusedAndAnEmptyDirectoryIsAccepted) {
    int calls = 0;
    EXPECT_EQ(runDialog([&](WindowHandle dialog) {
                  if (++calls == 1) {
                      osSetDlgItemText(dialog, ID_DIRECTORY, "\"\\\\server\\share\"");
                      return IDOK;
                  }
                  EXPECT_TRUE(hostDialogItemEnabled(ID_DIRECTORY)) << "the user can still edit the path";
                  EXPECT_EQ(run->extracting, 0);
                  return IDCANCEL;
              }),
              0);
    ASSERT_EQ(hostMessageBoxes().size(), 1u);
    EXPECT_EQ(hostMessageBoxes()[0].text, "Invalid directory");
    EXPECT_EQ(hostMessageBoxes()[0].caption, "Setup");
    EXPECT_EQ(hostMessageBoxes()[0].style, 0x2030u);

    // An empty directory is the current one; this archive is empty, so the
    // pass writes nothing there.
    SettingsBlock block = {};
    block.archiveOffset = STAND_IN_STUB_SIZE;
    writeStandInSelf(scratch, block, std::string(1, '\0'));
    EXPECT_EQ(runDialog([](WindowHandle dialog) {
                  osSetDlgItemText(dialog, ID_DIRECTORY, "");
                  return IDOK;
              }),
              1);
    EXPECT_EQ(run->extractDir[0], 0);
    EXPECT_EQ(run->failureFlag, 0);
}

// The timer's OK can arrive after the user's own: neither it nor any other
// OK during the pass starts a second one.
TEST_F(MainDialogTest, TheTimerFiresOnceAndOkDuringThePassIsIgnored) {
    run->autoStart = 1;
    MemberSpec big;
    big.name = "big.bin";
    big.data = std::string(200000, 'b');
    SettingsBlock block = {};
    block.archiveOffset = STAND_IN_STUB_SIZE;
    writeStandInSelf(scratch, block, level2Member(big) + std::string(1, '\0'));
    static int timers;
    timers = 0;
    hostSetPumpHandler([](WindowHandle dialog) {
        osPostCommand(dialog, IDOK);
        hostSendCommand(dialog, IDOK);
    });
    int result = osRunDialog("SfxDialog", [](WindowHandle dialog, int event, uintptr_t value) -> intptr_t {
        if (event == DIALOG_TIMER) ++timers;
        return mainDialogEvent(dialog, event, value);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(timers, 1);
    EXPECT_EQ(hostDialogItemHistory(ID_FILE_NAME).size(), 1u) << "one pass";
    EXPECT_EQ(scratch.read("big.bin"), big.data);
}

TEST_F(MainDialogTest, CancelEndsTheDialogOnlyBeforeThePass) {
    EXPECT_EQ(runDialog([](WindowHandle) { return IDCANCEL; }), 0);
    EXPECT_FALSE(scratch.exists("a.txt"));

    // During the pass Cancel is only a request; the progress update acts
    // on it.
    hostSetPumpHandler([](WindowHandle dialog) {
        hostSendCommand(dialog, IDCANCEL);
        EXPECT_EQ(run->cancelRequested, 1);
        run->cancelRequested = 0;
    });
    EXPECT_EQ(runDialog([](WindowHandle) { return IDOK; }), 1);
    EXPECT_EQ(scratch.read("a.txt"), "alpha");
}

TEST_F(MainDialogTest, TheIconIsPaintedOnlyWhileMinimised) {
    runDialog([](WindowHandle dialog) {
        EXPECT_EQ(mainDialogEvent(dialog, DIALOG_PAINT, 0), 0);
        EXPECT_EQ(mainDialogEvent(dialog, DIALOG_ERASE_BACKGROUND, 0), 0);
        EXPECT_EQ(hostIconPaints(), 0);
        hostSetMinimised(true);
        EXPECT_EQ(mainDialogEvent(dialog, DIALOG_PAINT, 0), 0);
        EXPECT_EQ(mainDialogEvent(dialog, DIALOG_ERASE_BACKGROUND, 0), 1);
        EXPECT_EQ(mainDialogEvent(dialog, DIALOG_QUERY_DRAG_ICON, 0), reinterpret_cast<intptr_t>(hostProgramIcon()));
        EXPECT_EQ(mainDialogEvent(dialog, DIALOG_DDE_ACK, 1234), 0);
        return IDCANCEL;
    });
    EXPECT_EQ(hostIconPaints(), 1);
}

// What the chooser returns is a dummy file in the chosen directory; the edit
// box gets the directory without its last separator, quoted when it holds a
// blank.
TEST_F(MainDialogTest, ReferencePutsTheChosenDirectoryInTheEditBox) {
    struct Case {
        const char* chosen;
        int nameOffset;
        const char* shown;
    } cases[] = {
        {"C:\\work.txt", -1, "C:"},
        {"D:\\Tools\\Bin\\work.txt", -1, "D:\\Tools\\Bin"},
        {"C:\\Program Files\\App\\work.txt", -1, "\"C:\\Program Files\\App\""},
        {"", -1, "typed by the user"},
        {"C:\\x\\work.txt", 40, "typed by the user"},
    };
    hostSetCurrentDirectory("C:\\START");
    for (const Case& c : cases) {
        hostSetChooserAnswer(c.chosen, c.nameOffset);
        runDialog([&](WindowHandle dialog) {
            osSetDlgItemText(dialog, ID_DIRECTORY, "typed by the user");
            mainDialogEvent(dialog, DIALOG_COMMAND, ID_REFERENCE);
            EXPECT_EQ(hostDialogItemText(ID_DIRECTORY), c.shown) << c.chosen;
            return IDCANCEL;
        });
        char current[64];
        osCurrentDirectory(current, sizeof(current));
        EXPECT_STREQ(current, "C:\\START") << "browsing leaves the current directory as it was";
    }
    ASSERT_EQ(hostChooserCalls().size(), 5u);
    const HostChooserCall& call = hostChooserCalls()[0];
    EXPECT_NE(call.owner, nullptr);
    EXPECT_EQ(call.templateName, "GetDirDialog");
    EXPECT_EQ(call.title, "Extracting directory");
    EXPECT_EQ(call.initialName, "work.txt");
    EXPECT_EQ(call.capacity, 260u);
}

TEST(DropTrailingSeparatorTest, RemovesOneFinalSeparatorAndKeepsDoubleByteCharactersWhole) {
    struct Case {
        int codePage;
        const char* path;
        const char* result;
        int removed;
    } cases[] = {
        {0, "C:\\", "C:", 1},
        {0, "D:/games/", "D:/games", 1},
        {0, "C:\\dir\\\\", "C:\\dir\\", 1},
        {0, "C:\\dir", "C:\\dir", 0},
        {0, "", "", 0},
        // 0x83 0x5C is one character in code page 932, not a separator.
        {932, "C:\\\x83\x5C", "C:\\\x83\x5C", 0},
        {932, "C:\\\x83\x5C\\", "C:\\\x83\x5C", 1},
        {0, "C:\\\x83\x5C", "C:\\\x83", 1},
    };
    for (const Case& c : cases) {
        hostReset();
        hostSetCodePage(c.codePage);
        char path[32];
        std::strcpy(path, c.path);
        EXPECT_EQ(dropTrailingSeparator(path), c.removed) << c.path;
        EXPECT_STREQ(path, c.result) << c.path;
    }
    hostReset();
}

}  // namespace
