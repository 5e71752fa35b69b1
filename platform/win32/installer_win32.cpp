// The installer actions' services on the Windows API: registry and profile,
// short paths, Program Manager's start and the DDE messages. The stub must
// load on Win32s, which lacks GetShortPathNameA, WaitForInputIdle and
// SendMessageTimeoutA: those are looked up when needed, and the actions do
// without them where they are missing.
#include "platform/win32/installer_win32.h"

#include <dde.h>

#include "platform/platform.h"

// The execute's memory, until the server hands it back with its
// acknowledgment. Left alone when no acknowledgment comes: the server may
// still be reading it.
static HGLOBAL pendingCommands;

// Set while the initiate is broadcast: an acknowledgment then answers it.
static int initiating;

// How long each top-level window may take over the initiate.
static const UINT INITIATE_LIMIT = 3000;

// The longest command text and its terminator, with a byte to spare.
static const SIZE_T COMMANDS_SIZE = 1025;

typedef DWORD(WINAPI* ShortPathFunction)(LPCSTR, LPSTR, DWORD);
typedef DWORD(WINAPI* IdleWaitFunction)(HANDLE, DWORD);
typedef LRESULT(WINAPI* TimedSendFunction)(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR);

AnyFunction systemFunction(const char* module, const char* name) {
    HMODULE handle = GetModuleHandleA(module);
    return handle ? reinterpret_cast<AnyFunction>(GetProcAddress(handle, name)) : 0;
}

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

// Win32s has only short names, so without the call there is nothing to
// shorten.
uint32_t osShortPathName(const char* path, char* out, uint32_t size) {
    ShortPathFunction shortPath = reinterpret_cast<ShortPathFunction>(systemFunction("KERNEL32", "GetShortPathNameA"));
    return shortPath ? shortPath(path, out, size) : 0;
}

void osLowerText(char* text) { CharLowerA(text); }

int osWindowClassExists(const char* className) { return FindWindowA(className, 0) != 0; }

void osStartProgram(const char* commandLine, uint32_t idleMilliseconds) {
    char line[MAX_PATH];  // CreateProcessA may write into its command line
    uint32_t n = 0;
    for (; commandLine[n] && n + 1 < sizeof(line); ++n) line[n] = commandLine[n];
    line[n] = 0;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(0, line, 0, 0, TRUE, CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, 0, 0, &startup,
                        &process))
        return;
    IdleWaitFunction waitForIdle = reinterpret_cast<IdleWaitFunction>(systemFunction("USER32", "WaitForInputIdle"));
    if (waitForIdle) waitForIdle(process.hProcess, idleMilliseconds);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

// A hung top-level window would hold a plain SendMessage for ever; each
// window gets a few seconds to take the initiate. Win32s, where a hung
// window holds the whole system anyway, gets the plain call: the timed one
// may be there only to fail.
void osDdeInitiate(WindowHandle client, const char* application, const char* topic) {
    ATOM applicationAtom = GlobalAddAtomA(application);
    ATOM topicAtom = GlobalAddAtomA(topic);
    WPARAM wParam = reinterpret_cast<WPARAM>(client);
    LPARAM lParam = MAKELPARAM(applicationAtom, topicAtom);
    TimedSendFunction timedSend = 0;
    if (osPlatformId() != VER_PLATFORM_WIN32s)
        timedSend = reinterpret_cast<TimedSendFunction>(systemFunction("USER32", "SendMessageTimeoutA"));
    DWORD_PTR result;
    initiating = 1;
    if (timedSend)
        timedSend(HWND_BROADCAST, WM_DDE_INITIATE, wParam, lParam, SMTO_ABORTIFHUNG, INITIATE_LIMIT, &result);
    else SendMessageA(HWND_BROADCAST, WM_DDE_INITIATE, wParam, lParam);
    initiating = 0;
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
    SIZE_T n = 0;
    for (; commands[n] && n + 1 < COMMANDS_SIZE; ++n) text[n] = commands[n];
    text[n] = 0;
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

// The answer to the initiate comes during the broadcast and carries two
// atoms for the receiver to delete; the answer to the execute is posted and
// carries the commands' memory back.
void releaseDdeAcknowledgment(LPARAM lParam) {
    if (initiating) {
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
