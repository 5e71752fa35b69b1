#include "startup/settings_block.h"

#include "common/run_state.h"
#include "common/text_ops.h"

// A block that did not come from the builder may fill a text field to its
// last byte; every field is cut at its own end so no copy reads into the next.
static void terminateTexts(SettingsBlock* block) {
    block->windowTitle[sizeof(block->windowTitle) - 1] = 0;
    block->installTitle[sizeof(block->installTitle) - 1] = 0;
    block->destDir[sizeof(block->destDir) - 1] = 0;
    block->command[sizeof(block->command) - 1] = 0;
}

void readSettingsBlock() {
    SettingsBlock* block = &run->settings;
    FileHandle self = osOpenRead(run->selfPath);
    if (self != INVALID_FILE) {
        if (osSeek(self, SETTINGS_OFFSET, SEEK_FROM_START) != -1) osRead(self, block, SETTINGS_SIZE);
        osClose(self);
    }
    terminateTexts(block);
    if (!block->windowTitle[0]) copyText(block->windowTitle, DEFAULT_WINDOW_TITLE, sizeof(block->windowTitle));
    if (run->dirFromCommandLine) copyText(block->destDir, run->commandLineDir, sizeof(block->destDir));
    copyText(run->windowTitle, block->windowTitle, sizeof(run->windowTitle));
    copyText(run->installTitle, block->installTitle, sizeof(run->installTitle));
}
