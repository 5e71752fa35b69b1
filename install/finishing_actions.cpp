#include "install/finishing_actions.h"

#include "common/run_state.h"

// File classes and Program Manager groups come from the script's lines and
// arrive with the script reader; no archive with a script reaches this point
// before then.
void runFinishingActions(WindowHandle) {
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
