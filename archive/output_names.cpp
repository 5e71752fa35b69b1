#include "archive/output_names.h"

#include "archive/walk.h"
#include "common/directory_macros.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "platform/platform.h"

static const uint32_t DISPLAY_WIDTH = 32;
static const uint32_t LONG_NAME_LIMIT = 255;
static const uint32_t BASE_LIMIT = 8;
static const uint32_t EXTENSION_LIMIT = 3;
static const uint32_t TITLE_SIZE = 256;

// Bytes below 0x21 are refused by the 8.3 rules as well; the set names the rest.
static const char SHORT_NAME_INVALID[] = "\"*+,./:;<=>?[\\]|\xFF";
static const char LONG_NAME_INVALID[] = "\"*/:<>?\\|";

static int isInSet(char c, const char* set) {
    for (; *set != 0; ++set) {
        if (c == *set) return 1;
    }
    return 0;
}

static int isInvalid(char c, int longNames) {
    if (longNames) return isInSet(c, LONG_NAME_INVALID);
    return static_cast<unsigned char>(c) <= 0x20 || isInSet(c, SHORT_NAME_INVALID);
}

static int hasDrive(const char* path) { return path[0] != 0 && path[1] == ':'; }

// The length of the longest start of text, at most limit bytes, that ends on
// a whole character: a lead byte whose trail byte lies beyond the limit, or
// that has none, is left out with it.
static uint32_t wholeCharacters(const char* text, uint32_t limit) {
    uint32_t length = 0;
    while (length < limit && text[length] != 0) {
        if (!osIsLeadByte(static_cast<unsigned char>(text[length]))) {
            ++length;
        } else if (length + 1 < limit && text[length + 1] != 0) {
            length += 2;
        } else {
            break;
        }
    }
    return length;
}

// The root is the drive letter, ':' and '\', also for a bare drive such as
// "D:", whose volume is known; a directory without a drive is judged by the
// current volume.
void determineVolumeRules() {
    const char* dir = run->extractDir;
    char root[4] = {0, ':', '\\', 0};
    const char* asked = 0;
    if (hasDrive(dir)) {
        root[0] = dir[0];
        asked = root;
    }
    run->longNameVolume = osMaxComponentLength(asked) == LONG_NAME_LIMIT;
}

// memberPath (memberSize bytes) has its leading macro expanded in place. A
// combination that does not fit out is refused, leaving out empty: a cut path
// could name some other existing file or folder, while an empty one can only
// fail to open.
int buildOutputPath(char* out, uint32_t outSize, const char* extractDir, char* memberPath, uint32_t memberSize) {
    expandDirectoryMacro(memberPath, memberSize, lastComponent(memberPath));
    if (outSize == 0) return 0;
    out[0] = 0;
    // A member path with a drive is absolute; one that starts at a root
    // keeps only the drive of extractDir.
    uint32_t kept = 0;  // bytes of extractDir in front of the member path
    uint32_t separator = 0;
    if (memberPath[0] == '\\' || memberPath[0] == '/') {
        kept = hasDrive(extractDir) ? 2 : 0;
    } else if (!hasDrive(memberPath)) {
        kept = textLength(extractDir);
        separator = kept != 0 && !(hasDrive(extractDir) && extractDir[2] == 0);
    }
    if (kept + separator + textLength(memberPath) >= outSize) return 0;
    copyText(out, extractDir, kept + 1);
    if (separator) appendSeparator(out);
    appendText(out, memberPath, outSize);
    return 1;
}

// Components only shrink, so each one is moved to a write position that
// trails or equals the place it was read from.
void sanitisePath(char* path, int longNames) {
    char* read = path;
    char* write = path;
    if (*read == '/') {
        ++read;
        ++write;
    }
    for (;;) {
        char* cut = findAnyOf(read, "/");
        if (cut != 0) *cut = 0;
        sanitiseComponent(read, longNames);
        for (const char* p = read; *p != 0; ++p) *write++ = *p;
        if (cut == 0) break;
        *write++ = '/';
        read = cut + 1;
    }
    *write = 0;
}

// Under 8.3 rules the last '.' splits base and extension; any earlier '.'
// is cleaned like every other invalid byte, so ".." becomes "_." and can no
// longer climb out of the extract directory.
void sanitiseComponent(char* component, int longNames) {
    if (longNames) {
        cleanRun(component, LONG_NAME_LIMIT, 1);
        return;
    }
    char* dot = 0;
    for (char* hit = findAnyOf(component, "."); hit != 0; hit = findAnyOf(hit + 1, ".")) dot = hit;
    if (dot == 0) {
        cleanRun(component, BASE_LIMIT, 0);
        return;
    }
    *dot = 0;
    char* extension = dot + 1;
    char* extensionEnd = cleanRun(extension, EXTENSION_LIMIT, 0);
    char* write = cleanRun(component, BASE_LIMIT, 0);
    *write++ = '.';
    for (const char* p = extension; p <= extensionEnd; ++p) *write++ = *p;
}

char* cleanRun(char* text, uint32_t limit, int longNames) {
    uint32_t length = wholeCharacters(text, limit);
    for (uint32_t i = 0; i < length; ++i) {
        if (osIsLeadByte(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (isInvalid(text[i], longNames)) {
            text[i] = '_';
        }
    }
    text[length] = 0;
    return text + length;
}

// A path of width bytes or more is shown as its start, ".../" and its file
// title, width - 1 bytes in all when the title leaves room. The start is cut
// on a whole character. A path without a title (a directory) shows its start
// and ".../" alone.
void shortDisplayName(char* out, uint32_t outSize, const char* path, uint32_t width) {
    if (textLength(path) < width) {
        copyText(out, path, outSize);
        return;
    }
    char title[TITLE_SIZE];
    if (!osFileTitle(path, title, sizeof title)) title[0] = 0;
    uint32_t titleLength = textLength(title);
    uint32_t start = width > titleLength + 4 ? wholeCharacters(path, width - titleLength - 5) : 0;
    copyText(out, path, start + 1 < outSize ? start + 1 : outSize);
    appendText(out, ".../", outSize);
    appendText(out, title, outSize);
}

// The member's output path under the extract directory, shown by the walk's
// display and with its directories created; nothing is shown or created
// when the path does not fit outputPath or the platform does not let it be
// written.
OutputPath prepareOutputPath() {
    char* path = run->outputPath;
    if (!buildOutputPath(path, sizeof run->outputPath, run->extractDir, run->memberPath, sizeof run->memberPath)) {
        return OutputPath::tooLong;
    }
    normaliseSeparators(path, '/');
    sanitisePath(hasDrive(path) ? path + 2 : path, run->longNameVolume);
    if (!osOutputPathAllowed(run->extractDir, path)) return OutputPath::refused;
    if (run->display) {
        char shown[DISPLAY_WIDTH + TITLE_SIZE];
        shortDisplayName(shown, sizeof shown, path, DISPLAY_WIDTH);
        run->display->showMember(shown);
    }
    createDirectoryChain(path);
    return OutputPath::ready;
}
