// The command-line tail: tokens, options and the run flags they settle.
#pragma once

#include <stdint.h>

const uint32_t MAX_TOKENS = 1024;

struct TokenList {
    char** tokens;
    uint32_t count;
};

enum class OptionState { none, on, off };

struct CommandOptions {
    OptionState autoStartOption;
    OptionState keepNewerOption;
};

const char* skipProgramName(const char* commandLine);
TokenList splitCommandLine(const char* text);
void releaseTokens(TokenList* list);
void examineTokens(const TokenList* list, CommandOptions* options);
void resolveRunFlags(const CommandOptions* options, unsigned char settingsFlags);
