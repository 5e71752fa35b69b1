// The "$" installer script: its keyword lines, read once in the scan pass
// for the titles, destination, command and flags, and again by the
// finishing actions for the class and group lines.
#pragma once

#include <stdint.h>

// Numbered as the keywords are matched, first match wins; none for a line
// without a keyword, end past the script's last line.
enum class ScriptKeyword {
    none,
    windowTitle,
    installTitle,
    installDir,
    classTitle,
    fileClass,
    groupTitle,
    group,
    command,
    askRegist,
    flag,
    end,
};

// A script line's value: what follows the keyword, at most 255 bytes.
const uint32_t SCRIPT_LINE_SIZE = 256;

// The next line of the script: its keyword and its value in line
// (SCRIPT_LINE_SIZE bytes). Both readings go through the script with it.
ScriptKeyword readScriptLine(const char** cursor, char* line);
// The next field of a value into target (size bytes); 0 when it was cut.
int nextField(const char** cursor, char* target, uint32_t size);

void parseInstallerScript();
