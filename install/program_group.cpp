#include "install/program_group.h"

#include "common/run_state.h"
#include "common/text_ops.h"

// The initiate is sent, not posted: the server's acknowledgment, and with
// it the commands, come while the broadcast is still in progress.
static void startGroupConversation(WindowHandle client) {
    if (!osWindowClassExists("Progman")) osStartProgram("PROGMAN.EXE", PROGMAN_IDLE_LIMIT);
    run->ddeState = DdeState::initiating;
    osDdeInitiate(client, "PROGMAN", "PROGMAN");
}

// Two commands on two lines: the group (quoted) and its item (unquoted,
// with the icon only when the line names one). Commands that cannot be sent
// end the conversation here, since no reply can come for them.
static void sendGroupCommands(WindowHandle client) {
    formatText(run->actionText, sizeof(run->actionText), "[CreateGroup(\"%s\",0)]\n[AddItem(%s,%s", run->groupName,
               run->programPath, run->itemTitle);
    if (run->iconPath[0]) {
        appendText(run->actionText, ",", sizeof(run->actionText));
        appendText(run->actionText, run->iconPath, sizeof(run->actionText));
    }
    appendText(run->actionText, ")]", sizeof(run->actionText));
    run->ddeState = DdeState::executing;
    if (!osDdeExecute(client, run->ddeServerWindow, run->actionText)) {
        osDdeTerminate(client, run->ddeServerWindow);
        run->ddeState = DdeState::done;
    }
}

// The first acknowledgment answers the initiate and names the server's
// window for this conversation; after that only that window's reply ends
// it. A server makes a window for each conversation, so a late reply to an
// earlier conversation that timed out, or a second server's answer to the
// initiate, cannot end this one before its commands were read.
void acknowledgeGroupConversation(WindowHandle client, WindowHandle sender) {
    if (run->ddeState == DdeState::initiating) {
        run->ddeServerWindow = sender;
        sendGroupCommands(client);
    } else if (run->ddeState == DdeState::executing && sender == run->ddeServerWindow) {
        osDdeTerminate(client, run->ddeServerWindow);
        run->ddeState = DdeState::done;
    }
}

// A machine without Program Manager, or a server that never replies, must
// not hold the installer: a conversation without its acknowledgment for
// DDE_REPLY_LIMIT ends as if it had come, and the run goes on.
static void waitForConversation(WindowHandle client) {
    uint32_t start = osTickCount();
    while (run->ddeState != DdeState::done) {
        if (osTickCount() - start >= DDE_REPLY_LIMIT) {
            if (run->ddeState == DdeState::executing) osDdeTerminate(client, run->ddeServerWindow);
            run->ddeState = DdeState::done;
            return;
        }
        osPumpMessages(client);
    }
}

void createProgramGroup(WindowHandle client) {
    startGroupConversation(client);
    waitForConversation(client);
}
