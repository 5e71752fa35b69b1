#include <cstring>
#include <string>

#include "install/installer_script.h"
#include "startup/entry.h"
#include "support/test_support.h"

namespace {

class InstallerScriptTest : public RunTest {
protected:
    // What the first reading may change, each part only when it differs
    // from the state before the script: a case then lists its whole effect.
    std::string effects() const {
        std::string out;
        auto text = [&](const char* name, const char* value) {
            if (value[0]) out += std::string(name) + "=[" + value + "] ";
        };
        auto flag = [&](const char* name, int value, int before) {
            if (value != before) out += std::string(name) + "=" + std::to_string(value) + " ";
        };
        text("title", run->windowTitle);
        text("label", run->installTitle);
        text("dir", run->settings.destDir);
        text("class", run->classTitle);
        flag("registerClass", run->registerClass, 0);
        flag("classBox", run->classBoxChecked, 0);
        text("group", run->groupTitle);
        flag("createGroup", run->createGroup, 0);
        flag("groupBox", run->groupBoxChecked, 0);
        text("command", run->settings.command);
        flag("ask", run->askBeforeClass, 0);
        flag("auto", run->autoStart, 0);
        flag("overwrite", run->overwriteWithoutAsking, 0);
        flag("keepNewer", run->keepNewerFiles, 1);
        flag("attributes", run->settings.restoreAttributes, 0);
        if (!out.empty()) out.pop_back();
        return out;
    }
    std::string parse(const std::string& script) {
        releaseRun();
        allocateRun();
        run->autoStart = run->overwriteWithoutAsking = run->askBeforeClass = 0;
        run->keepNewerFiles = 1;
        std::strncpy(run->scriptText, script.c_str(), sizeof(run->scriptText) - 1);
        parseInstallerScript();
        return effects();
    }
};

TEST_F(InstallerScriptTest, LinesFieldsAndKeywords) {
    const std::string x300(300, 'x');
    struct Case {
        std::string script;
        std::string effects;
    } cases[] = {
        // Fields: a comma ends one, quotes keep it and vanish, blanks stay.
        {"$WindowTitle=Setup, disk 1", "title=[Setup]"},
        {"$WindowTitle=\"Setup, disk 1\"", "title=[Setup, disk 1]"},
        {"$WindowTitle=\"Setup, disk 1", "title=[Setup, disk 1]"},
        {"$WindowTitle= Setup ", "title=[ Setup ]"},
        {"$WindowTitle=", ""},
        {"$Command=\"my setup.exe\" /s a,b", "command=[my setup.exe /s a]"},
        // Lines: every control byte ends one, runs of them count once, and a
        // line must begin with the keyword exactly.
        {"\r\n\x01\x1F$WindowTitle=a\r\n\r\n$InstallTitle=b\x7F", "title=[a] label=[b\x7F]"},
        {"$WindowTitle=Set\tup", "title=[Set]"},
        {"$WindowTitle=Set\t$InstallTitle=Where", "title=[Set] label=[Where]"},
        {"  $WindowTitle=x", ""},
        {"$windowtitle=x\n$WINDOWTITLE=y", ""},
        {"$WindowTitle=a\n$WindowTitle=b", "title=[b]"},
        {"$Class=.txt,Text,view.exe,txtfile\n$Group=G,I,view.exe", ""},
        // The boxes' title lines and their check field.
        {"$GroupTitle=Add to the Start menu,0", "group=[Add to the Start menu] createGroup=1"},
        {"$GroupTitle=\"Add, now\",1", "group=[Add, now] createGroup=1 groupBox=1"},
        {"$ClassTitle=Associate files", "class=[Associate files] registerClass=1 classBox=1"},
        {"$ClassTitle=A, 0", "class=[A] registerClass=1 classBox=1"},
        {"$ClassTitle=A,0\n$ClassTitle=B,x", "class=[B] registerClass=1 classBox=1"},
        {"$ClassTitle=,0", "registerClass=1"},
        {"$AskRegist=0", "ask=1"},
        {"$AskRegist=", "ask=1"},
        // "$Flag=": signed decimal, off bits win, unlisted bits do nothing.
        {"$Flag=3", "auto=1 overwrite=1"},
        {"$Flag=3\n$Flag=257", "overwrite=1"},
        {"$Flag=27", "auto=1 overwrite=1 keepNewer=0 attributes=47"},
        {"$Flag=27\n$Flag=-1", ""},
        {"$Flag=27\n$Flag=0", "auto=1 overwrite=1 keepNewer=0 attributes=47"},
        {"$Flag=0x10", ""},
        {"$Flag=16", "attributes=47"},
        {"$Flag=  +16 and more", "attributes=47"},
        {"$Flag=", ""},
        {"$Flag=4294967297", "auto=1"},
        {"$Flag=1024\n$Flag=4", ""},
        // A value is at most 255 bytes, the rest of its line is dropped; an
        // 80-byte text keeps 79 of them.
        {"$Command=" + x300 + "\n$InstallTitle=next", "label=[next] command=[" + std::string(255, 'x') + "]"},
        {"$WindowTitle=" + x300, "title=[" + std::string(79, 'x') + "]"},
        {"$ClassTitle=" + std::string(100, 'c') + ",0", "class=[" + std::string(79, 'c') + "] registerClass=1"},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.script), c.effects) << c.script;
}

// A destination from the command line or the settings block stays; the
// script only fills an empty one, and only its first such line counts.
TEST_F(InstallerScriptTest, InstallDirFillsOnlyAnEmptyDestination) {
    EXPECT_EQ(parse("$InstallDir=%WinDir%\\App\n$InstallDir=C:\\Other"), "dir=[%WinDir%\\App]");
    EXPECT_EQ(parse("$InstallDir=\n$InstallDir=C:\\Other"), "dir=[C:\\Other]");
    releaseRun();
    allocateRun();
    std::strcpy(run->settings.destDir, "D:\\Given");
    std::strcpy(run->scriptText, "$InstallDir=C:\\Script");
    parseInstallerScript();
    EXPECT_STREQ(run->settings.destDir, "D:\\Given");
}

// Under code page 932 a double-byte character is kept whole or not at all,
// both where a text is cut to its 80 bytes and where a line is cut to 255.
TEST_F(InstallerScriptTest, CutsFallBetweenDoubleByteCharacters) {
    hostSetCodePage(932);
    const std::string kana = "\x83\x41";  // its trail byte is an 'A'
    EXPECT_EQ(parse("$WindowTitle=" + std::string(77, 'a') + kana), "title=[" + std::string(77, 'a') + kana + "]");
    EXPECT_EQ(parse("$WindowTitle=" + std::string(78, 'a') + kana + "b"), "title=[" + std::string(78, 'a') + "]");
    EXPECT_EQ(parse("$Command=" + std::string(254, 'a') + kana + "\n$InstallTitle=x"),
              "label=[x] command=[" + std::string(254, 'a') + "]");
    EXPECT_EQ(parse("$WindowTitle=\x81\x2C\x83\x22,x"), "title=[\x81\x2C\x83\x22]")
        << "a lead byte takes its trail byte along, whatever it looks like";
    hostSetCodePage(0);
    EXPECT_EQ(parse("$WindowTitle=\x81\x2Cx"), "title=[\x81]");
}

}  // namespace
