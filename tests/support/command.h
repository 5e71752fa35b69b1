// Running a shell command from a test and reading what it printed.
#pragma once

#include <string>

// The command's standard output; status gets pclose's status (-1 when the
// command could not be started).
std::string runCommand(const std::string& command, int* status);
