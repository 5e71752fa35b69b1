// velkar-build: makes a self-extracting file from the stub and a level-2 LZH
// archive made by any archiver.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

#include "common/run_state.h"
#include "tools/velkar_build/builder.h"

namespace {

const char* const USAGE =
    "usage: velkar-build -o OUT.exe [--stub velkar.exe] [--title T] [--install-title T]\n"
    "                    [--dir D] [--command C] [--auto-start] [--overwrite]\n"
    "                    [--no-keep-newer] [--restore-attributes] [--tamper] [--admin] --archive IN.lzh\n"
    "The stub defaults to $VELKAR_STUB, else velkar.exe in the current folder.\n"
    "--admin makes Windows Vista and later ask for an administrator before the file runs:\n"
    "for installers that must write to protected folders such as Program Files.\n";

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot be read");
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    std::string output, archive, stub;
    if (const char* fromEnvironment = std::getenv("VELKAR_STUB")) stub = fromEnvironment;
    if (stub.empty()) stub = "velkar.exe";
    BuildOptions options;
    try {
        auto value = [&](int& i) -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(std::string(argv[i]) + " needs a value");
            return argv[++i];
        };
        for (int i = 1; i < argc; ++i) {
            std::string arg = argv[i];
            if (arg == "-o") output = value(i);
            else if (arg == "--stub") stub = value(i);
            else if (arg == "--archive") archive = value(i);
            else if (arg == "--title") options.title = value(i);
            else if (arg == "--install-title") options.installTitle = value(i);
            else if (arg == "--dir") options.dir = value(i);
            else if (arg == "--command") options.command = value(i);
            else if (arg == "--auto-start") options.flags |= FLAG_AUTO_START;
            else if (arg == "--overwrite") options.flags |= FLAG_OVERWRITE;
            else if (arg == "--tamper") options.flags |= FLAG_TAMPER_CHECK;
            else if (arg == "--no-keep-newer") options.flags |= FLAG_NO_KEEP_NEWER;
            else if (arg == "--restore-attributes") options.restoreAttributes = true;
            else if (arg == "--admin") options.requireAdministrator = true;
            else throw std::runtime_error("unknown argument " + arg);
        }
        if (output.empty() || archive.empty()) throw std::runtime_error("-o and --archive are required");

        Bytes result;
        try {
            result = buildSelfExtractor(readFile(stub), readFile(archive), options);
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(archive + " with " + stub + ": " + error.what());
        }
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(result.data()), static_cast<std::streamsize>(result.size()));
        if (!out.flush()) throw std::runtime_error(output + ": cannot be written");
    } catch (const std::exception& error) {
        std::cerr << "velkar-build: " << error.what() << "\n" << USAGE;
        return 2;
    }
    return 0;
}
