// The process entry. The stub links without the C runtime's start-up code, so
// it takes the command-line tail and ends the process itself.
#include <windows.h>

#include "startup/command_line.h"
#include "startup/entry.h"

// Windows enters with the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void velkarStart() {
    ExitProcess(stubExitStatus(velkarMain(skipProgramName(GetCommandLineA()))));
}
