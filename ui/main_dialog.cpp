#include "ui/main_dialog.h"

#include "archive/walk.h"
#include "startup/run_state.h"
#include "startup/text_ops.h"

static void initialiseDialog(WindowHandle dialog) {
    osSetWindowText(dialog, run->windowTitle);
    if (run->installTitle[0]) osSetDlgItemText(dialog, ID_LABEL, run->installTitle);
    osSetDlgItemText(dialog, ID_DIRECTORY, run->settings.destDir);
    if (run->groupTitle[0]) osSetDlgItemText(dialog, ID_GROUP_BOX, run->groupTitle);
    if (run->classTitle[0]) osSetDlgItemText(dialog, ID_CLASS_BOX, run->classTitle);
    osCheckDlgButton(dialog, ID_GROUP_BOX, run->groupBoxChecked);
    osCheckDlgButton(dialog, ID_CLASS_BOX, run->classBoxChecked);
    // From here on each option flag follows its box's mark.
    osEnableDlgItem(dialog, ID_GROUP_BOX, run->createGroup);
    osEnableDlgItem(dialog, ID_CLASS_BOX, run->registerClass);
    run->createGroup = run->groupBoxChecked;
    run->registerClass = run->classBoxChecked;
    run->extracting = 0;
    run->cancelRequested = 0;
    if (autoStart) osStartTimer(dialog, AUTO_START_TIMER, AUTO_START_DELAY);
}

void stripQuotes(char* text) {
    char* out = text;
    for (const char* p = text; *p; ++p) {
        if (*p != '"') *out++ = *p;
    }
    *out = 0;
}

// An OK that arrives while the pass runs (the auto-start timer's, posted
// before the user's own OK was handled) is ignored: one pass per run.
static void acceptDirectory(WindowHandle dialog) {
    if (run->extracting) return;
    if (!osGetDlgItemText(dialog, ID_DIRECTORY, run->extractDir, sizeof(run->extractDir))) run->extractDir[0] = 0;
    stripQuotes(run->extractDir);
    if (run->extractDir[0] == '\\' && run->extractDir[1] == '\\') {
        osMessageBox(dialog, "Invalid directory", run->windowTitle, MB_TASKMODAL | MB_ICONEXCLAMATION);
        return;
    }
    const int locked[] = {IDOK, ID_REFERENCE, ID_DIRECTORY, ID_GROUP_BOX, ID_CLASS_BOX};
    for (int id : locked) osEnableDlgItem(dialog, id, 0);
    run->extracting = 1;
    walkArchive(dialog, EXTRACT_PASS);
    osEndDialog(dialog, 1);
}

static void cancelDialog(WindowHandle dialog) {
    if (run->extracting) run->cancelRequested = 1;
    else osEndDialog(dialog, 0);
}

static void toggleBox(WindowHandle dialog, int id, int* flag) {
    *flag = !*flag;
    osCheckDlgButton(dialog, id, *flag);
}

int mainDialogEvent(WindowHandle dialog, int event, int id) {
    switch (event) {
    case DIALOG_INIT:
        initialiseDialog(dialog);
        return 1;
    case DIALOG_TIMER:
        osStopTimer(dialog, AUTO_START_TIMER);
        osPostCommand(dialog, IDOK);
        return 0;
    case DIALOG_COMMAND:
        switch (id) {
        case IDOK:
            acceptDirectory(dialog);
            return 1;
        case IDCANCEL:
            cancelDialog(dialog);
            return 1;
        case ID_GROUP_BOX:
            toggleBox(dialog, id, &run->createGroup);
            return 0;
        case ID_CLASS_BOX:
            toggleBox(dialog, id, &run->registerClass);
            return 0;
        }
        return 0;
    }
    return 0;
}

// Without its template the dialog cannot open; that ends the run as a
// Cancel before extraction does.
int runMainDialog() {
    int result = osRunDialog("SfxDialog", mainDialogEvent);
    return result < 0 ? 0 : result;
}
