#include "support/command.h"

#include <cstdio>

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    *status = -1;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char chunk[4096];
    size_t count;
    while ((count = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, count);
    *status = pclose(pipe);
    return output;
}
