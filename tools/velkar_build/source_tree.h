// The files and directories named on the command line, in the order they
// are packed: each directory before its contents, names sorted bytewise.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct SourceEntry {
    std::filesystem::path path;  // where it is read from
    std::string name;            // the member name: UTF-8, '/' between components
    bool directory = false;
};

// Names are the paths as given (relative to baseDir when that is not empty),
// without a leading '/' or "./". A path that climbs out with ".." is
// refused, and so is one that does not exist, a name Windows cannot create
// (a device name such as CON or nul.txt, one ending in a dot or a blank) and
// two names that differ only in case, which Windows takes for one. Anything
// that is neither a regular file nor a directory (a device, a pipe, a link
// to a directory or to nothing) is left out, with a note through `note`.
std::vector<SourceEntry> collectSources(const std::vector<std::string>& paths, const std::string& baseDir,
                                        void (*note)(const std::string&));
