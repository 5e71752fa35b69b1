// The walk over the appended archive: the scan pass and the extract pass.
#pragma once

#include "decode/decoder_state.h"
#include "platform/platform.h"

// What the walk shows while it extracts, implemented by the dialog. Absent
// during the scan pass, which shows nothing but its questions and errors.
struct WalkDisplay {
    void (*showMember)(const char* displayName);         // a new member's name, its percentage back to 0
    int (*showProgress)(uint32_t done, uint32_t total);  // a ProgressHook
};

enum class WalkPass { extract, scan };

// The installer's part in the walk, wired by the entry so that the walk
// needs nothing above it: the "$" script as soon as the scan pass has
// decoded it into scriptText, and after the extract pass's last member the
// finishing actions and then the command.
struct InstallerHooks {
    void (*readScript)();
    void (*runFinishingActions)(WindowHandle owner);
    void (*startCommand)(WindowHandle owner);
};

int walkArchive(WindowHandle window, WalkPass pass);
int skipMember();
