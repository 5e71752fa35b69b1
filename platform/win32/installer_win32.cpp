// The installer actions' services on the Windows API: registry and profile,
// short paths, Program Manager's start and the DDE messages.
#include "platform/win32/installer_win32.h"

#include <dde.h>

#include "platform/platform.h"

// The execute's memory, until the server hands it back with its
// acknowledgment. Left alone when no acknowledgment comes: the server may
// still be reading it.
static HGLOBAL pendingCommands;

// How long each top-level window may take over the initiate.
static const UINT INITIATE_LIMIT = 3000;

// The longest command text and its terminator, with a byte to spare.
static const SIZE_T COMMANDS_SIZE = 1025;

void osWriteClassValue(const char* keyPath, const char* valueName, const char* text) {
    HKEY key = 0;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath, 0, const_cast<char*>("(standard)"), REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, 0, &key, &disposition) == ERROR_SUCCESS)
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), lstrlenA(text) + 1);
    if (key) RegCloseKey(key);
}

void osWriteProfileString(const char* section, const char* key, const char* text) {
    WriteProfileStringA(section, key, text);
}

uint32_t osShortPathName(const char* path, char* out, uint32_t size) { return GetShortPathNameA(path, out, size); }

void osLowerText(char* text) { CharLowerA(text); }

int osWindowClassExists(const char* className) { return FindWindowA(className, 0) != 0; }

void osStartProgram(const char* commandLine, uint32_t idleMilliseconds) {
    char line[MAX_PATH];
    lstrcpynA(line, commandLine, sizeof(line));  // CreateProcessA may write into it
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(0, line, 0, 0, TRUE, CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, 0, 0, &startup,
                        &process))
        return;
    WaitForInputIdle(process.hProcess, idleMilliseconds);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// A hung top-level window would hold a plain SendMessage for ever; each
// window gets a few seconds to take the initiate. Win32s, where a hung
// window holds the whole system anyway, may lack the timed form.
void osDdeInitiate(WindowHandle client, const char* application, const char* topic) {
    ATOM applicationAtom = GlobalAddAtomA(application);
    ATOM topicAtom = GlobalAddAtomA(topic);
    WPARAM wParam = reinterpret_cast<WPARAM>(client);
    LPARAM lParam = MAKELPARAM(applicationAtom, topicAtom);
    DWORD_PTR result;
    if (osPlatformId() == VER_PLATFORM_WIN32s)
        SendMessageA(HWND_BROADCAST, WM_DDE_INITIATE, wParam, lParam);
    else
        SendMessageTimeoutA(HWND_BROADCAST, WM_DDE_INITIATE, wParam, lParam, SMTO_ABORTIFHUNG, INITIATE_LIMIT, &result);
    GlobalDeleteAtom(topicAtom);
    GlobalDeleteAtom(applicationAtom);
}

int osDdeExecute(WindowHandle client, WindowHandle server, const char* commands) {
    HGLOBAL memory = GlobalAlloc(GMEM_DDESHARE | GMEM_MOVEABLE, COMMANDS_SIZE);
    if (!memory) return 0;
    char* text = static_cast<char*>(GlobalLock(memory));
    if (!text) {
        GlobalFree(memory);
        return 0;
    }
    lstrcpynA(text, commands, COMMANDS_SIZE);
    GlobalUnlock(memory);
    LPARAM packed = PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(memory));
    if (!PostMessageA(static_cast<HWND>(server), WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(client), packed)) {
        GlobalFree(memory);
        FreeDDElParam(WM_DDE_EXECUTE, packed);
        return 0;
    }
    pendingCommands = memory;
    return 1;
}

// The client window itself, whole: a packed 16-bit value would name
// another window.
void osDdeTerminate(WindowHandle client, WindowHandle server) {
    PostMessageA(static_cast<HWND>(server), WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(client), 0);
}

uint32_t osTickCount() { return GetTickCount(); }

void osWaitForMessage(uint32_t milliseconds) { MsgWaitForMultipleObjects(0, 0, FALSE, milliseconds, QS_ALLINPUT); }

// The answer to the initiate is sent and carries two atoms for the
// receiver to delete; the answer to the execute is posted and carries the
// commands' memory back.
void releaseDdeAcknowledgment(LPARAM lParam) {
    if (InSendMessage()) {
        GlobalDeleteAtom(LOWORD(lParam));
        GlobalDeleteAtom(HIWORD(lParam));
        return;
    }
    UINT_PTR status;
    UINT_PTR memory;
    if (!UnpackDDElParam(WM_DDE_ACK, lParam, &status, &memory)) return;
    if (pendingCommands && reinterpret_cast<HGLOBAL>(memory) == pendingCommands) {
        GlobalFree(pendingCommands);
        pendingCommands = 0;
    }
    FreeDDElParam(WM_DDE_ACK, lParam);
}
