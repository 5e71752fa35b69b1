#include "install/installer_script.h"

#include "common/run_state.h"
#include "common/text_ops.h"

static const char* const scriptKeywords[] = {
    "$WindowTitle=", "$InstallTitle=", "$InstallDir=", "$ClassTitle=", "$Class=",
    "$GroupTitle=",  "$Group=",        "$Command=",    "$AskRegist=",  "$Flag=",
};

// The "$Flag=" bits in the order they are applied: an off bit comes after
// its on bit, so it wins when a value has both.
struct FlagBit {
    uint32_t bit;
    int RunState::*flag;
    int value;
};
static const FlagBit flagBits[] = {
    {0x0001, &RunState::autoStart, 1},
    {0x0002, &RunState::overwriteWithoutAsking, 1},
    {0x0008, &RunState::keepNewerFiles, 0},
    {0x0100, &RunState::autoStart, 0},
    {0x0200, &RunState::overwriteWithoutAsking, 0},
    {0x0800, &RunState::keepNewerFiles, 1},
};
const uint32_t ATTRIBUTES_ON_BIT = 0x0010;
const uint32_t ATTRIBUTES_OFF_BIT = 0x1000;
const unsigned char RESTORE_ATTRIBUTES_ON = 0x2F;

static int isControlByte(char c) { return c >= 0x01 && c <= 0x1F; }

static int isLineByte(char c) { return static_cast<unsigned char>(c) >= 0x20; }

// A lead byte takes its trail byte along, unless the line ends behind it.
static uint32_t lineCharWidth(const char* p) {
    return osIsLeadByte(static_cast<unsigned char>(*p)) && isLineByte(p[1]) ? 2 : 1;
}

static int skipControlBytes(const char** cursor) {
    while (isControlByte(**cursor)) ++*cursor;
    return **cursor != 0;
}

static ScriptKeyword matchKeyword(const char** cursor) {
    for (uint32_t i = 0; i < sizeof(scriptKeywords) / sizeof(scriptKeywords[0]); ++i) {
        uint32_t length = textLength(scriptKeywords[i]);
        if (compareN(*cursor, scriptKeywords[i], length) == 0) {
            *cursor += length;
            return static_cast<ScriptKeyword>(i + 1);
        }
    }
    return ScriptKeyword::none;
}

// A double-byte character that would not fit whole stays out, with the rest
// of the line: a value is cut on a character, never inside one.
static void readLineRest(const char** cursor, char* buffer, uint32_t size) {
    const char* p = *cursor;
    uint32_t n = 0;
    while (isLineByte(*p)) {
        uint32_t width = lineCharWidth(p);
        if (n + width >= size) break;
        for (uint32_t i = 0; i < width; ++i) buffer[n++] = *p++;
    }
    buffer[n] = 0;
    *cursor = p;
}

static void skipToLineEnd(const char** cursor) {
    while (isLineByte(**cursor)) ++*cursor;
}

// Quotes switch the comma's meaning and vanish; a comma outside them ends
// the field and is consumed. A field longer than its target is cut on a
// whole character and the rest of it passed over: 0 tells the caller, who
// may refuse a cut name rather than use it.
int nextField(const char** cursor, char* target, uint32_t size) {
    const char* p = *cursor;
    uint32_t n = 0;
    int quoted = 0;
    int whole = 1;
    while (isLineByte(*p)) {
        uint32_t width = lineCharWidth(p);
        if (width == 1 && *p == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        if (width == 1 && *p == ',' && !quoted) {
            ++p;
            break;
        }
        if (whole && n + width < size) {
            for (uint32_t i = 0; i < width; ++i) target[n++] = p[i];
        } else {
            whole = 0;
        }
        p += width;
    }
    target[n] = 0;
    *cursor = p;
    return whole;
}

ScriptKeyword readScriptLine(const char** cursor, char* line) {
    if (!skipControlBytes(cursor)) return ScriptKeyword::end;
    ScriptKeyword keyword = matchKeyword(cursor);
    line[0] = 0;
    if (keyword != ScriptKeyword::none) readLineRest(cursor, line, SCRIPT_LINE_SIZE);
    skipToLineEnd(cursor);
    return keyword;
}

// A signed decimal number as the C library reads one, but wrapping instead
// of overflowing: "-1" sets every bit, "0x10" is 0.
static int32_t scriptNumber(const char* text) {
    const char* p = text;
    while (*p == ' ') ++p;
    int negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<uint32_t>(*p - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

static void applyFlags(uint32_t bits) {
    for (const FlagBit& entry : flagBits) {
        if (bits & entry.bit) run->*entry.flag = entry.value;
    }
    // Applied after the other flags' bits, in the same on-then-off order.
    if (bits & ATTRIBUTES_ON_BIT) run->settings.restoreAttributes = RESTORE_ATTRIBUTES_ON;
    if (bits & ATTRIBUTES_OFF_BIT) run->settings.restoreAttributes = 0;
}

// The check field of a box's title line: '1' or '0' sets the first mark,
// anything else leaves it checked.
static void readCheckField(const char* value, int* boxChecked) {
    char check[80];
    nextField(&value, check, sizeof(check));
    if (check[0] == '1') *boxChecked = 1;
    else if (check[0] == '0') *boxChecked = 0;
}

static void applyScriptLine(ScriptKeyword keyword, const char* value) {
    switch (keyword) {
    case ScriptKeyword::windowTitle:
        nextField(&value, run->windowTitle, sizeof(run->windowTitle));
        break;
    case ScriptKeyword::installTitle:
        nextField(&value, run->installTitle, sizeof(run->installTitle));
        break;
    case ScriptKeyword::installDir:
        if (!run->settings.destDir[0]) nextField(&value, run->settings.destDir, sizeof(run->settings.destDir));
        break;
    case ScriptKeyword::classTitle:
        run->registerClass = 1;
        run->classBoxChecked = 1;
        nextField(&value, run->classTitle, sizeof(run->classTitle));
        readCheckField(value, &run->classBoxChecked);
        break;
    case ScriptKeyword::groupTitle:
        run->createGroup = 1;
        run->groupBoxChecked = 1;
        nextField(&value, run->groupTitle, sizeof(run->groupTitle));
        readCheckField(value, &run->groupBoxChecked);
        break;
    case ScriptKeyword::command:
        nextField(&value, run->settings.command, sizeof(run->settings.command));
        break;
    case ScriptKeyword::askRegist:
        run->askBeforeClass = 1;
        break;
    case ScriptKeyword::flag:
        applyFlags(static_cast<uint32_t>(scriptNumber(value)));
        break;
    case ScriptKeyword::fileClass:
    case ScriptKeyword::group:
    case ScriptKeyword::none:
    case ScriptKeyword::end:
        break;
    }
}

// The class and group lines wait for the finishing actions.
void parseInstallerScript() {
    const char* cursor = run->scriptText;
    char line[SCRIPT_LINE_SIZE];
    ScriptKeyword keyword;
    while ((keyword = readScriptLine(&cursor, line)) != ScriptKeyword::end) applyScriptLine(keyword, line);
}
