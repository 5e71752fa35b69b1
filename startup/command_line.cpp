#include "startup/command_line.h"

#include "common/run_state.h"
#include "common/text_ops.h"
#include "platform/platform.h"

const char* skipProgramName(const char* commandLine) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(commandLine);
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p > 0x20) ++p;
    }
    while (*p >= 0x01 && *p <= 0x20) ++p;
    return reinterpret_cast<const char*>(p);
}

// A token runs to the first control byte; outside quotes a blank ends it too.
// The quotes themselves vanish, so a pair of quotes alone is an empty token.
static const unsigned char* endOfToken(const unsigned char* p, uint32_t* quoteCount) {
    int quoted = 0;
    *quoteCount = 0;
    for (;; ++p) {
        if (quoted ? *p < 0x20 : *p <= 0x20) return p;
        if (*p == '"') {
            quoted = !quoted;
            ++*quoteCount;
        }
    }
}

// Tokens past the 1024th are dropped: a tail that long holds nothing a run
// could use, since the first directory token already ends the examination.
TokenList splitCommandLine(const char* text) {
    TokenList list = {0, 0};
    list.tokens = static_cast<char**>(osAllocZeroed(MAX_TOKENS * sizeof(char*)));
    if (!list.tokens) return list;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (list.count < MAX_TOKENS) {
        while (*p >= 0x01 && *p <= 0x20) ++p;
        if (!*p) break;
        uint32_t quotes;
        const unsigned char* end = endOfToken(p, &quotes);
        char* token = static_cast<char*>(osAllocZeroed(static_cast<uint32_t>(end - p) - quotes + 1));
        if (!token) break;
        char* out = token;
        for (; p < end; ++p) {
            if (*p != '"') *out++ = static_cast<char>(*p);
        }
        list.tokens[list.count++] = token;
    }
    return list;
}

void releaseTokens(TokenList* list) {
    while (list->count > 0) osFree(list->tokens[--list->count]);
    if (list->tokens) osFree(list->tokens);
    list->tokens = 0;
}

// Only the letter and the byte after it count, so "-nx" is "-n" and "-c-x" is
// "-c-". A lone "-" is passed over without reading behind its terminator.
static void applyOption(const char* token, CommandOptions* options) {
    if (!token[1]) return;
    int offForm = token[2] == '-';
    switch (osCharLower(token[1])) {
    case 'n':
        options->autoStartOption = offForm ? OptionState::off : OptionState::on;
        break;
    case 'c':
        options->keepNewerOption = offForm ? OptionState::on : OptionState::off;
        break;
    default:
        break;
    }
}

// The first token that is not an option names the destination, the very
// first one included: the tail never holds the program's own name, and a
// tail that is a directory alone is meant as one. A directory too long for
// destDir is refused rather than cut, so a run never lands in a shortened
// path; the examination still ends there, and the dialog waits for OK so
// that the user sees where the run would go instead.
void examineTokens(const TokenList* list, CommandOptions* options) {
    for (uint32_t i = 0; i < list->count; ++i) {
        const char* token = list->tokens[i];
        if (token[0] == '-') {
            applyOption(token, options);
            continue;
        }
        if (textLength(token) < sizeof(run->settings.destDir)) {
            copyText(run->commandLineDir, token, sizeof(run->commandLineDir));
            run->dirFromCommandLine = 1;
        } else {
            run->dirTooLong = 1;
        }
        return;
    }
}

void resolveRunFlags(const CommandOptions* options, unsigned char settingsFlags) {
    run->askBeforeClass = 0;
    run->overwriteWithoutAsking = (settingsFlags & FLAG_OVERWRITE) ? 1 : 0;
    if (options->autoStartOption == OptionState::none) run->autoStart = (settingsFlags & FLAG_AUTO_START) ? 1 : 0;
    else run->autoStart = options->autoStartOption == OptionState::on;
    run->keepNewerFiles =
        (options->keepNewerOption == OptionState::off || (settingsFlags & FLAG_NO_KEEP_NEWER)) ? 0 : 1;
}
