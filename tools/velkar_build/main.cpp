// velkar-build: makes a self-extracting file from the stub and files and
// directories it packs itself, or a level-2 LZH archive made elsewhere;
// lists and tests the files it makes.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

#include "common/code_pages.h"
#include "common/run_state.h"
#include "tools/terminal_text.h"
#include "tools/velkar_build/archive_packer.h"
#include "tools/velkar_build/builder.h"
#include "tools/velkar_build/code_page.h"
#include "tools/velkar_build/listing.h"
#include "tools/velkar_build/member_check.h"
#include "tools/velkar_build/output_file.h"
#include "tools/velkar_build/source_tree.h"
#include "tools/velkar_build/system.h"

namespace fs = std::filesystem;

namespace {

const size_t LZH_SEARCH_LIMIT = 65536;
const int STATUS_DAMAGED = 1;
const int STATUS_FAILED = 2;
const int STATUS_USAGE = 4;

const char* const USAGE =
    "usage: velkar-build -o OUT.exe [settings] [--method lh0|lh5|lh6|lh7] [--best] [-j N]\n"
    "                    [--question FILE] [--script FILE] [--codepage N] [-C DIR] PATH...\n"
    "       velkar-build -o OUT.exe [settings] [--codepage N] [--no-check] --archive IN.lzh\n"
    "       velkar-build [--codepage N] --list FILE.exe | --test FILE.exe\n"
    "       velkar-build -h | --help | --version\n"
    "settings: [--stub velkar.exe] [--title T] [--install-title T] [--dir D] [--command C]\n"
    "          [--auto-start] [--overwrite] [--no-keep-newer] [--restore-attributes] [--tamper] [--admin]\n"
    "          [--icon FILE.ico] [--file-version A.B.C.D] [--product-version A.B.C.D] [--company T]\n"
    "          [--description T] [--product T] [--copyright T] [--original-name T]\n";

const char* const HELP =
    "Packs files and directories (recursively, in sorted order) into a Velkar\n"
    "self-extracting file, or wraps an LZH archive made elsewhere.\n"
    "  -o OUT.exe            the file to make (written whole, or not at all)\n"
    "  --method M            lh5 (default), lh6, lh7, or lh0 to store; a member that\n"
    "                        does not shrink is stored whatever the method\n"
    "  --best                pack smaller, taking longer\n"
    "  -j N                  pack N members at once (default: one per processor); the\n"
    "                        file is the same for every N\n"
    "  --question FILE       a Yes/No question asked before the dialog (the \"!\" member)\n"
    "  --script FILE         an installer script (the \"$\" member)\n"
    "  --codepage N          the Windows code page of the names and texts (below)\n"
    "  -C DIR                name members relative to DIR\n"
    "  --stub velkar.exe     the stub; by default $VELKAR_STUB, else the velkar.exe\n"
    "                        installed or built beside this program\n"
    "  --title T, --install-title T, --dir D, --command C   the settings block's texts\n"
    "  --auto-start, --overwrite, --no-keep-newer, --tamper, --restore-attributes\n"
    "  --admin               make Windows Vista and later ask for an administrator before\n"
    "                        the file runs: for installers that must write to protected\n"
    "                        folders such as Program Files\n"
    "  --icon FILE.ico       the icon of the dialog and of the file in Explorer: every\n"
    "                        image of FILE.ico (all sizes and depths, PNG ones too)\n"
    "  --file-version A.B.C.D, --product-version A.B.C.D, --company T, --description T,\n"
    "  --product T, --copyright T, --original-name T\n"
    "                        the version information shown in the file's Properties,\n"
    "                        in place of Velkar's own; texts in the --codepage's language\n"
    "  --no-check            with --archive: check the headers only, not every member's\n"
    "                        data (for very large archives)\n"
    "  --list FILE.exe       print the settings, icon, version information and every member\n"
    "  --test FILE.exe       check every member's CRC with Velkar's own decoder\n"
    "Exit status: 0 done; 1 --list or --test found damage; 2 a failure (a file that\n"
    "cannot be read or written, a refused input); 4 a wrong command line.\n"
    "Code pages:\n";

const long MAX_JOBS = 256;

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A pipe or a device is refused before it is opened, which could wait
// forever; the system says why a file cannot be read.
void checkInputFile(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::status(pathFromUtf8(path), error);
    if (error) throw std::runtime_error(path + ": cannot be read: " + error.message());
    if (fs::is_directory(status)) throw std::runtime_error(path + ": is a directory, not a file");
    if (!fs::is_regular_file(status)) throw std::runtime_error(path + ": is not a regular file (a pipe or a device)");
}

Bytes readFile(const std::string& path) {
    checkInputFile(path);
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot be read: " + std::strerror(errno));
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw std::runtime_error(path + ": cannot be read: " + std::strerror(errno));
    return bytes;
}

// The output is a regular file that is replaced whole, or a new one. A link
// is not followed: the new file would take its place, not its target's.
void checkOutputFile(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::symlink_status(pathFromUtf8(path), error);
    if (error || !fs::exists(status) || fs::is_regular_file(status)) return;
    if (fs::is_directory(status))
        throw std::runtime_error(path + ": is a directory; give the name of the file to make");
    if (fs::is_symlink(status))
        throw std::runtime_error(path + ": is a symbolic link; give the file it leads to, or remove the link");
    throw std::runtime_error(path + ": is not a regular file (a device or a pipe); velkar-build makes only files");
}

// A settings text in the code page, as the stub shows it.
std::string settingsText(const std::string& text, int codePage, const char* what) {
    std::string converted;
    if (!toCodePage(text, codePage, &converted))
        throw std::runtime_error(std::string(what) + " \"" + terminalText(text) + "\" cannot be written in code page " +
                                 std::to_string(codePage));
    return converted;
}

void note(const std::string& text) { std::cerr << "velkar-build: note: " << text << "\n"; }

// Without --stub: $VELKAR_STUB, then where the install step and the build
// put velkar.exe relative to this program, then the current folder.
std::string findStub() {
    std::string fromEnvironment = environmentText("VELKAR_STUB");
    if (!fromEnvironment.empty()) return fromEnvironment;
    std::vector<fs::path> tried;
    std::error_code error;
    fs::path self = programPath();
    if (!self.empty()) {
        fs::path bin = self.parent_path();
        tried = {bin / "velkar.exe", bin / "../share/velkar/velkar.exe", bin / "../../windows/velkar.exe"};
    }
    tried.push_back(fs::current_path(error) / "velkar.exe");
    std::string list;
    for (const fs::path& path : tried) {
        if (fs::is_regular_file(path, error)) return utf8Of(path.lexically_normal());
        list += "\n  " + utf8Of(path.lexically_normal());
    }
    throw std::runtime_error("the stub velkar.exe was not found; give it with --stub FILE. Tried:" + list);
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(pathFromUtf8(a), pathFromUtf8(b), error);
}

// Texts for the stub's message box and script, in the archive's code page;
// the stub keeps 1,023 and 4,095 bytes of them and stops at a zero byte.
std::string reservedText(const std::string& path, int codePage, size_t limit) {
    Bytes bytes = readFile(path);
    std::string text;
    if (!toCodePage(std::string(bytes.begin(), bytes.end()), codePage, &text))
        throw std::runtime_error(path + ": is not UTF-8 text that code page " + std::to_string(codePage) + " can hold");
    if (text.find('\0') != std::string::npos) throw std::runtime_error(path + ": holds a zero byte");
    if (text.size() > limit)
        throw std::runtime_error(path + ": is longer than the " + std::to_string(limit) + " bytes the stub reads");
    return text;
}

class ProgressBar {
public:
    explicit ProgressBar(uint64_t total) : total_(total), shown_(errorIsConsole() && total > 0) {}
    ~ProgressBar() {
        if (shown_ && drawn_) std::cerr << "\r" << std::string(60, ' ') << "\r" << std::flush;
    }
    void update(uint64_t done) {
        if (!shown_) return;
        // A file that grew while it was read counts no further than the whole.
        int percent = static_cast<int>(std::min(done, total_) * 100 / total_);
        if (percent == percent_) return;
        percent_ = percent;
        drawn_ = true;
        int filled = percent * 40 / 100;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(40 - filled, ' ') << "] " << percent << "%"
                  << std::flush;
    }

private:
    uint64_t total_;
    bool shown_;
    bool drawn_ = false;
    int percent_ = -1;
};

struct Command {
    std::string output, archive, stub, question, script, baseDir, icon;
    bool list = false, test = false, noCheck = false;
    std::vector<std::string> paths;
    BuildOptions options;
    PackSettings pack;
};

// What a packing run takes in, gathered before the output's temporary file
// exists, so that an output inside a packed folder never packs itself.
struct Sources {
    std::vector<SourceEntry> entries;
    uint64_t totalBytes = 0;
    std::string question;
    std::string script;
};

Sources gatherSources(const Command& command) {
    Sources sources;
    std::error_code error;
    for (const SourceEntry& entry : collectSources(command.paths, command.baseDir, note)) {
        if (!entry.directory && samePath(utf8Of(entry.path), command.output)) {
            note(utf8Of(entry.path) + ": left out, it is the output");
            continue;
        }
        if ((entry.name == "!" && !command.question.empty()) || (entry.name == "$" && !command.script.empty()))
            throw std::runtime_error(utf8Of(entry.path) + ": would be a second " +
                                     (entry.name == "!" ? "question beside --question" : "script beside --script") +
                                     "; rename it or leave it out");
        if (!entry.directory) sources.totalBytes += fs::file_size(entry.path, error);
        sources.entries.push_back(entry);
    }
    if (!command.question.empty()) sources.question = reservedText(command.question, command.pack.codePage, 1023);
    if (!command.script.empty()) sources.script = reservedText(command.script, command.pack.codePage, 4095);
    if (sources.entries.empty() && command.question.empty() && command.script.empty())
        throw std::runtime_error("nothing to pack");
    return sources;
}

void packSources(const Command& command, const Sources& sources, const Bytes& stub, OutputFile& out) {
    Bytes head = stubWithSettings(stub, command.options);
    bool tamper = command.options.flags & FLAG_TAMPER_CHECK;
    if (tamper) head.insert(head.end(), 2, 0);  // the tamper value, filled in at the end
    if (std::fwrite(head.data(), 1, head.size(), out.file()) != head.size())
        throw std::runtime_error(out.path() + ": cannot be written");
    uint32_t checksum = checksumField(head);

    ProgressBar bar(sources.totalBytes);
    PackSettings settings = command.pack;
    settings.progress = [&bar](uint64_t done) { bar.update(done); };
    ArchivePacker packer(out.file(), out.path(), settings);
    if (!command.question.empty()) packer.addReserved("!", sources.question);
    if (!command.script.empty()) packer.addReserved("$", sources.script);
    for (const SourceEntry& entry : sources.entries) packer.addEntry(entry);
    packer.finish();
    if (tamper) {
        unsigned char value[2] = {static_cast<unsigned char>(packer.crcXor() & 0xFF),
                                  static_cast<unsigned char>(packer.crcXor() >> 8)};
        if (fseeko(out.file(), static_cast<off_t>(stub.size()), SEEK_SET) != 0 ||
            std::fwrite(value, 1, 2, out.file()) != 2)
            throw std::runtime_error(out.path() + ": cannot be written");
    }
    if (checksum) out.updateChecksum(checksum);
}

// Each member decoded as --test would decode it, so that a damaged archive is
// refused instead of wrapped.
void checkMemberData(const std::string& path, const ArchiveScan& scan) {
    for (const ScannedMember& member : scan.list) {
        if (member.method == 'd') continue;
        uint16_t crc = 0;
        MemberData data = {member.method, static_cast<uint32_t>(member.dataOffset), member.packedSize,
                           member.unpackedSize};
        bool decoded = member.dataOffset <= 0x7FFFFFFF && decodeWithStub(path, data, &crc);
        if (!decoded || crc != member.dataCrc)
            throw std::runtime_error("member " + std::to_string(member.number) + " \"" + terminalText(member.name) +
                                     "\" " + (decoded ? "has a wrong CRC" : "cannot be decoded: damaged or cut short"));
    }
}

void wrapArchive(const Command& command, const Bytes& stub, OutputFile& out) {
    Bytes archive = readFile(command.archive);
    Bytes result;
    try {
        ArchiveScan scan = checkArchive(archive);
        if (!scan.note.empty()) note(command.archive + ": " + scan.note);
        if (!command.noCheck) checkMemberData(command.archive, scan);
        result = buildSelfExtractor(stub, archive, command.options);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(command.archive + ": " + error.what());
    }
    if (std::fwrite(result.data(), 1, result.size(), out.file()) != result.size())
        throw std::runtime_error(out.path() + ": cannot be written");
}

// The version information's key for a text option, or nullptr.
const char* versionKey(const std::string& option) {
    static const char* const keys[][2] = {{"--company", "CompanyName"},
                                          {"--description", "FileDescription"},
                                          {"--product", "ProductName"},
                                          {"--copyright", "LegalCopyright"},
                                          {"--original-name", "OriginalFilename"}};
    for (const auto& key : keys)
        if (option == key[0]) return key[1];
    return nullptr;
}

Command parseCommand(const std::vector<std::string>& argv) {
    Command command;
    command.pack.jobs = processorCount();
    size_t argc = argv.size();
    auto value = [&](size_t& i) -> std::string {
        if (i + 1 >= argc) throw UsageError(argv[i] + " needs a value");
        return argv[++i];
    };
    for (size_t i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "-o") command.output = value(i);
        else if (arg == "--stub") command.stub = value(i);
        else if (arg == "--archive") command.archive = value(i);
        else if (arg == "--title") command.options.title = value(i);
        else if (arg == "--install-title") command.options.installTitle = value(i);
        else if (arg == "--dir") command.options.dir = value(i);
        else if (arg == "--command") command.options.command = value(i);
        else if (arg == "--auto-start") command.options.flags |= FLAG_AUTO_START;
        else if (arg == "--overwrite") command.options.flags |= FLAG_OVERWRITE;
        else if (arg == "--tamper") command.options.flags |= FLAG_TAMPER_CHECK;
        else if (arg == "--no-keep-newer") command.options.flags |= FLAG_NO_KEEP_NEWER;
        else if (arg == "--restore-attributes") command.options.restoreAttributes = true;
        else if (arg == "--admin") command.options.requireAdministrator = true;
        else if (arg == "--icon") command.icon = value(i);
        else if (arg == "--file-version" || arg == "--product-version") {
            VersionInfo& version = command.options.version;
            bool file = arg == "--file-version";
            std::string text = value(i);
            if (!parseVersionNumber(text, file ? version.fileVersion : version.productVersion))
                throw UsageError(arg + " " + text + ": not four numbers of at most 65535 (A.B.C.D)");
            (file ? version.hasFileVersion : version.hasProductVersion) = true;
        } else if (const char* key = versionKey(arg)) {
            std::string text = value(i);
            if (!text.empty()) command.options.version.strings.emplace_back(key, text);
        } else if (arg == "--method") {
            std::string method = value(i);
            if (method != "lh0" && method != "lh5" && method != "lh6" && method != "lh7")
                throw UsageError("--method takes lh0, lh5, lh6 or lh7");
            command.pack.method = method[2];
        } else if (arg == "--best") command.pack.effort = lzh::Effort::best;
        else if (arg.compare(0, 2, "-j") == 0) {
            std::string jobs = arg.size() > 2 ? arg.substr(2) : value(i);
            char* end = nullptr;
            long number = std::strtol(jobs.c_str(), &end, 10);
            if (jobs.empty() || *end || number < 1 || number > MAX_JOBS)
                throw UsageError("-j " + jobs + ": give a number of members to pack at once, 1 to " +
                                 std::to_string(MAX_JOBS));
            command.pack.jobs = static_cast<unsigned>(number);
        } else if (arg == "--question") command.question = value(i);
        else if (arg == "--script") command.script = value(i);
        else if (arg == "--codepage") {
            std::string page = value(i);
            char* end = nullptr;
            long number = std::strtol(page.c_str(), &end, 10);
            if (page.empty() || *end || number <= 0 || number > 65535 || !codePageKnown(static_cast<int>(number)))
                throw UsageError("--codepage " + page + ": not a code page velkar-build takes; these are:\n" +
                                 WINDOWS_CODE_PAGES_TEXT);
            command.pack.codePage = static_cast<int>(number);
        } else if (arg == "-C") command.baseDir = value(i);
        else if (arg == "--list") command.list = true;
        else if (arg == "--test") command.test = true;
        else if (arg == "--no-check") command.noCheck = true;
        else if (arg == "-h" || arg == "--help") {
            std::cout << USAGE << "\n" << HELP << WINDOWS_CODE_PAGES_TEXT << "\n";
            std::exit(0);
        } else if (arg == "--version") {
            std::cout << "velkar-build " VELKAR_VERSION "\n";
            std::exit(0);
        } else if (arg.size() > 1 && arg[0] == '-') throw UsageError("unknown option " + arg);
        else command.paths.push_back(arg);
    }
    return command;
}

int runCommand(Command command) {
    if (command.list || command.test) {
        if (command.list && command.test) throw UsageError("--list and --test do not go together");
        if (!command.output.empty() || !command.archive.empty())
            throw UsageError(std::string(command.test ? "--test" : "--list") +
                             " makes nothing: leave out -o and --archive");
        if (command.paths.size() != 1)
            throw UsageError(std::string(command.test ? "--test" : "--list") + " takes one FILE.exe");
        checkInputFile(command.paths[0]);
        return listSelfExtractor(command.paths[0], command.test, command.pack.codePage, std::cout) ? STATUS_DAMAGED : 0;
    }
    if (command.output.empty()) throw UsageError("-o is required");
    if (command.archive.empty() == command.paths.empty())
        throw UsageError("give either files and directories to pack or --archive IN.lzh");
    if (!command.archive.empty() && (!command.question.empty() || !command.script.empty()))
        throw UsageError("--question and --script go into an archive velkar-build packs, not one given with --archive");
    if (!command.archive.empty() && samePath(command.archive, command.output))
        throw std::runtime_error(command.output + ": is the input archive; choose another output");
    checkOutputFile(command.output);
    command.options.codePage = command.pack.codePage;
    BuildOptions& options = command.options;
    options.title = settingsText(options.title, options.codePage, "--title");
    options.installTitle = settingsText(options.installTitle, options.codePage, "--install-title");
    options.dir = settingsText(options.dir, options.codePage, "--dir");
    options.command = settingsText(options.command, options.codePage, "--command");
    if (!command.icon.empty()) {
        Bytes icon = readFile(command.icon);
        try {
            command.options.icon = readIconFile(icon);
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(command.icon + ": " + error.what());
        }
    }
    if (command.options.version.given()) versionResource(command.options.version, command.options.codePage);
    std::string stubPath = command.stub.empty() ? findStub() : command.stub;
    if (samePath(stubPath, command.output))
        throw std::runtime_error(command.output + ": is the stub; choose another output");
    Bytes stub = readFile(stubPath);
    try {
        checkStub(stub);
        stub = stubWithResources(stub, command.options);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(stubPath + ": " + error.what());
    }
    // Measured with lhasa: it finds an archive whose first header starts
    // within about the first 64 KB of the file, and no further.
    if (stub.size() > LZH_SEARCH_LIMIT)
        note("the archive starts " + std::to_string(stub.size() / 1024) +
             " KB into the file; some LZH readers (lhasa among them) look for it only in the first 64 KB. "
             "An icon with smaller images keeps it there");
    if (command.archive.empty()) {
        Sources sources = gatherSources(command);
        OutputFile out(command.output);
        packSources(command, sources, stub, out);
        out.commit();
        return 0;
    }
    OutputFile out(command.output);
    wrapArchive(command, stub, out);
    out.commit();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    openStandardStreams();
    try {
        return runCommand(parseCommand(utf8Arguments(argc, argv)));
    } catch (const UsageError& error) {
        std::cerr << "velkar-build: " << error.what() << "\n" << USAGE;
        return STATUS_USAGE;
    } catch (const std::exception& error) {
        std::cerr << "velkar-build: " << error.what() << "\n";
    }
    return STATUS_FAILED;
}
