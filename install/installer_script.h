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

int skipControlBytes(const char** cursor);
int matchKeyword(const char** cursor);
void readLineRest(const char** cursor, char* buffer, uint32_t size);
void skipToLineEnd(const char** cursor);
int nextField(const char** cursor, char* target, uint32_t size);
// The next keyword line of the script: its keyword and its value in line
// (SCRIPT_LINE_SIZE bytes); KEYWORD_NONE for a line without one, -1 at the
// end of the script.
int readScriptLine(const char** cursor, char* line);
int32_t scriptNumber(const char* text);

void parseInstallerScript();
