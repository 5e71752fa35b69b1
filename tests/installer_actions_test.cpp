#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/file_class.h"
#include "install/finishing_actions.h"
#include "install/program_group.h"
#include "startup/entry.h"
#include "support/archive_maker.h"
#include "support/test_support.h"
#include "ui/main_dialog.h"

namespace {

// The recorded installer actions, one readable line each.
std::vector<std::string> actions() {
    std::vector<std::string> lines;
    for (const HostAction& action : hostInstallerActions()) {
        switch (action.kind) {
        case HOST_CLASS_VALUE:
            lines.push_back("class " + action.key + action.name + " = " + action.text);
            break;
        case HOST_PROFILE_STRING:
            lines.push_back("profile [" + action.key + "] " + action.name + " = " + action.text);
            break;
        case HOST_PROGRAM_START:
            lines.push_back("start " + action.text);
            break;
        case HOST_DDE_INITIATE:
            lines.push_back("initiate " + action.key + "/" + action.name);
            break;
        case HOST_DDE_EXECUTE:
            lines.push_back("execute " + action.text);
            break;
        case HOST_DDE_TERMINATE:
            lines.push_back("terminate " + action.key);
            break;
        }
    }
    return lines;
}

std::vector<std::string> classWrites(const std::string& extension, const std::string& key,
                                     const std::string& description, const std::string& program) {
    return {"class " + extension + " = " + key, "class " + key + " = " + description,
            "class " + key + "\\shell\\open\\command = \"" + program + "\" \"%1\"",
            "class " + key + "\\DefaultIcon = " + program + ",0"};
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Whole runs: a "$" script with the members it names, unpacked through the
// dialog into out/, then the finishing actions as the host records them.
class InstallerActionsTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        releaseRun();
        ::mkdir(outDir().c_str(), 0755);
    }
    std::string outDir() const { return scratch.file("out"); }
    void makeSelf(const std::string& script, std::vector<MemberSpec> members = {}) {
        members.insert(members.begin(), storedMember("$", script));
        members.push_back(storedMember("view.exe", "MZ viewer", "bin\xFF"));
        members.push_back(storedMember("view.ico", "icon"));
        std::string archive;
        for (const MemberSpec& member : members) archive += level2Member(member);
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        writeStandInSelf(scratch, block, archive + std::string(1, '\0'));
    }
    int runInstaller() { return stubExitStatus(velkarMain(outDir().c_str())); }
    // A script path as the registration writes it: joined to the
    // destination with '\', every separator a '\'.
    std::string classProgram(const std::string& relative) const { return backslashes(outDir() + "/" + relative); }
    // The destination as the dialog shows it, the script's path as written.
    std::string groupProgram(const std::string& relative) const { return backslashes(outDir()) + "\\" + relative; }
    static std::string backslashes(std::string path) {
        for (char& c : path) {
            if (c == '/') c = '\\';
        }
        return path;
    }
};

const char BOTH_BOXES[] = "$ClassTitle=Register viewer files\n$GroupTitle=Make a group\n";

TEST_F(InstallerActionsTest, ClassAndGroupLinesRunInScriptOrderThenTheCommand) {
    makeSelf(std::string(BOTH_BOXES) +
             "$InstallDir=C:\\Elsewhere\r\n"
             "$Class=.VKT,Velkar text,bin/view.exe,VelkarText\r\n"
             "$Group=Velkar Tools, Viewer,bin/view.exe\r\n"
             "$WindowTitle=Installing\r\n"
             "$Group=Velkar Tools,\"Viewer, with icon\",bin/view.exe,view.ico\r\n"
             "$Class=.vkd,Velkar data,bin/view.exe,VelkarData\r\n"
             "$Command=bin/view.exe readme.txt\r\n");
    EXPECT_EQ(runInstaller(), 1);
    std::vector<std::string> expected =
        classWrites(".vkt", "VelkarText", "Velkar text", classProgram("bin/view.exe")) +
        std::vector<std::string>{
            "initiate PROGMAN/PROGMAN",
            "execute [CreateGroup(\"Velkar Tools\",0)]\n[AddItem(" + groupProgram("bin/view.exe") + ", Viewer)]",
            "terminate server",
            "initiate PROGMAN/PROGMAN",
            "execute [CreateGroup(\"Velkar Tools\",0)]\n[AddItem(" + groupProgram("bin/view.exe") +
                ",Viewer, with icon," + groupProgram("view.ico") + ")]",
            "terminate server",
        } +
        classWrites(".vkd", "VelkarData", "Velkar data", classProgram("bin/view.exe"));
    EXPECT_EQ(actions(), expected);
    EXPECT_EQ(hostBroadcastCount(), 1);
    ASSERT_EQ(hostShellStarts().size(), 1u);
    EXPECT_EQ(hostShellStarts()[0].file, "bin/view.exe");
    EXPECT_EQ(hostShellStarts()[0].parameters, "readme.txt");
    EXPECT_EQ(hostShellStarts()[0].directory, backslashes(outDir())) << "the command line's directory wins";
    EXPECT_EQ(hostDialogCaption(), "Installing");
    EXPECT_EQ(hostDialogItemText(ID_GROUP_BOX), "Make a group");
    EXPECT_EQ(hostDialogItemText(ID_CLASS_BOX), "Register viewer files");
}

// The boxes decide at OK: a line whose box is unchecked, or whose option the
// script never configured, does nothing; the broadcast and the command
// still come.
TEST_F(InstallerActionsTest, OnlyLinesOfBoxesCheckedAtOkRun) {
    const std::string lines =
        "$Class=.vkt,Velkar text,bin/view.exe,VelkarText\n$Group=Tools,Viewer,bin/view.exe\n"
        "$Command=bin/view.exe\n";
    struct Case {
        std::string titles;
        std::vector<int> clicks;  // boxes clicked before OK
        bool classes;
        bool group;
    } cases[] = {
        {"$ClassTitle=C,0\n$GroupTitle=G,0\n", {}, false, false},
        {"", {}, false, false},
        {"$ClassTitle=C,0\n$GroupTitle=G,0\n", {ID_GROUP_BOX}, false, true},
        {BOTH_BOXES, {ID_CLASS_BOX}, false, true},
        {BOTH_BOXES, {ID_CLASS_BOX, ID_GROUP_BOX, ID_CLASS_BOX}, true, false},
    };
    for (const Case& c : cases) {
        hostReset();
        makeSelf(c.titles + lines);
        size_t step = 0;
        hostSetDialogDriver([&](WindowHandle) { return step < c.clicks.size() ? c.clicks[step++] : IDOK; });
        EXPECT_EQ(runInstaller(), 1);
        std::vector<std::string> done = actions();
        bool classes = !done.empty() && done[0].rfind("class ", 0) == 0;
        bool group = false;
        for (const std::string& line : done) group |= line.rfind("execute ", 0) == 0;
        EXPECT_EQ(classes, c.classes) << c.titles << c.clicks.size();
        EXPECT_EQ(group, c.group) << c.titles << c.clicks.size();
        EXPECT_EQ(hostBroadcastCount(), 1);
        EXPECT_EQ(hostShellStarts().size(), 1u);
    }
}

TEST_F(InstallerActionsTest, AskRegistAsksForEachClassLineAndNoSkipsOnlyThatLine) {
    makeSelf(std::string("$WindowTitle=Setup\n$AskRegist=\n") + BOTH_BOXES +
             "$Class=.vkt,Velkar text,bin/view.exe,VelkarText\n$Class=.vkd,Velkar data,bin/view.exe,VelkarData\n");
    hostQueueAnswers({IDNO, IDYES});
    EXPECT_EQ(runInstaller(), 1);
    ASSERT_EQ(hostMessageBoxes().size(), 2u);
    EXPECT_EQ(hostMessageBoxes()[0].text, "\"Velkar text\" Set Class?");
    EXPECT_EQ(hostMessageBoxes()[1].text, "\"Velkar data\" Set Class?");
    for (const HostMessageBox& box : hostMessageBoxes()) {
        EXPECT_EQ(box.caption, "Setup");
        EXPECT_EQ(box.style, 0x2024u);
        EXPECT_NE(box.owner, nullptr) << "owned by the dialog";
    }
    EXPECT_EQ(actions(), classWrites(".vkd", "VelkarData", "Velkar data", classProgram("bin/view.exe")));
}

// The conversation by the server's behaviour, for two group lines and a
// class line behind them: a conversation that gets no acknowledgment of its
// own ends after the time limit and the run goes on with the next line.
TEST_F(InstallerActionsTest, GroupConversationsEndWhateverTheServerDoes) {
    const std::string execute =
        "execute [CreateGroup(\"Tools\",0)]\n[AddItem(" + groupProgram("bin/view.exe") + ",Viewer)]";
    const std::vector<std::string> classLine =
        classWrites(".vkt", "VelkarText", "Velkar text", classProgram("bin/view.exe"));
    struct Case {
        const char* name;
        HostDdeServer server;
        std::vector<std::string> conversation;  // each of the two
        uint32_t silentConversations;
    } cases[] = {
        {"answers", {}, {"initiate PROGMAN/PROGMAN", execute, "terminate server"}, 0},
        {"acknowledges twice", {true, true, 2, false}, {"initiate PROGMAN/PROGMAN", execute, "terminate server"}, 0},
        {"not running",
         {false, true, 1, false},
         {"start PROGMAN.EXE", "initiate PROGMAN/PROGMAN", execute, "terminate server"},
         0},
        {"no server", {true, false, 1, false}, {"initiate PROGMAN/PROGMAN"}, 2},
        {"never replies", {true, true, 0, false}, {"initiate PROGMAN/PROGMAN", execute, "terminate server"}, 2},
        {"execute not sent", {true, true, 1, true}, {"initiate PROGMAN/PROGMAN", "terminate server"}, 0},
        // The reply to the first execute comes during the second conversation:
        // it must not end that one, which waits for its own reply.
        {"replies late", {true, true, 1, false, true}, {"initiate PROGMAN/PROGMAN", execute, "terminate server"}, 2},
    };
    for (const Case& c : cases) {
        hostReset();
        makeSelf(std::string(BOTH_BOXES) +
                 "$Group=Tools,Viewer,bin/view.exe\n$Group=Tools,Viewer,bin/view.exe\n"
                 "$Class=.vkt,Velkar text,bin/view.exe,VelkarText\n$Command=bin/view.exe");
        hostSetDdeServer(c.server);
        EXPECT_EQ(runInstaller(), 1) << c.name;
        EXPECT_EQ(actions(), c.conversation + c.conversation + classLine) << c.name;
        EXPECT_GE(hostClock(), c.silentConversations * DDE_REPLY_LIMIT) << c.name;
        EXPECT_LE(hostClock(), c.silentConversations * DDE_REPLY_LIMIT + 100) << c.name;
        EXPECT_EQ(hostShellStarts().size(), 1u) << c.name;
    }
}

// Once the last member is written, Cancel changes nothing: pressed while
// Program Manager is waited for, the run still finishes every line.
TEST_F(InstallerActionsTest, CancelDuringTheFinishingActionsIsIgnored) {
    makeSelf(std::string(BOTH_BOXES) +
             "$Group=Tools,Viewer,bin/view.exe\n$Class=.vkt,Velkar text,bin/view.exe,VelkarText\n$Command=view");
    HostDdeServer silent;
    silent.executeAcks = 0;
    hostSetDdeServer(silent);
    int cancels = 0;
    hostSetPumpHandler([&](WindowHandle dialog) {
        if (run->ddeState == DdeState::executing && cancels++ == 0) hostSendCommand(dialog, IDCANCEL);
    });
    EXPECT_EQ(runInstaller(), 1);
    EXPECT_GT(cancels, 0);
    EXPECT_EQ(actions().size(), 3u + 4u) << "the conversation, then the class";
    EXPECT_EQ(hostShellStarts().size(), 1u);
}

TEST_F(InstallerActionsTest, AFailedPassStillRunsTheLinesButNotTheCommand) {
    MemberSpec broken = storedMember("broken.txt", "damaged");
    broken.dataCrc = 0x1234;
    makeSelf(std::string(BOTH_BOXES) + "$Class=.vkt,Velkar text,bin/view.exe,VelkarText\n$Command=bin/view.exe",
             {broken});
    EXPECT_EQ(runInstaller(), 1);
    EXPECT_EQ(hostMessageBoxes().back().text, "\"" + outDir() + "/broken.txt\" CRC ERROR");
    EXPECT_EQ(actions().size(), 4u);
    EXPECT_TRUE(hostShellStarts().empty());
}

// Registration on its own, over the line's fields as the finishing actions
// leave them.
class FileClassTest : public RunTest {
protected:
    void registerLine(const char* extension, const char* program, const char* key = "txtfile") {
        std::strcpy(run->classExtension, extension);
        std::strcpy(run->classDescription, "Text file");
        std::strcpy(run->programPath, program);
        std::strcpy(run->classKey, key);
        registerFileClass();
    }
};

TEST_F(FileClassTest, RegistryOrWin32sProfileWithLowerCaseExtensionAndBackslashes) {
    std::strcpy(run->extractDir, "D:\\APP");
    registerLine(".TXT", "VIEW.EXE");
    EXPECT_EQ(actions(), classWrites(".txt", "txtfile", "Text file", "D:\\APP\\VIEW.EXE"));
    EXPECT_STREQ(run->classKey, "txtfile\\DefaultIcon") << "the last key path built";

    hostReset();
    isWin32s = 1;
    registerLine(".TXT", "VIEW.EXE");
    EXPECT_EQ(actions(), std::vector<std::string>{"profile [Extensions] txt = D:\\APP\\VIEW.EXE ^.txt"});

    hostReset();
    hostSetCodePage(932);
    registerLine(".\x83\x41X", "bin/sub\xFFVIEW.EXE");
    EXPECT_EQ(actions(),
              std::vector<std::string>{"profile [Extensions] \x83\x41x = D:\\APP\\bin\\sub\\VIEW.EXE ^.\x83\x41x"})
        << "a trail byte is no capital, and 0xFF separates";
}

// Key paths are built in 80 bytes; a class name that leaves no room for
// "\shell\open\command", and a path too long to join, refuse the line.
TEST_F(FileClassTest, LinesThatWouldNameAnotherKeyOrACutPathAreRefused) {
    struct Case {
        std::string extension;
        std::string key;
        std::string directory;
        size_t writes;
    } cases[] = {
        {".txt", std::string(60, 'k'), "D:\\APP", 4},
        {".txt", std::string(61, 'k'), "D:\\APP", 0},
        {"", "txtfile", "D:\\APP", 0},
        {".txt", "", "D:\\APP", 0},
        {".txt", "txtfile", "D:\\" + std::string(243, 'd'), 4},
        {".txt", "txtfile", "D:\\" + std::string(244, 'd'), 0},
    };
    for (const Case& c : cases) {
        hostReset();
        std::strcpy(run->extractDir, c.directory.c_str());
        registerLine(c.extension.c_str(), "VIEW.EXE", c.key.c_str());
        EXPECT_EQ(hostInstallerActions().size(), c.writes)
            << c.extension << " " << c.key.size() << " " << c.directory.size();
    }
    // Through the script: an extension or class name cut to its buffer is
    // dropped, not registered under the cut name.
    for (size_t length : {79u, 80u}) {
        hostReset();
        run->registerClass = 1;
        std::strcpy(run->extractDir, "D:\\APP");
        std::string script = "$Class=." + std::string(length - 1, 'e') +
                             ",Text,VIEW.EXE,txtfile\n"
                             "$Class=.txt,Text,VIEW.EXE," +
                             std::string(length, 'k');
        std::strcpy(run->scriptText, script.c_str());
        runFinishingActions(nullptr);
        EXPECT_EQ(hostInstallerActions().size(), length == 79 ? 4u : 0u) << length;
    }
}

TEST_F(FileClassTest, GroupLinesWhosePathsCannotBeJoinedAreDropped) {
    run->createGroup = 1;
    std::strcpy(run->extractDir, ("D:\\" + std::string(240, 'd')).c_str());
    std::strcpy(run->scriptText,
                "$Group=G,I,view.exe,a-very-long-icon-name.ico\n$Group=G,I,"
                "a-very-long-program-name.exe");
    runFinishingActions(nullptr);
    EXPECT_TRUE(hostInstallerActions().empty()) << "no conversation for a path that does not fit";
    EXPECT_EQ(hostBroadcastCount(), 1);
}

}  // namespace
