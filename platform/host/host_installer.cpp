// The installer actions' services on the host: recorded, never carried out,
// with a pretended Program Manager that answers through the dialog model.
#include <sys/stat.h>

#include <cctype>
#include <deque>

#include "platform/host/host_control.h"
#include "platform/platform.h"

namespace {

// The server makes a window for each conversation, as a DDE server does.
const int SERVER_WINDOWS = 8;
int serverWindows[SERVER_WINDOWS];

struct PostedAck {
    WindowHandle client;
    WindowHandle server;
};

struct HostInstaller {
    std::vector<HostAction> actions;
    HostDdeServer server;
    std::deque<PostedAck> postedAcks;  // acknowledgments owed to clients
    std::deque<PostedAck> lateAcks;    // held back until the next execute
    int conversations = 0;
    uint32_t clock = 0;
};

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
WindowHandle hostDdeServerWindow() {
    return &serverWindows[(installer().conversations + SERVER_WINDOWS - 1) % SERVER_WINDOWS];
}
uint32_t hostClock() { return installer().clock; }

void hostDeliverDdeAcks(WindowHandle dialog) {
    while (!installer().postedAcks.empty()) {
        PostedAck ack = installer().postedAcks.front();
        installer().postedAcks.pop_front();
        if (ack.client == dialog) hostSendDialogEvent(dialog, DIALOG_DDE_ACK, reinterpret_cast<uintptr_t>(ack.server));
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
    ++installer().conversations;
    if (installer().server.answersInitiate)
        hostSendDialogEvent(client, DIALOG_DDE_ACK, reinterpret_cast<uintptr_t>(hostDdeServerWindow()));
}

// A late server's replies to an earlier execute arrive just ahead of the
// replies to this one, which are held back in their turn.
int osDdeExecute(WindowHandle client, WindowHandle server, const char* commands) {
    HostInstaller& state = installer();
    if (state.server.executeFails || server != hostDdeServerWindow()) return 0;
    record(HOST_DDE_EXECUTE, "", "", commands);
    state.postedAcks.insert(state.postedAcks.end(), state.lateAcks.begin(), state.lateAcks.end());
    state.lateAcks.clear();
    std::deque<PostedAck>& replies = state.server.repliesLate ? state.lateAcks : state.postedAcks;
    for (int i = 0; i < state.server.executeAcks; ++i) replies.push_back({client, server});
    return 1;
}

void osDdeTerminate(WindowHandle, WindowHandle server) {
    record(HOST_DDE_TERMINATE, server == hostDdeServerWindow() ? "server" : "another window", "", "");
}

// Each look at the clock finds it a tick further on, so that a wait for an
// acknowledgment that never comes ends after as many looks as milliseconds.
uint32_t osTickCount() { return installer().clock++; }
