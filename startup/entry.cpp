#include "startup/entry.h"

#include <stddef.h>

#include "archive/member_header.h"
#include "archive/walk.h"
#include "common/directory_macros.h"
#include "common/run_state.h"
#include "install/finishing_actions.h"
#include "install/installer_script.h"
#include "platform/platform.h"
#include "startup/command_line.h"
#include "startup/settings_block.h"
#include "ui/main_dialog.h"

// Command line, own path, settings block and run flags, in this order: the
// flags must be settled before the scan pass, whose script may change them.
void startRun(const char* commandTail) {
    TokenList tokens = splitCommandLine(commandTail);
    CommandOptions options = {OptionState::none, OptionState::none};
    run->dirFromCommandLine = 0;
    run->dirTooLong = 0;
    examineTokens(&tokens, &options);
    releaseTokens(&tokens);

    osModulePath(run->selfPath, sizeof(run->selfPath));
    readSettingsBlock();
    resolveRunFlags(&options, run->settings.flags);
}

// Start-up passes no search name, so "%Search%" is never expanded here.
void settleDestination() {
    char* destDir = run->settings.destDir;
    expandDirectoryMacro(destDir, sizeof(run->settings.destDir), "");
    if (!destDir[0]) {
        // A current directory too long for the field is reported by its
        // needed size and leaves the buffer untouched, so destDir stays empty.
        if (osCurrentDirectory(destDir, sizeof(run->settings.destDir)) >= sizeof(run->settings.destDir)) destDir[0] = 0;
    }
}

// One block, so that a run has one allocation that can fail.
struct RunRecords {
    RunState state;
    MemberHeader header;
    DecoderState decoder;
};
static_assert(offsetof(RunRecords, state) == 0, "releaseRun frees the block through run");

static const InstallerHooks installerHooks = {parseInstallerScript, runFinishingActions, startCommand};

int allocateRun() {
    RunRecords* records = static_cast<RunRecords*>(osAllocZeroed(sizeof(RunRecords)));
    if (!records) return 0;
    run = &records->state;
    run->header = &records->header;
    run->decoder = &records->decoder;
    run->installer = &installerHooks;
    return 1;
}

void releaseRun() {
    if (!run) return;
    releaseMemberHeader();
    osFree(run);
    run = 0;
}

RunOutcome velkarMain(const char* commandTail) {
    isWin32s = osPlatformId() == 0;
    RunOutcome outcome = {};
    if (!allocateRun()) {
        osMessageBox(0, "Not enough memory", DEFAULT_WINDOW_TITLE, MB_OK | MB_ICONHAND | MB_TASKMODAL);
        outcome.failures = 1;
        outcome.firstFailure = FailureKind::notEnoughMemory;
        return outcome;
    }
    startRun(commandTail);
    if (walkArchive(0, WalkPass::scan)) {
        settleDestination();
        runMainDialog();
    }
    outcome = run->outcome;
    releaseRun();
    return outcome;
}

// Once the extract pass has run the stub ends with 1 whatever it found, as
// it does when a reserved member could not be decoded; a run that ended
// before unpacking ends with 0.
int stubExitStatus(const RunOutcome& outcome) { return outcome.extractPassRan || outcome.aborted; }
