// The installer actions' services on the host: recorded, never carried out,
// with a pretended Program Manager that answers through the dialog model.
#include <sys/stat.h>

#include <cctype>
#include <deque>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace {

struct HostInstaller {
    std::vector<HostAction> actions;
    HostDdeServer server;
    std::deque<WindowHandle> postedAcks;  // clients owed an acknowledgment
    uint32_t clock = 0;
};

int serverWindow;

HostInstaller& installer() {
    static HostInstaller state;
    return state;
}

void record(HostActionKind kind, const std::string& key, const std::string& name, const std::string& text) {
    installer().actions.push_back({kind, key, name, text});
}

}  // namespace

void hostResetInstaller() { installer() = HostInstaller(); }
const std::vector<HostAction>& hostInstallerActions() { return installer().actions; }
void hostSetDdeServer(const HostDdeServer& server) { installer().server = server; }
WindowHandle hostDdeServerWindow() { return &serverWindow; }
uint32_t hostClock() { return installer().clock; }

void hostDeliverDdeAcks(WindowHandle dialog) {
    while (!installer().postedAcks.empty()) {
        WindowHandle client = installer().postedAcks.front();
        installer().postedAcks.pop_front();
        if (client == dialog) hostSendDialogEvent(dialog, DIALOG_DDE_ACK, reinterpret_cast<uintptr_t>(&serverWindow));
    }
}

void osWriteClassValue(const char* keyPath, const char* valueName, const char* text) {
    record(HOST_CLASS_VALUE, keyPath, valueName, text);
}

void osWriteProfileString(const char* section, const char* key, const char* text) {
    record(HOST_PROFILE_STRING, section, key, text);
}

// The host has no 8.3 names: an existing file's short path is its path.
uint32_t osShortPathName(const char* path, char* out, uint32_t size) {
    struct stat info;
    if (::stat(hostPath(path).c_str(), &info) != 0) return 0;
    std::string text(path);
    if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
    text.copy(out, text.size());
    out[text.size()] = 0;
    return static_cast<uint32_t>(text.size());
}

// Double-byte characters keep their trail bytes, as CharLowerA does.
void osLowerText(char* text) {
    for (char* p = text; *p; ++p) {
        if (osIsLeadByte(static_cast<unsigned char>(*p)) && p[1]) ++p;
        else *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
}

int osWindowClassExists(const char*) { return installer().server.windowExists; }

void osStartProgram(const char* commandLine, uint32_t) { record(HOST_PROGRAM_START, "", "", commandLine); }

void osDdeInitiate(WindowHandle client, const char* application, const char* topic) {
    record(HOST_DDE_INITIATE, application, topic, "");
    if (installer().server.answersInitiate)
        hostSendDialogEvent(client, DIALOG_DDE_ACK, reinterpret_cast<uintptr_t>(&serverWindow));
}

int osDdeExecute(WindowHandle client, WindowHandle server, const char* commands) {
    if (installer().server.executeFails || server != &serverWindow) return 0;
    record(HOST_DDE_EXECUTE, "", "", commands);
    for (int i = 0; i < installer().server.executeAcks; ++i) installer().postedAcks.push_back(client);
    return 1;
}

void osDdeTerminate(WindowHandle, WindowHandle server) {
    record(HOST_DDE_TERMINATE, server == &serverWindow ? "server" : "another window", "", "");
}

// Each look at the clock finds it a tick further on, so that a wait for an
// acknowledgment that never comes ends after as many looks as milliseconds.
uint32_t osTickCount() { return installer().clock++; }
