// velkar-run: the stub's whole run on the host platform layer, so that a
// Velkar file unpacks on Linux without Wine. Message boxes and the dialog
// appear on the terminal; options answer them for unattended runs. Unlike
// the stub, it keeps every write inside the destination unless told
// otherwise, and its exit status follows the archivers' conventions.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "common/byte_order.h"
#include "common/code_pages.h"
#include "common/run_state.h"
#include "platform/host/host_control.h"
#include "startup/entry.h"
#include "tools/member_method.h"
#include "tools/terminal_text.h"
#include "ui/main_dialog.h"

namespace {

const char USAGE[] =
    "usage: velkar-run [OPTIONS] FILE.exe [-n|-n-] [-c|-c-] [DIR]\n"
    "Unpacks a Velkar self-extracting file on this system, as the file itself would on Windows.\n"
    "  --answer=LETTERS     answer the questions in order: y(es) n(o) c(ancel)\n"
    "  --ok                 confirm the destination without asking\n"
    "  --test               decode and check every member without writing anything\n"
    "  -P, --absolute-paths write members wherever their paths lead, into the\n"
    "                       destination the file suggests, as the stub does;\n"
    "                       without it, a member whose path leaves the destination\n"
    "                       (absolute, a drive, '..', a directory macro, a link) is skipped\n"
    "  --stub-status        exit with the stub's own status (0 or 1) instead of the ones below\n"
    "  --codepage N         the Windows code page the archive's names were written in\n"
    "                       (below); names come out in UTF-8\n"
    "  -h, --help           show this text;  --version  show the version\n"
    "The arguments after FILE.exe are the stub's own command line. DIR is the destination;\n"
    "without it, the current directory (with -P, the one the file suggests).\n"
    "Exit status: 0 every member was unpacked (or checked); 1 members were skipped because\n"
    "their paths leave the destination or Windows cannot hold their names; 2 a failure (a\n"
    "damaged or unreadable file, a CRC error, a write that failed) or nothing was unpacked;\n"
    "3 the run was cancelled or a question declined; 4 a wrong command line.\n"
    "Code pages:\n";

const int STATUS_OK = 0;
const int STATUS_REFUSED = 1;
const int STATUS_FAILED = 2;
const int STATUS_CANCELLED = 3;
const int STATUS_USAGE = 4;

struct Options {
    std::string file;
    std::string commandTail;
    std::string directory;  // the first of the stub's arguments that is no option
    std::deque<char> answers;
    bool confirmDialog = false;
    bool testOnly = false;
    bool absolutePaths = false;
    bool stubStatus = false;
    int codePage = 1252;
    std::string currentDirectory;  // in the code page
};

// Linux hands over UTF-8; the core works in the archive's code page.
std::string inCodePage(const std::string& text) {
    std::string converted;
    if (!hostFromUtf8(text, &converted)) {
        std::cerr << "velkar-run: \"" << text << "\" cannot be written in code page " << hostCodePage()
                  << "; choose a path without such characters, or the --codepage that has them\n";
        std::exit(STATUS_FAILED);
    }
    return converted;
}

bool parseCodePage(const std::string& value, Options* options) {
    for (int supported : WINDOWS_CODE_PAGES) {
        if (value == std::to_string(supported)) {
            options->codePage = supported;
            return true;
        }
    }
    std::cerr << "velkar-run: code page " << value << " is not supported; these are:\n"
              << WINDOWS_CODE_PAGES_TEXT << "\n";
    return false;
}

void printUsage(std::ostream& out) { out << USAGE << WINDOWS_CODE_PAGES_TEXT << "\n"; }

// Opened first, so that no file the run opens becomes standard input or
// output by accident: the archive read as the answers to its own questions.
void openStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) close(opened);
    }
}

bool readLine(std::string* line) {
    std::cout.flush();
    return static_cast<bool>(std::getline(std::cin, *line));
}

std::string buttonLetters(unsigned style) { return (style & 0x0F) == MB_YESNO ? "y/n" : "y/n/c"; }

// Text from the archive, in UTF-8 and with its control bytes escaped.
std::string shown(const std::string& text) { return terminalText(hostToUtf8(text), true); }
std::string shownPath(const char* path) { return terminalText(hostPath(path)); }

int answerFor(char letter, unsigned style) {
    switch (letter) {
    case 'y':
        return IDYES;
    case 'n':
        return IDNO;
    case 'c':
        return (style & 0x0F) == MB_YESNOCANCEL ? IDCANCEL : 0;
    }
    return 0;
}

// Without an answer a question takes its most careful one: never Yes.
int carefulAnswer(unsigned style) { return (style & 0x0F) == MB_YESNO ? IDNO : IDCANCEL; }

int askQuestion(Options& options, const HostMessageBox& box) {
    std::cout << "[" << shown(box.caption) << "] " << shown(box.text) << " (" << buttonLetters(box.style) << ") ";
    for (;;) {
        char letter = 0;
        if (!options.answers.empty()) {
            letter = options.answers.front();
            options.answers.pop_front();
            std::cout << letter << "\n";
        } else {
            std::string line;
            if (!readLine(&line)) {
                int answer = carefulAnswer(box.style);
                std::cout << "(no answer: " << (answer == IDNO ? "no" : "cancel") << ")\n";
                return answer;
            }
            letter = line.empty() ? 0 : line[0];
        }
        int answer = answerFor(static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), box.style);
        if (answer) return answer;
        std::cout << "answer one of " << buttonLetters(box.style) << ": ";
    }
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A box with OK alone needs no answer: errors go to standard error, notes
// to standard output. The stub's "Open ERROR" gives no reason, so the
// system's goes beside it; nor does its "Bad header" tell a whole header of
// a method Velkar lacks from a damaged one, so such a method is named. The
// header's bytes stay with the walk until the next one is read.
int answerBox(Options& options, const HostMessageBox& box) {
    if ((box.style & 0x0F) == MB_OK) {
        bool isError = (box.style & 0xF0) == MB_ICONHAND;
        std::ostream& out = isError ? std::cerr : std::cout;
        out << "[" << shown(box.caption) << "] " << shown(box.text);
        std::string method;
        if (endsWith(box.text, "Open ERROR") && hostLastCreateError())
            out << " (" << std::strerror(hostLastCreateError()) << ")";
        else if (endsWith(box.text, "Bad header") && run && run->header && run->header->raw &&
                 foreignMethod(run->header->raw, readLittle16(run->header->raw), &method))
            out << " (the member is packed with method " << terminalText(method) << ", which Velkar does not unpack)";
        out << "\n";
        return IDOK;
    }
    return askQuestion(options, box);
}

// The installer's two boxes, as far as the script offers them.
void printBoxes() {
    const std::pair<int, const char*> boxes[] = {{ID_GROUP_BOX, "Start Menu"}, {ID_CLASS_BOX, "Set Class"}};
    for (const auto& [id, templateText] : boxes) {
        if (!hostDialogItemEnabled(id)) continue;
        std::string text = hostDialogItemText(id);
        std::cout << "  [" << (hostDialogItemChecked(id) ? 'x' : ' ') << "] "
                  << (text.empty() ? templateText : shown(text)) << "\n";
    }
}

// What the installer would have done on Windows, in the order it was asked.
void printInstallerActions() {
    for (const HostAction& action : hostInstallerActions()) {
        switch (action.kind) {
        case HOST_CLASS_VALUE:
            std::cout << "class " << shown(action.key) << " -> " << shown(action.text) << "\n";
            break;
        case HOST_PROFILE_STRING:
            std::cout << "class [" << action.key << "] " << shown(action.name) << " -> " << shown(action.text) << "\n";
            break;
        case HOST_PROGRAM_START:
            std::cout << "start " << shown(action.text) << "\n";
            break;
        case HOST_DDE_EXECUTE: {
            std::string commands = action.text;
            for (char& c : commands) {
                if (c == '\n') c = ' ';
            }
            std::cout << "group " << shown(commands) << "\n";
            break;
        }
        default:
            break;
        }
    }
}

// The destination comes from the file only with -P: a file that names one
// (its settings block, "$InstallDir=") could otherwise write into any
// folder its user can write to. Without a DIR of the user's, the current
// directory is the destination, and the file's choice is only shown. Set
// before the auto-start can press OK.
void chooseDestination(const Options& options, WindowHandle dialog) {
    if (options.absolutePaths || run->dirFromCommandLine) return;
    std::string suggested = hostDialogItemText(ID_DIRECTORY);
    const std::string& current = options.currentDirectory;
    if (!options.testOnly && suggested != current)
        std::cout << "velkar-run: the file suggests " << hostPath(suggested.c_str())
                  << "; unpacking into the current directory (give DIR, or -P for the file's choice)\n";
    osSetDlgItemText(dialog, ID_DIRECTORY, current.c_str());
}

// Enter confirms the directory, a typed line replaces it first, and the end
// of input cancels. A test writes nothing, so it needs no destination.
int driveDialog(const Options& options, WindowHandle dialog) {
    if (options.testOnly) return IDOK;
    std::string label = hostDialogItemText(ID_LABEL);
    std::cout << "[" << shown(hostDialogCaption()) << "] " << (label.empty() ? "Install Directory:" : shown(label))
              << " " << shown(hostDialogItemText(ID_DIRECTORY)) << "\n";
    printBoxes();
    if (!options.confirmDialog) {
        std::cout << "Enter to unpack, a directory to unpack there, end of input to cancel: ";
        std::string line;
        if (!readLine(&line)) {
            std::cout << "(cancelled)\n";
            return IDCANCEL;
        }
        if (!line.empty()) osSetDlgItemText(dialog, ID_DIRECTORY, inCodePage(line).c_str());
    }
    return IDOK;
}

std::string tailToken(const std::string& argument) {
    return argument.find_first_of(" \t") == std::string::npos ? argument : "\"" + argument + "\"";
}

// Options come before the file; everything after it is the stub's own
// command line. "--" ends the options, for a file whose name starts with '-'.
// Returns -1 to go on, or the status to end with.
int parseArguments(int argc, char** argv, Options* options) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (!options->file.empty()) {
            if (!options->commandTail.empty()) options->commandTail += ' ';
            options->commandTail += tailToken(argument);
            if (options->directory.empty() && !argument.empty() && argument[0] != '-') options->directory = argument;
        } else if (optionsEnded || argument.empty() || argument[0] != '-') {
            options->file = argument;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument.rfind("--answer=", 0) == 0) {
            for (char letter : argument.substr(9)) options->answers.push_back(letter);
        } else if (argument == "--ok") {
            options->confirmDialog = true;
        } else if (argument == "--test") {
            options->testOnly = true;
        } else if (argument == "-P" || argument == "--absolute-paths") {
            options->absolutePaths = true;
        } else if (argument == "--stub-status") {
            options->stubStatus = true;
        } else if (argument == "--codepage" && i + 1 < argc) {
            if (!parseCodePage(argv[++i], options)) return STATUS_USAGE;
        } else if (argument.rfind("--codepage=", 0) == 0) {
            if (!parseCodePage(argument.substr(11), options)) return STATUS_USAGE;
        } else if (argument == "-h" || argument == "--help") {
            printUsage(std::cout);
            return STATUS_OK;
        } else if (argument == "--version") {
            std::cout << "velkar-run " VELKAR_VERSION "\n";
            return STATUS_OK;
        } else {
            std::cerr << "velkar-run: unknown option " << argument << "\n";
            printUsage(std::cerr);
            return STATUS_USAGE;
        }
    }
    if (options->file.empty()) {
        std::cerr << "velkar-run: no file given\n";
        printUsage(std::cerr);
        return STATUS_USAGE;
    }
    return -1;
}

// The stub carries its marker in the DOS header; a plain archive or another
// program would only show a caption of stray bytes. A pipe or a device is
// refused before it is opened, which could wait forever.
bool checkVelkarFile(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        std::cerr << "velkar-run: " << path
                  << (S_ISDIR(info.st_mode) ? " is a directory" : " is not a regular file (a pipe or a device)")
                  << ", not a Velkar self-extracting file\n";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "velkar-run: cannot open " << path << ": " << std::strerror(errno) << "\n";
        return false;
    }
    char header[STUB_MARKER_OFFSET + STUB_MARKER_SIZE] = {};
    in.read(header, sizeof(header));
    if (in.gcount() != static_cast<std::streamsize>(sizeof(header)) || header[0] != 'M' || header[1] != 'Z' ||
        std::memcmp(header + STUB_MARKER_OFFSET, STUB_MARKER, STUB_MARKER_SIZE) != 0) {
        std::cerr << "velkar-run: " << path << " is not a Velkar self-extracting file\n";
        return false;
    }
    return true;
}

const char* keptText(KeptFile reason) {
    switch (reason) {
    case KeptFile::asNewOrNewer:
        return "the file there is as new as the member or newer (-c offers to replace it)";
    case KeptFile::timeUnreadable:
        return "the file there has a time that cannot be read, so it counts as newer (-c offers to replace it)";
    default:
        return "the overwrite question was answered No";
    }
}

const char* nameFaultText(NameFault fault) {
    switch (fault) {
    case NameFault::deviceName:
        return "a device name on Windows (CON, NUL, COM1, ...), never a file's";
    case NameFault::endsInDotOrBlank:
        return "a name ending in a dot or a blank, which Windows drops";
    default:
        return "the name holds a character no Windows file system takes";
    }
}

// A value the code page cannot hold counts as unset.
void passEnvironment(const char* name) {
    std::string value;
    if (const char* utf8 = std::getenv(name); utf8 && hostFromUtf8(utf8, &value)) hostSetEnv(name, value);
}

// A run that unpacked neither a file nor a folder failed, whether it ended
// before the extract pass, kept every file or found nothing but the
// reserved members.
int exitStatus(const RunOutcome& outcome) {
    if (outcome.failures || outcome.foldersMissing) return STATUS_FAILED;
    if (outcome.declined) return STATUS_CANCELLED;
    if (outcome.pathsRefused) return STATUS_REFUSED;
    return outcome.filesWritten || outcome.foldersMade ? STATUS_OK : STATUS_FAILED;
}

std::string counted(uint32_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The stub takes a directory of up to 255 bytes and drops a longer one,
// which would unpack somewhere else; so it is refused here.
bool checkDirectory(const Options& options) {
    if (options.directory.empty()) return true;
    std::string converted;
    if (!hostFromUtf8(options.directory, &converted) || converted.size() < sizeof(RunState::commandLineDir))
        return true;
    std::cerr << "velkar-run: " << terminalText(options.directory) << ": the destination is " << converted.size()
              << " bytes long; a Velkar file takes at most " << sizeof(RunState::commandLineDir) - 1 << "\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    openStandardStreams();
    Options options;
    int ended = parseArguments(argc, argv, &options);
    if (ended >= 0) return ended;
    if (!checkVelkarFile(options.file)) return options.stubStatus ? 0 : STATUS_FAILED;

    hostSetCodePage(options.codePage);
    if (!checkDirectory(options)) return options.stubStatus ? 0 : STATUS_USAGE;
    hostSetUtf8Names(true);
    std::error_code error;
    std::string file = std::filesystem::absolute(options.file, error).string();
    hostSetModulePath(inCodePage(file));
    options.currentDirectory = inCodePage(std::filesystem::current_path(error).string());
    hostSetCurrentDirectory(options.currentDirectory);
    for (const char* name : {"TEMP", "TMP", "TZ"}) passEnvironment(name);
    hostSetBoxAnswerer([&](const HostMessageBox& box) { return answerBox(options, box); });
    hostSetDialogOpened([&](WindowHandle dialog) { chooseDestination(options, dialog); });
    hostSetDialogDriver([&](WindowHandle dialog) { return driveDialog(options, dialog); });
    hostRemoveTempFileOnSignals();
    hostSetDiscardOutput(options.testOnly);
    const char* verb = options.testOnly ? "testing " : "  ";
    hostSetOutputObserver([verb](const char* path) { std::cout << verb << shownPath(path) << "\n"; });
    hostSetKeptObserver([](const char* path, KeptFile reason) {
        std::cout << "  kept " << shownPath(path) << ": " << keptText(reason) << "\n";
    });
    if (!options.absolutePaths) {
        hostConfineOutput([](const std::string& path) {
            std::cerr << "velkar-run: skipped " << shownPath(path.c_str())
                      << ": the path leaves the destination (-P writes it)\n";
        });
    }
    hostRefuseUnsafeNames([](const std::string& path, NameFault fault) {
        std::cerr << "velkar-run: skipped " << shownPath(path.c_str()) << ": " << nameFaultText(fault) << "\n";
    });

    RunOutcome outcome = velkarMain(inCodePage(options.commandTail).c_str());
    printInstallerActions();
    for (const HostShellStart& start : hostShellStarts())
        std::cout << "command (not started on this system): " << shown(start.file) << " " << shown(start.parameters)
                  << " in " << shown(start.directory) << "\n";
    std::cout.flush();
    if (hostInputEndedEarly() && !outcome.failures)
        std::cerr << "velkar-run: warning: the archive ends without its end marker; it may have been cut short\n";
    std::cerr << "velkar-run: "
              << counted(outcome.filesWritten, options.testOnly ? "file checked" : "file written",
                         options.testOnly ? "files checked" : "files written")
              << ", " << hostBytesWritten() << " bytes, " << counted(outcome.failures, "failure", "failures");
    if (outcome.foldersMade)
        std::cerr << ", "
                  << counted(outcome.foldersMade, options.testOnly ? "folder checked" : "folder made",
                             options.testOnly ? "folders checked" : "folders made");
    if (outcome.filesKept) std::cerr << ", " << counted(outcome.filesKept, "file", "files") << " kept";
    if (outcome.pathsRefused) std::cerr << ", " << outcome.pathsRefused << " skipped";
    std::cerr << "\n";
    // The stub passes over a folder it could not make without a word.
    if (outcome.foldersMissing)
        std::cerr << "velkar-run: " << counted(outcome.foldersMissing, "folder", "folders")
                  << " of the archive could not be made\n";
    else if (!options.stubStatus && exitStatus(outcome) == STATUS_FAILED && !outcome.failures)
        std::cerr << "velkar-run: nothing was unpacked\n";
    return options.stubStatus ? stubExitStatus(outcome) : exitStatus(outcome);
}
