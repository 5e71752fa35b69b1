#include "ui/main_dialog.h"

#include "archive/walk.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "install/program_group.h"
#include "ui/directory_chooser.h"
#include "ui/progress.h"

// Division truncates toward zero, also for a window larger than the screen.
static void centreWindow(WindowHandle window) {
    int screenWidth = 0;
    int screenHeight = 0;
    WindowRect rect;
    osScreenSize(&screenWidth, &screenHeight);
    if (!osWindowRect(window, &rect)) return;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    osMoveWindow(window, (screenWidth - width) / 2, (screenHeight - height) / 2, width, height);
}

static void initialiseDialog(WindowHandle dialog) {
    run->ddeState = DdeState::idle;
    osSetWindowText(dialog, run->windowTitle);
    if (run->installTitle[0]) osSetDlgItemText(dialog, ID_LABEL, run->installTitle);
    osSetDlgItemText(dialog, ID_DIRECTORY, run->settings.destDir);
    if (run->groupTitle[0]) osSetDlgItemText(dialog, ID_GROUP_BOX, run->groupTitle);
    if (run->classTitle[0]) osSetDlgItemText(dialog, ID_CLASS_BOX, run->classTitle);
    osLimitDlgItemText(dialog, ID_DIRECTORY, DIRECTORY_LIMIT);
    osCheckDlgButton(dialog, ID_GROUP_BOX, run->groupBoxChecked);
    osCheckDlgButton(dialog, ID_CLASS_BOX, run->classBoxChecked);
    // From here on each option flag follows its box's mark.
    osEnableDlgItem(dialog, ID_GROUP_BOX, run->createGroup);
    osEnableDlgItem(dialog, ID_CLASS_BOX, run->registerClass);
    run->createGroup = run->groupBoxChecked;
    run->registerClass = run->classBoxChecked;
    centreWindow(dialog);
    run->extracting = 0;
    run->cancelRequested = 0;
    run->dialogIcon = osLoadDialogIcon(dialog);
    if (run->autoStart && !run->dirTooLong) osStartTimer(dialog, AUTO_START_TIMER, AUTO_START_DELAY);
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
    osFocusDefaultButton(dialog, IDCANCEL);
    run->extracting = 1;
    run->display = &dialogDisplay;
    run->outcome.extractPassRan = 1;
    // Once the extract pass has run, the run ends with 1 whatever it found:
    // its failures have been shown, so the walk's own result is not needed.
    walkArchive(dialog, WalkPass::extract);
    osEndDialog(dialog, 1);
}

static void cancelDialog(WindowHandle dialog) {
    if (run->extracting) {
        run->cancelRequested = 1;
        return;
    }
    run->outcome.declined = 1;
    osEndDialog(dialog, 0);
}

// Quotes keep a path with blanks together in the edit box; OK strips them.
static void referenceDirectory(WindowHandle dialog) {
    char directory[260];
    if (!chooseDirectory(dialog, directory, sizeof(directory))) return;
    dropTrailingSeparator(directory);
    char shown[sizeof(directory) + 2];
    if (findAnyOf(directory, " ")) formatText(shown, sizeof(shown), "\"%s\"", directory);
    else copyText(shown, directory, sizeof(shown));
    osSetDlgItemText(dialog, ID_DIRECTORY, shown);
}

static void toggleBox(WindowHandle dialog, int id, int* flag) {
    *flag = !*flag;
    osCheckDlgButton(dialog, id, *flag);
}

// A minimised dialog shows the program's icon, as long as it has one.
static intptr_t paintDialog(WindowHandle dialog) {
    if (osIsMinimised(dialog) && run->dialogIcon) osPaintMinimisedIcon(dialog, run->dialogIcon);
    return 0;
}

intptr_t mainDialogEvent(WindowHandle dialog, int event, uintptr_t value) {
    switch (event) {
    case DIALOG_INIT:
        initialiseDialog(dialog);
        return 1;
    case DIALOG_TIMER:
        osStopTimer(dialog, AUTO_START_TIMER);
        osPostCommand(dialog, IDOK);
        return 0;
    case DIALOG_PAINT:
        return paintDialog(dialog);
    case DIALOG_ERASE_BACKGROUND:
        return osIsMinimised(dialog);
    case DIALOG_QUERY_DRAG_ICON:
        return reinterpret_cast<intptr_t>(run->dialogIcon);
    case DIALOG_DDE_ACK:
        acknowledgeGroupConversation(dialog, reinterpret_cast<WindowHandle>(value));
        return 0;
    case DIALOG_COMMAND:
        switch (value) {
        case IDOK:
            acceptDirectory(dialog);
            return 1;
        case IDCANCEL:
            cancelDialog(dialog);
            return 1;
        case ID_REFERENCE:
            referenceDirectory(dialog);
            return 0;
        case ID_GROUP_BOX:
            toggleBox(dialog, ID_GROUP_BOX, &run->createGroup);
            return 0;
        case ID_CLASS_BOX:
            toggleBox(dialog, ID_CLASS_BOX, &run->registerClass);
            return 0;
        }
        return 0;
    }
    return 0;
}

// Without its template the dialog cannot open; that ends the run as a
// Cancel before extraction does. The icon is shared with the module and
// needs no release: it is only forgotten once the window is gone, so that
// nothing paints with it later.
int runMainDialog() {
    int result = osRunDialog("SfxDialog", mainDialogEvent);
    run->dialogIcon = 0;
    return result < 0 ? 0 : result;
}
