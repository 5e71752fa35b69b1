// The dialog services on the host: one modal dialog at a time, kept as a
// model of its controls and driven by a callback instead of a user.
#include <deque>

#include "platform/host/host_control.h"
#include "platform/host/host_fault_points.h"
#include "platform/platform.h"

namespace {

struct HostControl {
    std::string text;
    bool enabled = true;
    bool checked = false;
    uint32_t limit = 0;
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
    std::function<void(WindowHandle)> openedHandler;
    int driverCalls = 0;
    int broadcasts = 0;
    std::vector<HostShellStart> shellStarts;
    int focus = 0;
    int screenWidth = 1024;
    int screenHeight = 768;
    WindowRect rect = {0, 0, 400, 200};
    bool minimised = false;
    int iconPaints = 0;
    bool chooserAnswers = false;
    std::string chooserPath;
    int chooserOffset = -1;
    std::vector<HostChooserCall> chooserCalls;
};

int programIcon;

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
        dialog().handler(window, DIALOG_COMMAND, static_cast<uintptr_t>(id));
    }
}

}  // namespace

void hostResetDialog() { dialog() = HostDialog(); }
void hostSetDialogDriver(std::function<int(WindowHandle)> driver) { dialog().driver = std::move(driver); }
void hostSetPumpHandler(std::function<void(WindowHandle)> handler) { dialog().pumpHandler = std::move(handler); }
void hostSetDialogOpened(std::function<void(WindowHandle)> handler) { dialog().openedHandler = std::move(handler); }

void hostSendCommand(WindowHandle window, int id) {
    hostSendDialogEvent(window, DIALOG_COMMAND, static_cast<uintptr_t>(id));
}

void hostSendDialogEvent(WindowHandle window, int event, uintptr_t value) {
    if (isDialog(window) && dialog().handler) dialog().handler(window, event, value);
}

const std::string& hostDialogCaption() { return dialog().caption; }
std::string hostDialogItemText(int id) { return dialog().controls[id].text; }
const std::vector<std::string>& hostDialogItemHistory(int id) { return dialog().controls[id].history; }
bool hostDialogItemEnabled(int id) { return dialog().controls[id].enabled; }
bool hostDialogItemChecked(int id) { return dialog().controls[id].checked; }
uint32_t hostDialogItemLimit(int id) { return dialog().controls[id].limit; }
int hostDialogFocus() { return dialog().focus; }
void hostSetScreen(int width, int height, WindowRect window) {
    dialog().screenWidth = width;
    dialog().screenHeight = height;
    dialog().rect = window;
}
WindowRect hostDialogRect() { return dialog().rect; }
void hostSetMinimised(bool minimised) { dialog().minimised = minimised; }
int hostIconPaints() { return dialog().iconPaints; }
IconHandle hostProgramIcon() { return &programIcon; }
void hostSetChooserAnswer(const std::string& path, int nameOffset) {
    dialog().chooserAnswers = !path.empty();
    dialog().chooserPath = path;
    dialog().chooserOffset = nameOffset;
}
const std::vector<HostChooserCall>& hostChooserCalls() { return dialog().chooserCalls; }

int osRunDialog(const char*, DialogHandler handler) {
    if (HOST_FAULTS && hostDialogFails()) return -1;
    HostDialog& state = dialog();
    state.handler = handler;
    state.caption.clear();
    state.controls.clear();
    state.ended = false;
    state.result = 0;
    state.timerId = 0;
    state.posted.clear();
    state.driverCalls = 0;
    state.focus = 0;
    WindowHandle window = dialogHandle();
    handler(window, DIALOG_INIT, 0);
    if (state.openedHandler) state.openedHandler(window);
    while (!state.ended) {
        if (!state.posted.empty()) {
            deliverPosted(window);
        } else if (state.timerId) {
            handler(window, DIALOG_TIMER, static_cast<uintptr_t>(state.timerId));
        } else {
            int id = state.driver ? state.driver(window) : defaultDriver();
            handler(window, DIALOG_COMMAND, static_cast<uintptr_t>(id));
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

void osLimitDlgItemText(WindowHandle window, int id, uint32_t limit) {
    if (isDialog(window)) dialog().controls[id].limit = limit;
}

void osEnableDlgItem(WindowHandle window, int id, int enable) {
    if (isDialog(window)) dialog().controls[id].enabled = enable != 0;
}

void osCheckDlgButton(WindowHandle window, int id, int checked) {
    if (isDialog(window)) dialog().controls[id].checked = checked != 0;
}

void osFocusDefaultButton(WindowHandle window, int id) {
    if (isDialog(window)) dialog().focus = id;
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

// Commands posted before the pump and a running timer are delivered in it,
// as Windows would.
void osPumpMessages(WindowHandle window) {
    if (!isDialog(window) || !dialog().handler) return;
    if (HOST_FAULTS && hostCallFails(HOST_PUMP)) hostSendCommand(window, IDCANCEL);
    deliverPosted(window);
    hostDeliverDdeAcks(window);
    if (dialog().timerId) dialog().handler(window, DIALOG_TIMER, static_cast<uintptr_t>(dialog().timerId));
    if (dialog().pumpHandler) dialog().pumpHandler(window);
}

void osScreenSize(int* width, int* height) {
    *width = dialog().screenWidth;
    *height = dialog().screenHeight;
}

int osWindowRect(WindowHandle window, WindowRect* rect) {
    if (!isDialog(window)) return 0;
    *rect = dialog().rect;
    return 1;
}

void osMoveWindow(WindowHandle window, int x, int y, int width, int height) {
    if (isDialog(window)) dialog().rect = {x, y, x + width, y + height};
}

int osIsMinimised(WindowHandle window) { return isDialog(window) && dialog().minimised; }

IconHandle osLoadDialogIcon(WindowHandle) { return hostProgramIcon(); }

void osPaintMinimisedIcon(WindowHandle window, IconHandle icon) {
    if (isDialog(window) && icon == hostProgramIcon()) ++dialog().iconPaints;
}

int osChooseFile(WindowHandle owner, const char* templateName, const char* title, char* buffer, uint32_t capacity,
                 uint32_t* nameOffset) {
    HostDialog& state = dialog();
    state.chooserCalls.push_back({owner, templateName, title, buffer, capacity});
    if (!state.chooserAnswers || state.chooserPath.size() >= capacity) return 0;
    state.chooserPath.copy(buffer, state.chooserPath.size());
    buffer[state.chooserPath.size()] = 0;
    size_t lastSeparator = state.chooserPath.find_last_of('\\');
    size_t nameStart = lastSeparator == std::string::npos ? 0 : lastSeparator + 1;
    *nameOffset = static_cast<uint32_t>(state.chooserOffset < 0 ? nameStart : state.chooserOffset);
    osSetCurrentDirectory(state.chooserPath.substr(0, nameStart).c_str());
    return 1;
}

int hostBroadcastCount() { return dialog().broadcasts; }
const std::vector<HostShellStart>& hostShellStarts() { return dialog().shellStarts; }

void osBroadcastSettingChange() { ++dialog().broadcasts; }

void osShellExecute(WindowHandle, const char* file, const char* parameters, const char* directory) {
    dialog().shellStarts.push_back({file, parameters ? parameters : "(none)", directory});
}
