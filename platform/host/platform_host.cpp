// The platform services on POSIX, with the switches and records the tests and
// velkar-run need (host_control.h).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>

#include "platform/host/host_control.h"
#include "platform/host/host_fault_points.h"
#include "platform/platform.h"

namespace {

struct HostSettings {
    int codePage = 0;
    bool utf8Names = false;
    int platformId = 2;
    std::string modulePath;
    std::map<std::string, std::string> environment;
    std::string windowsDirectory;
    std::string systemDirectory;
    std::string currentDirectory;
    std::map<std::string, std::string> registry;
    std::deque<int> answers;
    HostBoxAnswerer answerer;
    std::vector<HostMessageBox> boxes;
    std::vector<uint32_t> readRequests;
    uint32_t maxComponentLength = 255;
    std::string volumeRootAsked;
    HostFileTimes lastFileTimes{};
    bool discardOutput = false;
    std::function<void(const std::string&)> onRefused;
    std::function<void(const std::string&, NameFault)> onUnsafeName;
    int createError = 0;
    uint64_t bytesWritten = 0;
    bool inputEndedEarly = false;
    std::function<void(const char*)> outputObserver;
    std::function<void(const char*, KeptFile)> keptObserver;
    // Attribute bits a POSIX file cannot carry (archive, hidden, system).
    std::map<std::string, uint32_t> extraAttributes;
    uint32_t tempNumber = static_cast<uint32_t>(::getpid());
};

// The temporary file being written, for the signal handler, which may only
// unlink: a fixed buffer, and a flag set once the name is complete.
char pendingTemp[4096];
volatile sig_atomic_t pendingTempSet = 0;

// The handle of a pretended output file.
const FileHandle DISCARD_FILE = 0x7FFF0000;
const uint64_t UNIX_EPOCH_SECONDS = 11644473600ull;  // 1601-01-01 to 1970-01-01
const uint32_t KEPT_ATTRIBUTES = ATTRIBUTE_READONLY | ATTRIBUTE_DIRECTORY | ATTRIBUTE_NORMAL;

HostSettings& host() {
    static HostSettings settings;
    return settings;
}

// The Windows calls' way of handing back a text: its length when it fits,
// else the size needed with the terminator.
uint32_t giveText(const std::string& text, char* out, uint32_t size) {
    if (text.empty()) return 0;
    if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
    std::memcpy(out, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size());
}

int firstButtonAnswer(unsigned style) { return (style & 0x0F) == MB_OK ? IDOK : IDYES; }

bool isFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::string registryKey(const std::string& keyPath, const std::string& valueName) { return keyPath + '\n' + valueName; }

}  // namespace

void hostReset() {
    host() = HostSettings();
    hostResetDialog();
    hostResetInstaller();
    if (HOST_FAULTS) hostResetFaults();
}

void hostSetCodePage(int codePage) { host().codePage = codePage; }
int hostCodePage() { return host().codePage; }
void hostSetUtf8Names(bool on) { host().utf8Names = on; }
void hostSetPlatformId(int id) { host().platformId = id; }
void hostSetModulePath(const std::string& path) { host().modulePath = path; }
void hostSetEnv(const std::string& name, const std::string& value) { host().environment[name] = value; }
void hostUnsetEnv(const std::string& name) { host().environment.erase(name); }
void hostSetWindowsDirectory(const std::string& path) { host().windowsDirectory = path; }
void hostSetSystemDirectory(const std::string& path) { host().systemDirectory = path; }
void hostSetCurrentDirectory(const std::string& path) { host().currentDirectory = path; }
void hostSetRegistryString(const std::string& keyPath, const std::string& valueName, const std::string& data) {
    host().registry[registryKey(keyPath, valueName)] = data;
}

void hostQueueAnswers(const std::vector<int>& answers) {
    host().answers.insert(host().answers.end(), answers.begin(), answers.end());
}
void hostSetBoxAnswerer(HostBoxAnswerer answerer) { host().answerer = std::move(answerer); }
const std::vector<HostMessageBox>& hostMessageBoxes() { return host().boxes; }
const std::vector<uint32_t>& hostReadRequests() { return host().readRequests; }
void hostSetMaxComponentLength(uint32_t length) { host().maxComponentLength = length; }
const std::string& hostVolumeRootAsked() { return host().volumeRootAsked; }
const HostFileTimes& hostLastFileTimes() { return host().lastFileTimes; }
void hostSetDiscardOutput(bool discard) { host().discardOutput = discard; }
void hostConfineOutput(std::function<void(const std::string&)> onRefused) { host().onRefused = std::move(onRefused); }
void hostRefuseUnsafeNames(std::function<void(const std::string&, NameFault)> onUnsafe) {
    host().onUnsafeName = std::move(onUnsafe);
}
int hostLastCreateError() { return host().createError; }
uint64_t hostBytesWritten() { return host().bytesWritten; }
bool hostInputEndedEarly() { return host().inputEndedEarly; }
void hostSetOutputObserver(std::function<void(const char*)> observer) { host().outputObserver = std::move(observer); }
void hostSetKeptObserver(std::function<void(const char*, KeptFile)> observer) {
    host().keptObserver = std::move(observer);
}

// A trail byte 0x5C belongs to its character; UTF-8 has no such bytes.
std::string hostPath(const char* path) {
    std::string result = host().utf8Names ? hostToUtf8(path) : path;
    for (size_t i = 0; i < result.size(); ++i) {
        if (!host().utf8Names && osIsLeadByte(static_cast<unsigned char>(result[i])) && i + 1 < result.size()) ++i;
        else if (result[i] == '\\') result[i] = '/';
    }
    return result;
}

int osPlatformId() { return host().platformId; }

void* osAllocZeroed(uint32_t size) {
    if (HOST_FAULTS && hostAllocationFails()) return nullptr;
    return std::calloc(1, size == 0 ? 1 : size);
}

void osFree(void* block) { std::free(block); }

uint32_t osModulePath(char* out, uint32_t size) {
    if (size == 0) return 0;
    const std::string& path = host().modulePath;
    uint32_t n = static_cast<uint32_t>(path.size() < size ? path.size() : size - 1);
    std::memcpy(out, path.data(), n);
    out[n] = 0;
    return n;
}

FileHandle osOpenRead(const char* path) {
    int fd = ::open(hostPath(path).c_str(), O_RDONLY);
    return fd < 0 ? INVALID_FILE : fd;
}

int32_t osSeek(FileHandle file, int32_t offset, int origin) {
    if (HOST_FAULTS && hostCallFails(HOST_SEEK)) return -1;
    int whence = origin == SEEK_FROM_START ? SEEK_SET : origin == SEEK_FROM_CURRENT ? SEEK_CUR : SEEK_END;
    off_t position = ::lseek(static_cast<int>(file), offset, whence);
    if (position < 0 || position > 0x7FFFFFFF) return -1;
    return static_cast<int32_t>(position);
}

int32_t osRead(FileHandle file, void* buffer, uint32_t count) {
    host().readRequests.push_back(count);
    if (HOST_FAULTS && hostCallFails(HOST_READ)) {
        if (!hostReadsShort()) return -1;
        count /= 2;
    }
    uint32_t total = 0;
    while (total < count) {
        ssize_t n = ::read(static_cast<int>(file), static_cast<char*>(buffer) + total, count - total);
        if (n < 0) return -1;
        if (n == 0) break;
        total += static_cast<uint32_t>(n);
    }
    if (total < count && !(total == 1 && static_cast<unsigned char*>(buffer)[0] == 0)) host().inputEndedEarly = true;
    return static_cast<int32_t>(total);
}

void osClose(FileHandle file) { ::close(static_cast<int>(file)); }

namespace {

// Windows refuses to replace a read-only file or a directory; the host
// checks that itself, since root could write to either.
int replacementError(const std::string& name, bool* exists = nullptr) {
    struct stat info;
    bool found = ::stat(name.c_str(), &info) == 0;
    if (exists) *exists = found;
    if (!found) return 0;
    if (S_ISDIR(info.st_mode)) return EISDIR;
    return info.st_mode & S_IWUSR ? 0 : EACCES;
}

}  // namespace

FileHandle osCreateOutput(const char* path) {
    if (HOST_FAULTS && hostCallFails(HOST_CREATE)) return INVALID_FILE;
    if (host().discardOutput) return DISCARD_FILE;
    std::string name = hostPath(path);
    if (int error = replacementError(name)) {
        host().createError = error;
        return INVALID_FILE;
    }
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        host().createError = errno;
        return INVALID_FILE;
    }
    host().extraAttributes.erase(name);
    return fd;
}

// GetTempFileNameA's names: a prefix and four hex digits, tried in turn
// from a number of the process's own until one is free.
FileHandle osCreateTempOutput(char* path, uint32_t size) {
    if (HOST_FAULTS && hostCallFails(HOST_CREATE)) return INVALID_FILE;
    std::string directory = path;
    if (!directory.empty() && directory.back() != '/' && directory.back() != '\\') directory += '/';
    for (int tries = 0; tries < 0x10000; ++tries) {
        char name[16];
        std::snprintf(name, sizeof(name), "VLK%04X.TMP", ++host().tempNumber & 0xFFFF);
        std::string temp = directory + name;
        if (temp.size() + 1 > size) return INVALID_FILE;
        if (host().discardOutput) {
            std::memcpy(path, temp.c_str(), temp.size() + 1);
            return DISCARD_FILE;
        }
        std::string hostName = hostPath(temp.c_str());
        int fd = ::open(hostName.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) host().createError = errno;
        if (fd < 0 || hostName.size() >= sizeof(pendingTemp)) {
            if (fd >= 0) {
                ::close(fd);
                ::unlink(hostName.c_str());
            }
            return INVALID_FILE;
        }
        pendingTempSet = 0;
        std::memcpy(pendingTemp, hostName.c_str(), hostName.size() + 1);
        pendingTempSet = 1;
        std::memcpy(path, temp.c_str(), temp.size() + 1);
        return fd;
    }
    return INVALID_FILE;
}

namespace {

// Swapping the two names and then removing the temporary one, which by then
// holds the old file, replaces the target whole or not at all, as rename()
// does. ext4 writes out a file renamed over another before rename() returns,
// which made replacing a tenth slower than unpacking into an empty folder;
// a swap it leaves to the usual writeback, like any new file. Nothing is
// synced either way, so a power cut may still lose the new file. Where the
// swap is not to be had (no old file, a file system without it), rename().
int moveOver(const std::string& from, const std::string& target, bool targetExists) {
#ifdef RENAME_EXCHANGE
    if (targetExists && ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
#endif
    return ::rename(from.c_str(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace

int osReplaceFile(const char* from, const char* to) {
    if (HOST_FAULTS && hostCallFails(HOST_RENAME)) return 0;
    if (!host().discardOutput) {
        std::string target = hostPath(to);
        bool exists = false;
        int error = replacementError(target, &exists);
        if (!error) error = moveOver(hostPath(from), target, exists);
        if (error) {
            host().createError = error;
            return 0;
        }
        pendingTempSet = 0;
        host().extraAttributes.erase(target);
    }
    if (host().outputObserver) host().outputObserver(to);
    return 1;
}

namespace {

void removePendingTemp(int signalNumber) {
    if (pendingTempSet) ::unlink(pendingTemp);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

}  // namespace

// A signal that was ignored when the process started (nohup, a background
// job's SIGINT) stays ignored.
void hostRemoveTempFileOnSignals() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction previous;
        if (::sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
        struct sigaction action = {};
        action.sa_handler = removePendingTemp;
        sigemptyset(&action.sa_mask);
        ::sigaction(signalNumber, &action, nullptr);
    }
}

int osWrite(FileHandle file, const void* data, uint32_t count, uint32_t* written) {
    uint32_t allowed = HOST_FAULTS ? hostWriteAllowance(count) : count;
    uint32_t total = 0;
    if (file == DISCARD_FILE) total = allowed;
    while (total < allowed) {
        ssize_t n = ::write(static_cast<int>(file), static_cast<const char*>(data) + total, allowed - total);
        if (n <= 0) break;
        total += static_cast<uint32_t>(n);
    }
    *written = total;
    host().bytesWritten += total;
    return total == count;
}

int osCloseOutput(FileHandle file) {
    bool fails = HOST_FAULTS && hostCallFails(HOST_CLOSE);
    bool closed = file == DISCARD_FILE || ::close(static_cast<int>(file)) == 0;
    return closed && !fails;
}

int osDeleteFile(const char* path) {
    if (host().discardOutput) return 1;
    std::string name = hostPath(path);
    if (pendingTempSet && name == pendingTemp) pendingTempSet = 0;
    return ::unlink(name.c_str()) == 0;
}

namespace {

std::filesystem::path withoutTrailingSeparator(std::filesystem::path path) {
    if (path.filename().empty()) path = path.parent_path();
    return path;
}

std::filesystem::path lexical(const char* path) {
    return withoutTrailingSeparator(std::filesystem::absolute(hostPath(path)).lexically_normal());
}

// With every symbolic link that exists on the way resolved.
std::filesystem::path resolved(const std::filesystem::path& lexicalPath) {
    std::error_code error;
    std::filesystem::path result = std::filesystem::weakly_canonical(lexicalPath, error);
    return error ? lexicalPath : withoutTrailingSeparator(result);
}

bool isWithin(const std::filesystem::path& path, const std::filesystem::path& root) {
    return std::mismatch(root.begin(), root.end(), path.begin(), path.end()).first == root.end();
}

// The first fault of a name that no Windows file system holds, in the
// member's part of the path (below the destination, or all of a path of its
// own after a drive); a trail byte belongs to its character.
NameFault unsafeNameFault(const std::string& destination, const std::string& path) {
    size_t at = path.compare(0, destination.size(), destination) == 0 ? destination.size() : 0;
    if (at == 0 && path.size() > 1 && path[1] == ':') at = 2;
    size_t start = at;
    for (; at <= path.size(); ++at) {
        if (at + 1 < path.size() && osIsLeadByte(static_cast<unsigned char>(path[at]))) {
            ++at;
            continue;
        }
        if (at < path.size() && path[at] != '/' && path[at] != '\\') continue;
        NameFault fault = windowsNameFault(std::string_view(path).substr(start, at - start),
                                           [](unsigned char byte) { return osIsLeadByte(byte) != 0; });
        if (fault != NameFault::none) return fault;
        start = at + 1;
    }
    return NameFault::none;
}

}  // namespace

// Both the path as written and the path with its links resolved must stay
// inside: '..' may not climb out, nor may a link in the destination carry a
// write out of it. A test writes nothing, so links cannot matter to it.
int osOutputPathAllowed(const char* destination, const char* path) {
    if (host().onUnsafeName) {
        NameFault fault = unsafeNameFault(destination, path);
        if (fault != NameFault::none) {
            host().onUnsafeName(path, fault);
            return 0;
        }
    }
    if (!host().onRefused) return 1;
    std::filesystem::path written = lexical(path), root = lexical(destination);
    if (isWithin(written, root) && (host().discardOutput || isWithin(resolved(written), resolved(root)))) return 1;
    host().onRefused(path);
    return 0;
}

void osNoteKeptFile(const char* path, KeptFile reason) {
    if (host().keptObserver) host().keptObserver(path, reason);
}

int osCreateDirectory(const char* path) {
    if (HOST_FAULTS && hostCallFails(HOST_MAKE_DIRECTORY)) return 0;
    if (host().discardOutput) return 1;
    return ::mkdir(hostPath(path).c_str(), 0755) == 0;
}

uint32_t osFileAttributes(const char* path) {
    if (host().discardOutput) return INVALID_ATTRIBUTES;
    std::string name = hostPath(path);
    struct stat info;
    if (::stat(name.c_str(), &info) != 0) return INVALID_ATTRIBUTES;
    uint32_t attributes = 0;
    auto extra = host().extraAttributes.find(name);
    if (extra != host().extraAttributes.end()) attributes = extra->second;
    if (S_ISDIR(info.st_mode)) attributes |= ATTRIBUTE_DIRECTORY;
    if (!(info.st_mode & S_IWUSR)) attributes |= ATTRIBUTE_READONLY;
    return attributes ? attributes : ATTRIBUTE_NORMAL;
}

int osSetFileAttributes(const char* path, uint32_t attributes) {
    if (host().discardOutput) return 1;
    std::string name = hostPath(path);
    struct stat info;
    if (::stat(name.c_str(), &info) != 0) return 0;
    mode_t mode = info.st_mode & 07777;
    mode = (attributes & ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | S_IWUSR);
    if (::chmod(name.c_str(), mode) != 0) return 0;
    host().extraAttributes[name] = attributes & ~KEPT_ATTRIBUTES;
    return 1;
}

int osLastWriteTime(const char* path, FileTime* lastWrite) {
    if (host().discardOutput) return 0;
    struct stat info;
    if (::stat(hostPath(path).c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return 0;
    uint64_t ticks = (static_cast<uint64_t>(info.st_mtim.tv_sec) + UNIX_EPOCH_SECONDS) * 10000000ull +
                     static_cast<uint64_t>(info.st_mtim.tv_nsec) / 100;
    lastWrite->low = static_cast<uint32_t>(ticks);
    lastWrite->high = static_cast<uint32_t>(ticks >> 32);
    return 1;
}

// The host keeps no creation time; it is only recorded for the tests.
int osSetFileTimes(FileHandle file, const FileTime* creation, const FileTime* lastAccess, const FileTime* lastWrite) {
    HostFileTimes& times = host().lastFileTimes;
    times = HostFileTimes{};
    if (creation) times.creation = *creation;
    if (lastAccess) times.lastAccess = *lastAccess;
    if (lastWrite) times.lastWrite = *lastWrite;
    if (file == DISCARD_FILE) return 1;
    struct timespec stamps[2];
    const FileTime* given[2] = {lastAccess, lastWrite};
    for (int i = 0; i < 2; ++i) {
        if (!given[i]) {
            stamps[i].tv_sec = 0;
            stamps[i].tv_nsec = UTIME_OMIT;
            continue;
        }
        uint64_t ticks = (static_cast<uint64_t>(given[i]->high) << 32) | given[i]->low;
        stamps[i].tv_sec = static_cast<time_t>(ticks / 10000000ull) - static_cast<time_t>(UNIX_EPOCH_SECONDS);
        stamps[i].tv_nsec = static_cast<long>(ticks % 10000000ull) * 100;
    }
    return ::futimens(static_cast<int>(file), stamps) == 0;
}

uint32_t osMaxComponentLength(const char* root) {
    host().volumeRootAsked = root ? root : "";
    return host().maxComponentLength;
}

int osFileTitle(const char* path, char* out, uint16_t size) {
    const char* title = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':') title = p + 1;
    }
    size_t length = std::strlen(title);
    if (length + 1 > size) return 0;
    std::memcpy(out, title, length + 1);
    return 1;
}

uint32_t osGetEnv(const char* name, char* out, uint32_t size) {
    auto found = host().environment.find(name);
    if (found == host().environment.end()) return 0;
    return giveText(found->second, out, size);
}

uint32_t osWindowsDirectory(char* out, uint32_t size) { return giveText(host().windowsDirectory, out, size); }
uint32_t osSystemDirectory(char* out, uint32_t size) { return giveText(host().systemDirectory, out, size); }
uint32_t osCurrentDirectory(char* out, uint32_t size) { return giveText(host().currentDirectory, out, size); }

int osSetCurrentDirectory(const char* path) {
    host().currentDirectory = path;
    return 1;
}

// The standard order without a path list: the program's folder, the current,
// system and Windows folders, then the folders of PATH.
uint32_t osSearchPath(const char* name, char* out, uint32_t size, char** filePart) {
    std::vector<std::string> folders;
    std::string module = hostPath(host().modulePath.c_str());
    size_t slash = module.rfind('/');
    if (slash != std::string::npos) folders.push_back(module.substr(0, slash));
    folders.push_back(host().currentDirectory);
    folders.push_back(host().systemDirectory);
    folders.push_back(host().windowsDirectory);
    auto path = host().environment.find("PATH");
    if (path != host().environment.end()) {
        size_t start = 0;
        while (start <= path->second.size()) {
            size_t end = path->second.find(';', start);
            if (end == std::string::npos) end = path->second.size();
            folders.push_back(path->second.substr(start, end - start));
            start = end + 1;
        }
    }
    for (const std::string& folder : folders) {
        if (folder.empty()) continue;
        std::string candidate = folder + "/" + name;
        if (!isFile(hostPath(candidate.c_str()))) continue;
        uint32_t n = giveText(candidate, out, size);
        if (n < size && filePart) *filePart = out + folder.size() + 1;
        return n;
    }
    return 0;
}

int osQueryLocalMachineString(const char* keyPath, const char* valueName, char* out, uint32_t outSize) {
    auto found = host().registry.find(registryKey(keyPath, valueName));
    if (found == host().registry.end()) return 0;
    if (found->second.size() + 1 > outSize) return 0;
    std::memcpy(out, found->second.c_str(), found->second.size() + 1);
    return 1;
}

// The lead bytes that Windows reports for its double-byte code pages.
int osIsLeadByte(unsigned char byte) {
    switch (host().codePage) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return 0;
    }
}

char* osCharPrev(const char* start, const char* current) {
    if (current <= start) return const_cast<char*>(start);
    const char* p = start;
    for (;;) {
        const char* next = p + (osIsLeadByte(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1);
        if (next >= current) return const_cast<char*>(p);
        p = next;
    }
}

char osCharLower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

int osMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned style) {
    HostMessageBox box{owner, text, caption, style};
    host().boxes.push_back(box);
    if (host().answerer) return host().answerer(box);
    if (!host().answers.empty()) {
        int answer = host().answers.front();
        host().answers.pop_front();
        return answer;
    }
    return firstButtonAnswer(style);
}
