#include "common/directory_macros.h"

#include "common/run_state.h"
#include "common/text_ops.h"
#include "platform/platform.h"

namespace {

const uint32_t FOLDER_SIZE = 256;
const uint32_t RESULT_SIZE = 260;

const char PROGRAM_FILES_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char TEMP_NAME[] = "TEMP";

// The platform answers a folder query with the size it needs when the buffer
// is too small and leaves the buffer unterminated; such a folder counts as
// missing.
uint32_t keepIfFits(uint32_t answer, char* folder) {
    if (answer == 0 || answer >= FOLDER_SIZE) {
        folder[0] = 0;
        return 0;
    }
    return answer;
}

void windowsFolder(char* folder) { keepIfFits(osWindowsDirectory(folder, FOLDER_SIZE), folder); }

void systemFolder(char* folder) { keepIfFits(osSystemDirectory(folder, FOLDER_SIZE), folder); }

// Drive letter and colon. A shorter Windows directory already ends before the
// cut, so no byte behind its terminator is ever taken.
void windowsDrive(char* folder) {
    windowsFolder(folder);
    folder[2] = 0;
}

void programFilesFolder(char* folder) {
    folder[0] = 0;
    if (!isWin32s) readRegistryString(PROGRAM_FILES_KEY, "ProgramFilesDir", "", folder, FOLDER_SIZE);
    if (folder[0] == 0) windowsDrive(folder);
}

// The folder in which the standard search finds name; the system folder when
// it is nowhere, or when the path found does not fit.
void searchFolder(const char* name, char* folder) {
    char* filePart = 0;
    uint32_t length = keepIfFits(osSearchPath(name, folder, FOLDER_SIZE, &filePart), folder);
    if (length != 0 && filePart > folder && filePart <= folder + length) {
        filePart[-1] = 0;
        return;
    }
    systemFolder(folder);
}

// <WinDir>\TEMP, created when missing. Returns its length, or, like the
// platform, the size it would need when it does not fit a folder buffer.
uint32_t windowsTempFolder(char* folder) {
    uint32_t length = osWindowsDirectory(folder, FOLDER_SIZE);
    if (length == 0 || length >= FOLDER_SIZE) return length;
    uint32_t needed = length + 1 + sizeof TEMP_NAME;  // separator, name and terminator
    if (needed > FOLDER_SIZE) return needed;
    appendSeparator(folder);
    appendText(folder, TEMP_NAME, FOLDER_SIZE);
    createDirectoryChain(folder);
    osCreateDirectory(folder);
    return textLength(folder);
}

// The macros in the order they are tried; a name that matches at the first
// byte of the text wins, and the text behind it is kept.
struct Macro {
    const char* name;
    int needsSearchName;
    void (*fill)(const char* searchName, char* folder);
};

const Macro MACROS[] = {
    {"%WORK%", 0, [](const char*, char* folder) { getWorkDirectory(FOLDER_SIZE, folder); }},
    {"%WinDir%", 0, [](const char*, char* folder) { windowsFolder(folder); }},
    {"%WinRoot%", 0, [](const char*, char* folder) { windowsDrive(folder); }},
    {"%SystemDir%", 0, [](const char*, char* folder) { systemFolder(folder); }},
    {"%ProgramFiles%", 0, [](const char*, char* folder) { programFilesFolder(folder); }},
    {"%Search%", 1, searchFolder},
};

// Fills folder with what the macro at the start of text stands for and
// returns the macro's length; 0 when text starts with no macro. "%Search%"
// without a search name is no macro, so the text keeps it.
uint32_t macroFolder(const char* text, const char* searchName, char* folder) {
    folder[0] = 0;
    for (const Macro& macro : MACROS) {
        uint32_t length = textLength(macro.name);
        if (compareN(text, macro.name, length) != 0) continue;
        if (macro.needsSearchName && searchName[0] == 0) return 0;
        macro.fill(searchName, folder);
        return length;
    }
    return 0;
}

}  // namespace

// searchName may point into text itself (a member's last component), so text
// is left alone until the search is done. An expansion that fits neither the
// result buffer nor the caller's text leaves the macro in place rather than
// cutting a path that would then name some other folder.
void expandDirectoryMacro(char* text, uint32_t textSize, const char* searchName) {
    char folder[FOLDER_SIZE];
    uint32_t macroLength = macroFolder(text, searchName, folder);
    if (macroLength != 0) {
        const char* rest = text + macroLength;
        uint32_t length = textLength(folder) + textLength(rest);
        if (length < RESULT_SIZE && length < textSize) {
            char result[RESULT_SIZE];
            copyText(result, folder, RESULT_SIZE);
            appendText(result, rest, RESULT_SIZE);
            copyText(text, result, textSize);
        }
    }
    normaliseSeparators(text, '\\');
}

// A source that is set decides, even when its value is too long: a TEMP that
// does not fit yields no work directory instead of quietly picking another.
uint32_t getWorkDirectory(uint32_t size, char* out) {
    char folder[FOLDER_SIZE];
    if (size > 0) out[0] = 0;
    uint32_t length = osGetEnv("TEMP", folder, FOLDER_SIZE);
    if (length == 0) length = osGetEnv("TMP", folder, FOLDER_SIZE);
    if (length == 0) length = windowsTempFolder(folder);
    if (length == 0) length = osCurrentDirectory(folder, FOLDER_SIZE);
    if (length >= FOLDER_SIZE) return length;  // the size needed: already the length + 1
    if (length == 0) return 0;
    if (length >= size) return length + 1;
    copyText(out, folder, size);
    return length;
}

// A stored value need not carry its terminator, so the last byte is forced.
void readRegistryString(const char* keyPath, const char* valueName, const char* defaultText, char* out,
                        uint32_t outSize) {
    if (outSize == 0) return;
    if (osQueryLocalMachineString(keyPath, valueName, out, outSize)) {
        out[outSize - 1] = 0;
        return;
    }
    copyText(out, defaultText, outSize);
}
