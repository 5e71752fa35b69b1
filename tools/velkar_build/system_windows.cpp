#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "common/code_pages.h"
#include "tools/velkar_build/code_page.h"
#include "tools/velkar_build/system.h"

namespace fs = std::filesystem;

namespace {

const uint64_t UNIX_EPOCH_AS_FILETIME = 116444736000000000ULL;
const uint64_t FILETIME_PER_SECOND = 10000000;

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], length);
    return text;
}

std::string utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr, nullptr);
    return bytes;
}

uint64_t value(const FILETIME& time) { return uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime; }

// The text in the ANSI code page, or empty when a character has no exact form there.
std::string ansi(const std::wstring& text) {
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr, &usedDefault);
    if (length <= 0 || usedDefault) return std::string();
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, &bytes[0], length, nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

HANDLE handleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

// The handle as a stream for reading and writing, or nullptr with the handle
// closed and errno set.
std::FILE* streamOf(HANDLE handle) {
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
    std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "w+b");
    if (!file) {
        if (descriptor < 0) CloseHandle(handle);
        else _close(descriptor);
        errno = ENOMEM;
    }
    return file;
}

unsigned __stdcall threadEntry(void* run) {
    (*static_cast<std::function<void()>*>(run))();
    return 0;
}

}  // namespace

// The C runtime keeps descriptors 0 to 2 for the standard streams whether
// their handles are open or not; a file opened later never takes one.
void openStandardStreams() {}

std::vector<std::string> utf8Arguments(int, char**) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> result;
    for (int i = 0; arguments && i < count; ++i) result.push_back(utf8(arguments[i]));
    LocalFree(arguments);
    return result;
}

fs::path pathFromUtf8(const std::string& text) { return fs::path(wide(text)); }

std::string utf8Of(const fs::path& path) { return utf8(path.wstring()); }

std::string environmentText(const char* name) {
    std::wstring key = wide(name);
    DWORD length = GetEnvironmentVariableW(key.c_str(), nullptr, 0);
    if (length == 0) return std::string();
    std::wstring text(length, L'\0');
    text.resize(GetEnvironmentVariableW(key.c_str(), &text[0], length));
    return utf8(text);
}

fs::path programPath() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return fs::path();
    path.resize(length);
    return fs::path(path);
}

bool errorIsConsole() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

std::FILE* openForReading(const fs::path& path) { return _wfopen(path.c_str(), L"rb"); }

FileFacts fileFacts(const fs::path& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        throw std::runtime_error(utf8Of(path) + ": cannot be read (Windows error " + std::to_string(GetLastError()) +
                                 ")");
    FileFacts facts;
    facts.creationTime = value(data.ftCreationTime);
    facts.lastWriteTime = value(data.ftLastWriteTime);
    facts.lastAccessTime = value(data.ftLastAccessTime);
    int64_t since1970 = static_cast<int64_t>(facts.lastWriteTime - UNIX_EPOCH_AS_FILETIME);
    facts.modifiedSeconds = since1970 >= 0
                                ? since1970 / int64_t{FILETIME_PER_SECOND}
                                : -((-since1970 + int64_t{FILETIME_PER_SECOND} - 1) / int64_t{FILETIME_PER_SECOND});
    facts.size = uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    facts.readOnly = data.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    return facts;
}

std::FILE* createNewFile(const std::string& path) {
    // Shared for deletion, so that removeOnSignal can remove it while open.
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        errno = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS      ? EEXIST
                : error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ? ENOENT
                                                                                 : EACCES;
        return nullptr;
    }
    std::FILE* file = streamOf(handle);
    if (!file) DeleteFileW(wide(path).c_str());
    return file;
}

bool syncToDisk(std::FILE* file) { return FlushFileBuffers(handleOf(file)) != 0; }

bool truncateFile(std::FILE* file, uint64_t length) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(length);
    return std::fflush(file) == 0 && SetFilePointerEx(handleOf(file), position, nullptr, FILE_BEGIN) &&
           SetEndOfFile(handleOf(file));
}

// Deleted on close, and by Windows when the program ends however it ends.
std::FILE* scratchFile() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || !GetTempFileNameW(folder, L"vkb", 0, name)) {
        errno = ENOENT;
        return nullptr;
    }
    HANDLE handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        errno = EACCES;
        return nullptr;
    }
    return streamOf(handle);
}

bool replaceFile(const std::string& from, const std::string& to) {
    if (MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = EACCES;
    return false;
}

void removeFile(const std::string& path) { DeleteFileW(wide(path).c_str()); }

namespace {

wchar_t removedOnSignal[32768];

// Runs on a thread of its own; the file goes when its handle closes, as the
// process ends.
BOOL WINAPI removeOnConsoleEvent(DWORD) {
    if (removedOnSignal[0]) DeleteFileW(removedOnSignal);
    return FALSE;
}

}  // namespace

void removeOnSignal(const std::string& path) {
    static bool installed = false;
    std::wstring name = wide(path);
    size_t length = name.size() < sizeof removedOnSignal / sizeof removedOnSignal[0] ? name.size() : 0;
    // The first character goes in last: the handler never sees half a name.
    removedOnSignal[0] = 0;
    if (length) {
        std::copy(name.begin() + 1, name.begin() + static_cast<std::ptrdiff_t>(length), removedOnSignal + 1);
        removedOnSignal[length] = 0;
        removedOnSignal[0] = name[0];
    }
    if (!installed) installed = SetConsoleCtrlHandler(removeOnConsoleEvent, TRUE) != 0;
}

unsigned long processId() { return GetCurrentProcessId(); }

unsigned processorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

struct Semaphore::State {
    HANDLE handle;
};

Semaphore::Semaphore(unsigned count) : state_(new State) {
    state_->handle = CreateSemaphoreW(nullptr, static_cast<LONG>(count), 0x7FFFFFFF, nullptr);
    if (!state_->handle)
        throw std::runtime_error("cannot make a semaphore (Windows error " + std::to_string(GetLastError()) + ")");
}

Semaphore::~Semaphore() { CloseHandle(state_->handle); }

void Semaphore::release(unsigned count) { ReleaseSemaphore(state_->handle, static_cast<LONG>(count), nullptr); }

void Semaphore::acquire() { WaitForSingleObject(state_->handle, INFINITE); }

bool Semaphore::acquire(unsigned milliseconds) {
    return WaitForSingleObject(state_->handle, milliseconds) == WAIT_OBJECT_0;
}

// Each thread's function lives here until the thread is joined.
struct Threads::State {
    std::vector<HANDLE> handles;
    std::vector<std::unique_ptr<std::function<void()>>> runs;
};

Threads::Threads() : state_(new State) {}

Threads::~Threads() { join(); }

// _beginthreadex, not CreateThread: the C runtime sets up its own state for the thread.
void Threads::start(std::function<void()> run) {
    state_->handles.reserve(state_->handles.size() + 1);
    state_->runs.push_back(std::make_unique<std::function<void()>>(std::move(run)));
    uintptr_t handle = _beginthreadex(nullptr, 0, threadEntry, state_->runs.back().get(), 0, nullptr);
    if (handle == 0) {
        state_->runs.pop_back();
        throw std::runtime_error(std::string("cannot start a thread: ") + std::strerror(errno));
    }
    state_->handles.push_back(reinterpret_cast<HANDLE>(handle));
}

void Threads::join() {
    for (HANDLE handle : state_->handles) {
        WaitForSingleObject(handle, INFINITE);
        CloseHandle(handle);
    }
    state_->handles.clear();
    state_->runs.clear();
}

std::tm utcTime(uint32_t unixSeconds) {
    uint64_t time = unixSeconds * FILETIME_PER_SECOND + UNIX_EPOCH_AS_FILETIME;
    FILETIME file = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
    SYSTEMTIME system = {};
    FileTimeToSystemTime(&file, &system);
    std::tm parts = {};
    parts.tm_year = system.wYear - 1900;
    parts.tm_mon = system.wMonth - 1;
    parts.tm_mday = system.wDay;
    parts.tm_hour = system.wHour;
    parts.tm_min = system.wMinute;
    parts.tm_sec = system.wSecond;
    parts.tm_wday = system.wDayOfWeek;
    return parts;
}

// The stub's calls take ANSI paths; a path with a character the ANSI code
// page lacks still has its short form, which is plain ASCII.
std::string stubCallPath(const std::string& path) {
    std::wstring widePath = wide(path);
    std::string text = ansi(widePath);
    if (text.empty()) {
        std::wstring shortPath(32768, L'\0');
        DWORD length = GetShortPathNameW(widePath.c_str(), &shortPath[0], static_cast<DWORD>(shortPath.size()));
        if (length > 0 && length < shortPath.size()) text = ansi(shortPath.substr(0, length));
    }
    return text.size() < MAX_PATH ? text : std::string();
}

std::string discardDecodedOutput(bool) { return "NUL"; }

bool codePageKnown(int codePage) {
    return isWindowsCodePage(codePage) && IsValidCodePage(static_cast<UINT>(codePage)) != 0;
}

bool fromCodePage(const std::string& bytes, int codePage, std::string* utf8Text) {
    if (bytes.empty()) {
        utf8Text->clear();
        return true;
    }
    UINT page = static_cast<UINT>(codePage);
    int length =
        MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) return false;
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
    *utf8Text = utf8(text);
    return true;
}

// Without best-fit mappings and with the default character noticed, a
// character the code page lacks fails the conversion instead of turning into
// a look-alike or a question mark. Code pages that refuse these flags fail too.
bool toCodePage(const std::string& utf8Text, int codePage, std::string* converted) {
    std::wstring text;
    if (!utf8Text.empty()) {
        int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Text.data(),
                                         static_cast<int>(utf8Text.size()), nullptr, 0);
        if (length <= 0) return false;
        text.resize(static_cast<size_t>(length));
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Text.data(), static_cast<int>(utf8Text.size()), &text[0],
                            length);
    }
    if (text.empty()) {
        converted->clear();
        return true;
    }
    UINT page = static_cast<UINT>(codePage);
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, &usedDefault);
    if (length <= 0 || usedDefault) return false;
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &bytes[0], length,
                        nullptr, nullptr);
    *converted = bytes;
    return true;
}
