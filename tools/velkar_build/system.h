// What velkar-build needs of the operating system beyond the standard
// library: Linux in system_posix.cpp, Windows in system_windows.cpp. Names
// and paths are UTF-8 inside the program on both, so that the same inputs
// give the same members.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Makes sure the standard streams are open before any file is, so that no
// file opened later is taken for one of them.
void openStandardStreams();

// The command line's arguments in UTF-8 (on Windows from its UTF-16 form).
std::vector<std::string> utf8Arguments(int argc, char** argv);

std::filesystem::path pathFromUtf8(const std::string& text);
std::string utf8Of(const std::filesystem::path& path);

// The environment variable in UTF-8, or empty when it is not set.
std::string environmentText(const char* name);

// The running program's own file, or an empty path when it cannot be told.
std::filesystem::path programPath();

// Whether standard error is a console (a terminal) a progress bar can redraw.
bool errorIsConsole();

std::FILE* openForReading(const std::filesystem::path& path);

// A file's times (Windows FILETIME values), its modification time in Unix
// seconds, its size and whether it is read-only. Throws std::runtime_error
// naming the file.
struct FileFacts {
    int64_t modifiedSeconds = 0;
    uint64_t creationTime = 0;
    uint64_t lastWriteTime = 0;
    uint64_t lastAccessTime = 0;
    uint64_t size = 0;
    bool readOnly = false;
};
FileFacts fileFacts(const std::filesystem::path& path);

// A new file opened for reading and writing, or nullptr with errno set
// (EEXIST when the name is taken).
std::FILE* createNewFile(const std::string& path);
// Writes the file's data through to the disk.
bool syncToDisk(std::FILE* file);
bool truncateFile(std::FILE* file, uint64_t length);
// A file without a name in the system's temporary folder (TMPDIR or /tmp;
// on Windows its temporary folder, where std::tmpfile() would use the
// drive's root), opened for reading and writing and gone once closed or the
// program ends; or nullptr with errno set.
std::FILE* scratchFile();
// Renames from over to, replacing a file of that name.
bool replaceFile(const std::string& from, const std::string& to);
void removeFile(const std::string& path);
// Removes the file when an interrupt, a termination or a hang-up ends the
// program (Ctrl+C or the console closed on Windows); an empty path removes
// nothing again.
void removeOnSignal(const std::string& path);
unsigned long processId();

std::tm utcTime(uint32_t unixSeconds);

// The path in the form the stub's own file calls take (8-bit, and on
// Windows within MAX_PATH), or empty when it has none.
std::string stubCallPath(const std::string& path);

// Makes the stub's decoder throw away what it writes to `discarded` (or
// stops it doing so) and gives that name.
std::string discardDecodedOutput(bool on);

// At least 1.
unsigned processorCount();

// The packer's threads. MinGW's win32 thread model, the one whose programs
// run on Windows XP, has no std::thread or std::condition_variable.
class Semaphore {
public:
    explicit Semaphore(unsigned count);
    ~Semaphore();
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;
    void release(unsigned count = 1);
    void acquire();
    // False when no unit came within the time.
    bool acquire(unsigned milliseconds);

private:
    struct State;
    std::unique_ptr<State> state_;
};

class Threads {
public:
    Threads();
    // Joins the threads still running.
    ~Threads();
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;
    // Runs run on a new thread; throws std::runtime_error when none starts.
    void start(std::function<void()> run);
    void join();

private:
    struct State;
    std::unique_ptr<State> state_;
};
