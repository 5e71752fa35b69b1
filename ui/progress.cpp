#include "ui/progress.h"

#include "archive/errors.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "ui/main_dialog.h"


// Dividing by total/100 instead of multiplying done by 100 keeps every size
// up to 4 GiB within 32 bits; totals under 100 bytes show 100 at once.
uint32_t progressPercentage(uint32_t done, uint32_t total) {
    if (total == 0) return 0;
    if (total < 100) return 100;
    uint32_t percentage = done / (total / 100);
    return percentage > 100 ? 100 : percentage;
}

void reportProgress(uint32_t done, uint32_t total) {
    formatText(run->messageText, sizeof(run->messageText), "Extract... %lu%%", progressPercentage(done, total));
    osSetDlgItemText(run->dialogWindow, ID_PROGRESS, run->messageText);
    pumpMessages(run->dialogWindow);
    if (run->cancelRequested == 1) fatalExit(1);
}

void pumpMessages(WindowHandle dialog) {
    osPumpMessages(dialog);
}
