#include "install/finishing_actions.h"

#include "common/run_state.h"
#include "install/file_class.h"
#include "install/installer_script.h"
#include "install/program_group.h"
#include "install/short_path.h"

// An extension or class name too long for its buffer would name another
// key when cut, so the line is dropped; the description is only shown and
// may be cut. Win32s writes no key, so there a cut class name does not count.
static void classLine(const char* value) {
    int whole = nextField(&value, run->classExtension, sizeof(run->classExtension));
    nextField(&value, run->classDescription, sizeof(run->classDescription));
    nextField(&value, run->programPath, sizeof(run->programPath));
    int keyWhole = nextField(&value, run->classKey, sizeof(run->classKey));
    if (whole && (keyWhole || isWin32s)) registerFileClass();
}

// The paths are made absolute and short before the conversation opens, so
// that a line whose paths do not fit is dropped before Program Manager is
// disturbed. The group name and item title are only shown and may be cut.
static void groupLine(WindowHandle owner, const char* value) {
    nextField(&value, run->groupName, sizeof(run->groupName));
    nextField(&value, run->itemTitle, sizeof(run->itemTitle));
    nextField(&value, run->programPath, sizeof(run->programPath));
    nextField(&value, run->iconPath, sizeof(run->iconPath));
    if (!makeShortPath(run->extractDir, run->programPath, run->programPath, SHORT_PATH_CAPACITY)) return;
    if (run->iconPath[0] && !makeShortPath(run->extractDir, run->iconPath, run->iconPath, SHORT_PATH_CAPACITY)) return;
    createProgramGroup(owner);
}

// The script is read again from its start; its other lines took effect in
// the scan pass. The class and group lines run in script order, each only
// when its box was checked at OK.
void runFinishingActions(WindowHandle owner) {
    const char* cursor = run->scriptText;
    char line[SCRIPT_LINE_SIZE];
    ScriptKeyword keyword;
    while ((keyword = readScriptLine(&cursor, line)) != ScriptKeyword::end) {
        if (keyword == ScriptKeyword::fileClass && run->registerClass) classLine(line);
        else if (keyword == ScriptKeyword::group && run->createGroup) groupLine(owner, line);
    }
    osBroadcastSettingChange();
}

static const char* skipBlanks(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    return text;
}

// The program part, quoted or up to the first blank, goes to program (cut
// to its size); the rest of the command stays as it is written.
const char* splitCommand(char* program, uint32_t programSize, const char* command) {
    const char* p = skipBlanks(command);
    char end = 0;
    if (*p == '"') {
        end = '"';
        ++p;
    }
    uint32_t n = 0;
    while (*p && (end ? *p != end : *p != ' ' && *p != '\t')) {
        if (n + 1 < programSize) program[n++] = *p;
        ++p;
    }
    if (programSize) program[n] = 0;
    if (end && *p == end) ++p;
    return skipBlanks(p);
}

void startCommand(WindowHandle owner) {
    char program[sizeof(run->settings.command)];
    const char* parameters = splitCommand(program, sizeof(program), run->settings.command);
    osShellExecute(owner, program, *parameters ? parameters : 0, run->extractDir);
}
