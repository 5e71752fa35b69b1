// velkar-run: the stub's whole run on the host platform layer, so that a
// Velkar file unpacks on Linux without Wine. Message boxes and the dialog
// appear on the terminal; options answer them for unattended runs.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <string>

#include "platform/host/host_control.h"
#include "startup/entry.h"
#include "ui/main_dialog.h"

namespace {

const char USAGE[] =
    "usage: velkar-run [--answer=LETTERS] [--ok] [--test] [--codepage N] FILE.exe [-n|-n-] [-c|-c-] [DIR]\n"
    "  --answer=LETTERS  answer the message boxes in order: y(es) n(o) c(ancel) o(k)\n"
    "  --ok              confirm the dialog without asking\n"
    "  --test            decode and check every member without writing anything\n"
    "  --codepage N      the Windows code page the archive's names were written in:\n"
    "                    1252 Western (the default), 932 Japanese, 936 Chinese\n"
    "                    (simplified), 949 Korean, 950 Chinese (traditional);\n"
    "                    names come out in UTF-8\n"
    "  the arguments after FILE.exe are the stub's own command line\n";

struct Options {
    std::string file;
    std::string commandTail;
    std::deque<char> answers;
    bool confirmDialog = false;
    bool testOnly = false;
    int codePage = 1252;
};

// Linux hands over UTF-8; the core works in the archive's code page.
std::string inCodePage(const std::string& text) {
    std::string converted;
    if (!hostFromUtf8(text, &converted)) {
        std::cerr << "velkar-run: \"" << text << "\" cannot be written in code page " << hostCodePage()
                  << "; choose a path without such characters, or the --codepage that has them\n";
        std::exit(2);
    }
    return converted;
}

bool parseCodePage(const std::string& value, Options* options) {
    for (int supported : {1252, 932, 936, 949, 950}) {
        if (value == std::to_string(supported)) {
            options->codePage = supported;
            return true;
        }
    }
    std::cerr << "velkar-run: code page " << value << " is not supported\n";
    return false;
}

bool readLine(std::string* line) {
    std::cout.flush();
    return static_cast<bool>(std::getline(std::cin, *line));
}

std::string buttonLetters(unsigned style) {
    switch (style & 0x0F) {
    case MB_YESNO: return "y/n";
    case MB_YESNOCANCEL: return "y/n/c";
    default: return "o";
    }
}

int answerFor(char letter, unsigned style) {
    unsigned buttons = style & 0x0F;
    switch (letter) {
    case 'y': return buttons == MB_OK ? 0 : IDYES;
    case 'n': return buttons == MB_OK ? 0 : IDNO;
    case 'c': return buttons == MB_YESNOCANCEL ? IDCANCEL : 0;
    case 'o': return buttons == MB_OK ? IDOK : 0;
    }
    return 0;
}

// Without an answer the box takes its most careful one: never Yes.
int carefulAnswer(unsigned style) {
    switch (style & 0x0F) {
    case MB_YESNO: return IDNO;
    case MB_YESNOCANCEL: return IDCANCEL;
    default: return IDOK;
    }
}

int askBox(Options& options, const HostMessageBox& box) {
    std::cout << "[" << hostToUtf8(box.caption) << "] " << hostToUtf8(box.text) << " (" << buttonLetters(box.style)
              << ") ";
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
                std::cout << "(no answer: " << (answer == IDOK ? "ok" : answer == IDNO ? "no" : "cancel") << ")\n";
                return answer;
            }
            letter = line.empty() ? 'o' : line[0];
        }
        int answer = answerFor(static_cast<char>(std::tolower(static_cast<unsigned char>(letter))), box.style);
        if (answer) return answer;
        std::cout << "answer one of " << buttonLetters(box.style) << ": ";
    }
}

// Enter confirms the directory, a typed line replaces it first, and the end
// of input cancels.
int driveDialog(const Options& options, WindowHandle dialog) {
    std::string label = hostDialogItemText(ID_LABEL);
    std::cout << "[" << hostToUtf8(hostDialogCaption()) << "] "
              << (label.empty() ? "Install Directory:" : hostToUtf8(label)) << " "
              << hostToUtf8(hostDialogItemText(ID_DIRECTORY)) << "\n";
    if (options.confirmDialog) return IDOK;
    std::cout << "Enter to unpack, a directory to unpack there, end of input to cancel: ";
    std::string line;
    if (!readLine(&line)) {
        std::cout << "(cancelled)\n";
        return IDCANCEL;
    }
    if (!line.empty()) osSetDlgItemText(dialog, ID_DIRECTORY, inCodePage(line).c_str());
    return IDOK;
}

std::string tailToken(const std::string& argument) {
    return argument.find_first_of(" \t") == std::string::npos ? argument : "\"" + argument + "\"";
}

bool parseArguments(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (options->file.empty() && argument.rfind("--", 0) == 0) {
            if (argument.rfind("--answer=", 0) == 0) {
                for (char letter : argument.substr(9)) options->answers.push_back(letter);
            } else if (argument == "--ok") {
                options->confirmDialog = true;
            } else if (argument == "--test") {
                options->testOnly = true;
            } else if (argument == "--codepage" && i + 1 < argc) {
                if (!parseCodePage(argv[++i], options)) return false;
            } else if (argument.rfind("--codepage=", 0) == 0) {
                if (!parseCodePage(argument.substr(11), options)) return false;
            } else {
                return false;
            }
        } else if (options->file.empty()) {
            options->file = argument;
        } else {
            if (!options->commandTail.empty()) options->commandTail += ' ';
            options->commandTail += tailToken(argument);
        }
    }
    return !options->file.empty();
}

// A value that the code page cannot hold is left out, as if unset.
void passEnvironment(const char* name) {
    std::string value;
    if (const char* utf8 = std::getenv(name); utf8 && hostFromUtf8(utf8, &value)) hostSetEnv(name, value);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseArguments(argc, argv, &options)) {
        std::cerr << USAGE;
        return 2;
    }
    hostSetCodePage(options.codePage);
    hostSetUtf8Names(true);
    std::error_code error;
    std::string file = std::filesystem::absolute(options.file, error).string();
    hostSetModulePath(inCodePage(file));
    hostSetCurrentDirectory(inCodePage(std::filesystem::current_path(error).string()));
    for (const char* name : {"TEMP", "TMP", "TZ"}) passEnvironment(name);
    hostSetBoxAnswerer([&options](const HostMessageBox& box) { return askBox(options, box); });
    hostSetDialogDriver([&options](WindowHandle dialog) { return driveDialog(options, dialog); });
    hostSetDiscardOutput(options.testOnly);
    const char* verb = options.testOnly ? "testing " : "  ";
    hostSetOutputObserver([verb](const char* path) { std::cout << verb << hostPath(path) << "\n"; });

    int status = velkarMain(nullptr, inCodePage(options.commandTail).c_str());
    for (const HostShellStart& start : hostShellStarts())
        std::cout << "command (not started on this system): " << hostToUtf8(start.file) << " "
                  << hostToUtf8(start.parameters) << " in " << hostToUtf8(start.directory) << "\n";
    std::cout.flush();
    return status;
}
