// The platform services on the Windows API, one call each.
#include <windows.h>
#include <commdlg.h>
#include <dde.h>
#include <shellapi.h>

#include "platform/platform.h"
#include "platform/win32/installer_win32.h"

static_assert(sizeof(FileTime) == sizeof(FILETIME), "FileTime mirrors FILETIME");
static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME), "SystemTime mirrors SYSTEMTIME");
static_assert(INVALID_FILE == HFILE_ERROR, "both file kinds share the invalid value");

int osPlatformId() {
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return VER_PLATFORM_WIN32_NT;
    return static_cast<int>(info.dwPlatformId);
}

void* osAllocZeroed(uint32_t size) { return LocalAlloc(LPTR, size); }

void osFree(void* block) { LocalFree(block); }

// Older systems leave a cut name unterminated.
uint32_t osModulePath(char* out, uint32_t size) {
    if (size == 0) return 0;
    DWORD n = GetModuleFileNameA(0, out, size);
    out[size - 1] = 0;
    return n < size ? n : size - 1;
}

FileHandle osOpenRead(const char* path) {
    HFILE file = _lopen(path, OF_READ);
    return file == HFILE_ERROR ? INVALID_FILE : static_cast<FileHandle>(file);
}

int32_t osSeek(FileHandle file, int32_t offset, int origin) {
    return _llseek(static_cast<HFILE>(file), offset, origin);
}

int32_t osRead(FileHandle file, void* buffer, uint32_t count) {
    return static_cast<int32_t>(_lread(static_cast<HFILE>(file), buffer, count));
}

void osClose(FileHandle file) { _lclose(static_cast<HFILE>(file)); }

static HANDLE createForWriting(const char* path, DWORD disposition) {
    return CreateFileA(path, GENERIC_WRITE, 0, 0, disposition, FILE_ATTRIBUTE_NORMAL, 0);
}

FileHandle osCreateOutput(const char* path) {
    return reinterpret_cast<FileHandle>(createForWriting(path, CREATE_ALWAYS));
}

int osWrite(FileHandle file, const void* data, uint32_t count, uint32_t* written) {
    DWORD done = 0;
    BOOL ok = WriteFile(reinterpret_cast<HANDLE>(file), data, count, &done, 0);
    *written = done;
    return ok != 0;
}

int osCloseOutput(FileHandle file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0; }

int osDeleteFile(const char* path) { return DeleteFileA(path) != 0; }

// GetTempFileNameA given a number only forms the name; creating it with
// CREATE_NEW is what makes it ours. Left to pick the number it would create
// the file, close it and leave it to be opened again, which under Wine costs
// as much as writing a small member. The numbers go on from the last one
// used, so a folder of many members rarely meets a name taken.
static uint32_t lastTempNumber;

FileHandle osCreateTempOutput(char* path, uint32_t size) {
    char directory[MAX_PATH];
    uint32_t n = 0;
    for (; path[n] && n + 1 < sizeof(directory); ++n) directory[n] = path[n];
    if (path[n] || size < MAX_PATH) return INVALID_FILE;
    directory[n] = 0;
    if (!lastTempNumber) lastTempNumber = GetTickCount();
    for (uint32_t tries = 0; tries < 0x10000; ++tries) {
        uint32_t number = ++lastTempNumber & 0xFFFF;
        if (!number) continue;
        if (!GetTempFileNameA(directory, "VLK", number, path)) return INVALID_FILE;
        HANDLE file = createForWriting(path, CREATE_NEW);
        if (file != INVALID_HANDLE_VALUE) return reinterpret_cast<FileHandle>(file);
        // Systems differ in the error a taken name gives; only a name that
        // exists is worth passing over.
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return INVALID_FILE;
    }
    return INVALID_FILE;
}

typedef BOOL(WINAPI* MoveReplacingFunction)(LPCSTR, LPCSTR, DWORD);

// Without a replacing move the old file is renamed aside to a temporary name
// of its own, the new one takes its name, and only then is the old one
// deleted: a move that fails puts the old one back, so it is never lost. A
// file open in another program cannot be renamed there, which refuses the
// swap before anything has moved. from ends in GetTempFileNameA's name, so
// its last separator ends the folder, whatever double-byte names lie before.
static int replaceAside(const char* from, const char* to) {
    char folder[MAX_PATH];
    uint32_t n = 0, end = 0;
    for (; from[n] && n + 1 < sizeof(folder); ++n) {
        folder[n] = from[n];
        if (from[n] == '\\' || from[n] == '/') end = n + 1;
    }
    folder[end] = 0;
    char aside[MAX_PATH];
    if (from[n] || !GetTempFileNameA(folder, "VLK", 0, aside)) return 0;
    // GetTempFileNameA made the name ours by creating it; MoveFileA moves
    // onto no existing file.
    DeleteFileA(aside);
    if (!MoveFileA(to, aside)) return 0;
    if (MoveFileA(from, to)) {
        DeleteFileA(aside);
        return 1;
    }
    MoveFileA(aside, to);
    return 0;
}

// Windows refuses to replace a read-only file or a folder. Wine run by root
// replaces a read-only file all the same, and the rename aside would move
// either, so both are refused here first. Only the NT family replaces in one
// call: Win32s lacks MoveFileExA, and Windows 95, 98 and Me have it only to
// fail it.
int osReplaceFile(const char* from, const char* to) {
    DWORD attributes = GetFileAttributesA(to);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
        return 0;
    MoveReplacingFunction moveReplacing =
        osPlatformId() == VER_PLATFORM_WIN32_NT
            ? reinterpret_cast<MoveReplacingFunction>(systemFunction("KERNEL32", "MoveFileExA"))
            : 0;
    if (moveReplacing) return moveReplacing(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
    if (attributes == INVALID_FILE_ATTRIBUTES) return MoveFileA(from, to) != 0;
    return replaceAside(from, to);
}

int osOutputPathAllowed(const char*, const char*) { return 1; }

void osNoteKeptFile(const char*, KeptFile) {}

int osCreateDirectory(const char* path) { return CreateDirectoryA(path, 0) != 0; }

uint32_t osFileAttributes(const char* path) { return GetFileAttributesA(path); }

int osSetFileAttributes(const char* path, uint32_t attributes) { return SetFileAttributesA(path, attributes) != 0; }

int osLastWriteTime(const char* path, FileTime* lastWrite) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BOOL ok = GetFileTime(file, 0, 0, reinterpret_cast<FILETIME*>(lastWrite));
    CloseHandle(file);
    return ok != 0;
}

int osSetFileTimes(FileHandle file, const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite) {
    return SetFileTime(reinterpret_cast<HANDLE>(file), reinterpret_cast<const FILETIME*>(creation),
                       reinterpret_cast<const FILETIME*>(lastAccess),
                       reinterpret_cast<const FILETIME*>(lastWrite)) != 0;
}

uint32_t osMaxComponentLength(const char* root) {
    DWORD length = 0;
    if (!GetVolumeInformationA(root, 0, 0, 0, &length, 0, 0, 0)) return 0;
    return length;
}

int osFileTitle(const char* path, char* out, uint16_t size) { return GetFileTitleA(path, out, size) == 0; }

uint32_t osGetEnv(const char* name, char* out, uint32_t size) { return GetEnvironmentVariableA(name, out, size); }

uint32_t osWindowsDirectory(char* out, uint32_t size) { return GetWindowsDirectoryA(out, size); }

uint32_t osSystemDirectory(char* out, uint32_t size) { return GetSystemDirectoryA(out, size); }

uint32_t osCurrentDirectory(char* out, uint32_t size) { return GetCurrentDirectoryA(size, out); }

int osSetCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

uint32_t osSearchPath(const char* name, char* out, uint32_t size, char** filePart) {
    return SearchPathA(0, name, 0, size, out, filePart);
}

// A value stored without its terminator is terminated here, or refused when
// there is no room for one.
int osQueryLocalMachineString(const char* keyPath, const char* valueName, char* out, uint32_t outSize) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    DWORD size = outSize;
    LONG status = RegQueryValueExA(key, valueName, 0, 0, reinterpret_cast<BYTE*>(out), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return 0;
    if (size == 0 || out[size - 1] != 0) {
        if (size >= outSize) return 0;
        out[size] = 0;
    }
    return 1;
}

int osIsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

char* osCharPrev(const char* start, const char* current) { return CharPrevA(start, current); }

char osCharLower(char c) {
    return static_cast<char>(reinterpret_cast<uintptr_t>(
        CharLowerA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(static_cast<unsigned char>(c))))));
}

int osMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}

// The handler rides in the dialog's user data from WM_INITDIALOG on; the
// messages before it take the default handling.
static INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return reinterpret_cast<DialogHandler>(lParam)(dialog, DIALOG_INIT, 0);
    }
    DialogHandler handler = reinterpret_cast<DialogHandler>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!handler) return 0;
    switch (message) {
    case WM_COMMAND:
        return handler(dialog, DIALOG_COMMAND, LOWORD(wParam));
    case WM_TIMER:
        return handler(dialog, DIALOG_TIMER, wParam);
    case WM_PAINT:
        return handler(dialog, DIALOG_PAINT, 0);
    case WM_ERASEBKGND:
        return handler(dialog, DIALOG_ERASE_BACKGROUND, 0);
    case WM_QUERYDRAGICON:
        return handler(dialog, DIALOG_QUERY_DRAG_ICON, 0);
    case WM_DDE_ACK:
        releaseDdeAcknowledgment(lParam);
        return handler(dialog, DIALOG_DDE_ACK, wParam);
    }
    return 0;
}

int osRunDialog(const char* templateName, DialogHandler handler) {
    return static_cast<int>(
        DialogBoxParamA(GetModuleHandleA(0), templateName, 0, dialogProcedure, reinterpret_cast<LPARAM>(handler)));
}

void osEndDialog(WindowHandle dialog, int result) { EndDialog(static_cast<HWND>(dialog), result); }

void osSetWindowText(WindowHandle window, const char* text) { SetWindowTextA(static_cast<HWND>(window), text); }

void osSetDlgItemText(WindowHandle dialog, int id, const char* text) {
    SetDlgItemTextA(static_cast<HWND>(dialog), id, text);
}

uint32_t osGetDlgItemText(WindowHandle dialog, int id, char* out, uint32_t size) {
    return GetDlgItemTextA(static_cast<HWND>(dialog), id, out, static_cast<int>(size));
}

void osLimitDlgItemText(WindowHandle dialog, int id, uint32_t limit) {
    SendDlgItemMessageA(static_cast<HWND>(dialog), id, EM_LIMITTEXT, limit, 0);
}

void osEnableDlgItem(WindowHandle dialog, int id, int enable) {
    EnableWindow(GetDlgItem(static_cast<HWND>(dialog), id), enable);
}

void osCheckDlgButton(WindowHandle dialog, int id, int checked) {
    CheckDlgButton(static_cast<HWND>(dialog), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void osFocusDefaultButton(WindowHandle dialog, int id) {
    HWND button = GetDlgItem(static_cast<HWND>(dialog), id);
    SetFocus(button);
    SendMessageA(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void osStartTimer(WindowHandle window, int id, uint32_t milliseconds) {
    SetTimer(static_cast<HWND>(window), id, milliseconds, 0);
}

void osStopTimer(WindowHandle window, int id) { KillTimer(static_cast<HWND>(window), id); }

void osPostCommand(WindowHandle window, int id) { PostMessageA(static_cast<HWND>(window), WM_COMMAND, id, 0); }

void osPumpMessages(WindowHandle dialog) {
    MSG message;
    while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageA(static_cast<HWND>(dialog), &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void osScreenSize(int* width, int* height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

static_assert(sizeof(WindowRect) == sizeof(RECT), "WindowRect mirrors RECT");

int osWindowRect(WindowHandle window, WindowRect* rect) {
    return GetWindowRect(static_cast<HWND>(window), reinterpret_cast<RECT*>(rect)) != 0;
}

void osMoveWindow(WindowHandle window, int x, int y, int width, int height) {
    MoveWindow(static_cast<HWND>(window), x, y, width, height, FALSE);
}

int osIsMinimised(WindowHandle window) { return IsIconic(static_cast<HWND>(window)) != 0; }

IconHandle osLoadDialogIcon(WindowHandle dialog) {
    HICON icon = LoadIconA(GetModuleHandleA(0), "IDI_ICON1");
    if (icon) SendMessageA(static_cast<HWND>(dialog), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    return icon;
}

void osPaintMinimisedIcon(WindowHandle window, IconHandle icon) {
    HWND handle = static_cast<HWND>(window);
    PAINTSTRUCT paint;
    HDC context = BeginPaint(handle, &paint);
    int mode = GetMapMode(context);
    SendMessageA(handle, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    SetMapMode(context, MM_TEXT);
    DrawIcon(context, 0, 0, static_cast<HICON>(icon));
    SetMapMode(context, mode);
    EndPaint(handle, &paint);
}

// The structure's size is that of its first form, which every version of the
// common dialogs accepts.
int osChooseFile(WindowHandle owner, const char* templateName, const char* title, char* buffer, uint32_t capacity,
                 uint32_t* nameOffset) {
    OPENFILENAMEA request = {};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = static_cast<HWND>(owner);
    request.hInstance = GetModuleHandleA(0);
    request.lpstrFile = buffer;
    request.nMaxFile = capacity;
    request.lpstrTitle = title;
    request.Flags = OFN_HIDEREADONLY | OFN_ENABLETEMPLATE;
    request.lpTemplateName = templateName;
    if (!GetOpenFileNameA(&request)) return 0;
    *nameOffset = request.nFileOffset;
    return 1;
}

void osBroadcastSettingChange() { PostMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0); }

void osShellExecute(WindowHandle owner, const char* file, const char* parameters, const char* directory) {
    ShellExecuteA(static_cast<HWND>(owner), 0, file, parameters, directory, SW_SHOW);
}

int osFileTimeToSystemTime(const FileTime* fileTime, SystemTime* systemTime) {
    return FileTimeToSystemTime(reinterpret_cast<const FILETIME*>(fileTime),
                                reinterpret_cast<SYSTEMTIME*>(systemTime)) != 0;
}

int osSystemTimeToFileTime(const SystemTime* systemTime, FileTime* fileTime) {
    return SystemTimeToFileTime(reinterpret_cast<const SYSTEMTIME*>(systemTime),
                                reinterpret_cast<FILETIME*>(fileTime)) != 0;
}
