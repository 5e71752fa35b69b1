#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/code_pages.h"
#include "platform/host/host_control.h"
#include "tools/velkar_build/code_page.h"
#include "tools/velkar_build/member_writer.h"
#include "tools/velkar_build/system.h"

namespace fs = std::filesystem;

void openStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) close(opened);
    }
}

std::vector<std::string> utf8Arguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

fs::path pathFromUtf8(const std::string& text) { return fs::path(text); }

std::string utf8Of(const fs::path& path) { return path.string(); }

std::string environmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

fs::path programPath() {
    std::error_code error;
    fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self;
}

bool errorIsConsole() { return isatty(STDERR_FILENO); }

std::FILE* openForReading(const fs::path& path) { return std::fopen(path.c_str(), "rb"); }

// The creation time comes from the file system where it keeps one, else it
// is the modification time.
FileFacts fileFacts(const fs::path& path) {
    struct statx info = {};
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0)
        throw std::runtime_error(path.string() + ": " + std::strerror(errno));
    FileFacts facts;
    facts.modifiedSeconds = info.stx_mtime.tv_sec;
    facts.lastWriteTime = unixToFileTimeValue(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    facts.lastAccessTime = unixToFileTimeValue(info.stx_atime.tv_sec, info.stx_atime.tv_nsec);
    facts.creationTime = (info.stx_mask & STATX_BTIME)
                             ? unixToFileTimeValue(info.stx_btime.tv_sec, info.stx_btime.tv_nsec)
                             : facts.lastWriteTime;
    facts.size = info.stx_size;
    facts.readOnly = !(info.stx_mode & S_IWUSR);
    return facts;
}

std::FILE* createNewFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        int error = errno;
        close(fd);
        unlink(path.c_str());
        errno = error;
    }
    return file;
}

bool syncToDisk(std::FILE* file) { return fsync(fileno(file)) == 0; }

bool truncateFile(std::FILE* file, uint64_t length) { return ftruncate(fileno(file), static_cast<off_t>(length)) == 0; }

// Unlinked at once, so that nothing stays behind whatever ends the program.
std::FILE* scratchFile() {
    std::string folder = environmentText("TMPDIR");
    std::string name = (folder.empty() ? std::string("/tmp") : folder) + "/velkar-build-XXXXXX";
    int fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd < 0) return nullptr;
    unlink(name.c_str());
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void removeFile(const std::string& path) { unlink(path.c_str()); }

namespace {

char removedOnSignal[PATH_MAX];

void removeAndEnd(int signalNumber) {
    if (removedOnSignal[0]) unlink(removedOnSignal);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

// The signals stay blocked while the name changes, so the handler never
// sees half of one.
void removeOnSignal(const std::string& path) {
    static const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    static bool installed = false;
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (int signalNumber : signals) sigaddset(&blocked, signalNumber);
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    size_t length = path.size() < sizeof removedOnSignal ? path.size() : 0;
    std::memcpy(removedOnSignal, path.data(), length);
    removedOnSignal[length] = 0;
    if (!installed) {
        installed = true;
        struct sigaction action = {};
        action.sa_handler = removeAndEnd;
        for (int signalNumber : signals) {
            struct sigaction old = {};
            // A signal ignored when the program started (nohup) stays ignored.
            if (sigaction(signalNumber, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
            sigaction(signalNumber, &action, nullptr);
        }
    }
    sigprocmask(SIG_SETMASK, &previous, nullptr);
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

std::tm utcTime(uint32_t unixSeconds) {
    std::time_t seconds = unixSeconds;
    std::tm parts = {};
    gmtime_r(&seconds, &parts);
    return parts;
}

std::string stubCallPath(const std::string& path) { return path; }

std::string discardDecodedOutput(bool on) {
    hostSetDiscardOutput(on);
    return "discarded";
}

// The code pages of code_page.h, through iconv.
namespace {

std::string converterName(int codePage) { return "CP" + std::to_string(codePage); }

}  // namespace

bool codePageKnown(int codePage) {
    if (!isWindowsCodePage(codePage)) return false;
    iconv_t converter = iconv_open(converterName(codePage).c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(converter);
    return true;
}

namespace {

// iconv over a whole string; fails on any byte the target cannot hold.
bool convert(const std::string& from, const std::string& to, const std::string& text, std::string* converted) {
    iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> in(text.begin(), text.end());
    std::vector<char> out(text.size() * 4 + 4);
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    bool ok = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(converter);
    if (ok) converted->assign(out.data(), outPtr);
    return ok;
}

}  // namespace

bool toCodePage(const std::string& utf8, int codePage, std::string* converted) {
    return convert("UTF-8", converterName(codePage), utf8, converted);
}

bool fromCodePage(const std::string& bytes, int codePage, std::string* utf8) {
    return convert(converterName(codePage), "UTF-8", bytes, utf8);
}

unsigned processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

struct Semaphore::State {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned count;
};

Semaphore::Semaphore(unsigned count) : state_(new State) { state_->count = count; }

Semaphore::~Semaphore() = default;

void Semaphore::release(unsigned count) {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->count += count;
    }
    state_->changed.notify_all();
}

void Semaphore::acquire() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [this] { return state_->count > 0; });
    --state_->count;
}

bool Semaphore::acquire(unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (!state_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return state_->count > 0; }))
        return false;
    --state_->count;
    return true;
}

struct Threads::State {
    std::vector<std::thread> threads;
};

Threads::Threads() : state_(new State) {}

Threads::~Threads() { join(); }

void Threads::start(std::function<void()> run) {
    try {
        state_->threads.emplace_back(std::move(run));
    } catch (const std::system_error& error) {
        throw std::runtime_error(std::string("cannot start a thread: ") + error.what());
    }
}

void Threads::join() {
    for (std::thread& thread : state_->threads) thread.join();
    state_->threads.clear();
}
