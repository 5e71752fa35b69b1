#include "ui/progress.h"

#include "common/run_state.h"
#include "common/text_ops.h"
#include "ui/main_dialog.h"

static void showMemberName(const char* displayName) {
    osSetDlgItemText(run->dialogWindow, ID_FILE_NAME, displayName);
    osSetDlgItemText(run->dialogWindow, ID_PROGRESS, "Extract... 0%");
}

const WalkDisplay dialogDisplay = {showMemberName, reportProgress};

// Dividing by total/100 instead of multiplying done by 100 keeps every size
// up to 4 GiB within 32 bits; totals under 100 bytes show 100 at once.
uint32_t progressPercentage(uint32_t done, uint32_t total) {
    if (total == 0) return 0;
    if (total < 100) return 100;
    uint32_t percentage = done / (total / 100);
    return percentage > 100 ? 100 : percentage;
}

// The pump is the only place where the dialog's Cancel is seen; the run
// stops when it was pressed.
int reportProgress(uint32_t done, uint32_t total) {
    char text[32];
    formatText(text, sizeof(text), "Extract... %lu%%", progressPercentage(done, total));
    osSetDlgItemText(run->dialogWindow, ID_PROGRESS, text);
    pumpMessages(run->dialogWindow);
    return run->cancelRequested != 1;
}

void pumpMessages(WindowHandle dialog) { osPumpMessages(dialog); }
