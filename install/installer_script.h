// The "$" installer script: its keyword lines, read once in the scan pass
// for the titles, destination, command and flags, and again by the
// finishing actions for the class and group lines.
#pragma once

#include <stdint.h>

// Numbered as the keywords are matched, first match wins.
enum ScriptKeyword {
    KEYWORD_NONE,
    KEYWORD_WINDOW_TITLE,
    KEYWORD_INSTALL_TITLE,
    KEYWORD_INSTALL_DIR,
    KEYWORD_CLASS_TITLE,
    KEYWORD_CLASS,
    KEYWORD_GROUP_TITLE,
    KEYWORD_GROUP,
    KEYWORD_COMMAND,
    KEYWORD_ASK_REGIST,
    KEYWORD_FLAG,
};

// A script line's value: what follows the keyword, at most 255 bytes.
const uint32_t SCRIPT_LINE_SIZE = 256;

// The next line of the script: its keyword and its value in line
// (SCRIPT_LINE_SIZE bytes); KEYWORD_NONE for a line without one, -1 at the
// end of the script. Both readings go through the script with it.
int readScriptLine(const char** cursor, char* line);
// The next field of a value into target (size bytes); 0 when it was cut.
int nextField(const char** cursor, char* target, uint32_t size);

void parseInstallerScript();
