// The dialog services on the host: one modal dialog at a time, kept as a
// model of its controls and driven by a callback instead of a user.
#include <deque>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace {

struct HostControl {
    std::string text;
    bool enabled = true;
    bool checked = false;
    std::vector<std::string> history;
};

struct HostDialog {
    DialogHandler handler = nullptr;
    std::string caption;
    std::map<int, HostControl> controls;
    bool ended = false;
    int result = 0;
    int timerId = 0;
    std::deque<int> posted;
    std::function<int(WindowHandle)> driver;
    std::function<void(WindowHandle)> pumpHandler;
    bool fail = false;
    int driverCalls = 0;
    int broadcasts = 0;
    std::vector<HostShellStart> shellStarts;
};

HostDialog& dialog() {
    static HostDialog state;
    return state;
}

WindowHandle dialogHandle() { return &dialog(); }

bool isDialog(WindowHandle window) { return window == dialogHandle(); }

// OK first; should the dialog stay open after it, Cancel, so that a run
// without a driver always ends.
int defaultDriver() { return dialog().driverCalls++ == 0 ? IDOK : IDCANCEL; }

void deliverPosted(WindowHandle window) {
    while (!dialog().posted.empty() && !dialog().ended) {
        int id = dialog().posted.front();
        dialog().posted.pop_front();
        dialog().handler(window, DIALOG_COMMAND, id);
    }
}

}  // namespace

void hostResetDialog() { dialog() = HostDialog(); }
void hostSetDialogDriver(std::function<int(WindowHandle)> driver) { dialog().driver = std::move(driver); }
void hostSetPumpHandler(std::function<void(WindowHandle)> handler) { dialog().pumpHandler = std::move(handler); }
void hostFailDialog(bool fail) { dialog().fail = fail; }

void hostSendCommand(WindowHandle window, int id) {
    if (isDialog(window) && dialog().handler) dialog().handler(window, DIALOG_COMMAND, id);
}

const std::string& hostDialogCaption() { return dialog().caption; }
std::string hostDialogItemText(int id) { return dialog().controls[id].text; }
const std::vector<std::string>& hostDialogItemHistory(int id) { return dialog().controls[id].history; }
bool hostDialogItemEnabled(int id) { return dialog().controls[id].enabled; }
bool hostDialogItemChecked(int id) { return dialog().controls[id].checked; }

int osRunDialog(const char*, DialogHandler handler) {
    if (dialog().fail) return -1;
    HostDialog& state = dialog();
    state.handler = handler;
    state.caption.clear();
    state.controls.clear();
    state.ended = false;
    state.result = 0;
    state.timerId = 0;
    state.posted.clear();
    state.driverCalls = 0;
    WindowHandle window = dialogHandle();
    handler(window, DIALOG_INIT, 0);
    while (!state.ended) {
        if (!state.posted.empty()) {
            deliverPosted(window);
        } else if (state.timerId) {
            handler(window, DIALOG_TIMER, state.timerId);
        } else {
            int id = state.driver ? state.driver(window) : defaultDriver();
            handler(window, DIALOG_COMMAND, id);
        }
    }
    state.handler = nullptr;
    return state.result;
}

void osEndDialog(WindowHandle window, int result) {
    if (!isDialog(window)) return;
    dialog().ended = true;
    dialog().result = result;
}

void osSetWindowText(WindowHandle window, const char* text) {
    if (isDialog(window)) dialog().caption = text;
}

void osSetDlgItemText(WindowHandle window, int id, const char* text) {
    if (!isDialog(window)) return;
    HostControl& control = dialog().controls[id];
    control.text = text;
    control.history.push_back(text);
}

uint32_t osGetDlgItemText(WindowHandle window, int id, char* out, uint32_t size) {
    if (!isDialog(window) || size == 0) return 0;
    const std::string& text = dialog().controls[id].text;
    uint32_t n = static_cast<uint32_t>(text.size() < size ? text.size() : size - 1);
    text.copy(out, n);
    out[n] = 0;
    return n;
}

void osEnableDlgItem(WindowHandle window, int id, int enable) {
    if (isDialog(window)) dialog().controls[id].enabled = enable != 0;
}

void osCheckDlgButton(WindowHandle window, int id, int checked) {
    if (isDialog(window)) dialog().controls[id].checked = checked != 0;
}

void osStartTimer(WindowHandle window, int id, uint32_t) {
    if (isDialog(window)) dialog().timerId = id;
}

void osStopTimer(WindowHandle window, int id) {
    if (isDialog(window) && dialog().timerId == id) dialog().timerId = 0;
}

void osPostCommand(WindowHandle window, int id) {
    if (isDialog(window)) dialog().posted.push_back(id);
}

// Commands posted before the pump are delivered in it, as Windows would.
void osPumpMessages(WindowHandle window) {
    if (!isDialog(window) || !dialog().handler) return;
    deliverPosted(window);
    if (dialog().pumpHandler) dialog().pumpHandler(window);
}

int hostBroadcastCount() { return dialog().broadcasts; }
const std::vector<HostShellStart>& hostShellStarts() { return dialog().shellStarts; }

void osBroadcastSettingChange() { ++dialog().broadcasts; }

void osShellExecute(WindowHandle, const char* file, const char* parameters, const char* directory) {
    dialog().shellStarts.push_back({file, parameters ? parameters : "(none)", directory});
}
