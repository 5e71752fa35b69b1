#include "install/file_class.h"

#include "common/run_state.h"
#include "common/text_ops.h"
#include "install/short_path.h"

static const char OPEN_COMMAND_KEY[] = "\\shell\\open\\command";
static const char ICON_KEY[] = "\\DefaultIcon";

// The key paths are built in classKey itself; a class name that leaves no
// room for the longest of them is refused, since a cut path would name
// another key. An empty extension or class name would write into the root.
// Win32s's profile line takes the extension and the program alone.
static int classFieldsUsable() {
    if (!run->classExtension[0]) return 0;
    if (isWin32s) return 1;
    return run->classKey[0] && textLength(run->classKey) + textLength(OPEN_COMMAND_KEY) < sizeof(run->classKey);
}

static int userAgrees() {
    if (!run->askBeforeClass) return 1;
    formatText(run->messageText, sizeof(run->messageText), "\"%s\" Set Class?", run->classDescription);
    return osMessageBox(run->dialogWindow, run->messageText, run->windowTitle,
                        MB_TASKMODAL | MB_ICONQUESTION | MB_YESNO) != IDNO;
}

// Win32s keeps its associations in the profile's "Extensions" section: the
// extension without its dot, the program and a caret pattern.
static void writeProfileClass() {
    formatText(run->actionText, sizeof(run->actionText), "%s ^%s", run->programPath, run->classExtension);
    osWriteProfileString("Extensions", run->classExtension + 1, run->actionText);
}

static void writeRegistryClass() {
    formatText(run->actionText, sizeof(run->actionText), "\"%s\" \"%%1\"", run->programPath);
    osWriteClassValue(run->classExtension, "", run->classKey);
    osWriteClassValue(run->classKey, "", run->classDescription);
    char* keyEnd = endOfText(run->classKey);
    appendText(run->classKey, OPEN_COMMAND_KEY, sizeof(run->classKey));
    osWriteClassValue(run->classKey, "", run->actionText);
    formatText(run->actionText, sizeof(run->actionText), "%s,0", run->programPath);
    *keyEnd = 0;
    appendText(run->classKey, ICON_KEY, sizeof(run->classKey));
    osWriteClassValue(run->classKey, "", run->actionText);
}

void registerFileClass() {
    if (!classFieldsUsable() || !userAgrees()) return;
    if (!makeShortPath(run->extractDir, run->programPath, run->programPath, SHORT_PATH_CAPACITY)) return;
    normaliseSeparators(run->programPath, '\\');
    osLowerText(run->classExtension);
    if (isWin32s) writeProfileClass();
    else writeRegistryClass();
}
