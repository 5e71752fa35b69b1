#include "tools/velkar_build/source_tree.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <system_error>

#include "common/windows_names.h"
#include "tools/velkar_build/system.h"

namespace fs = std::filesystem;

namespace {

std::string memberName(const std::string& given) {
    fs::path normal = pathFromUtf8(given).lexically_normal().relative_path();
    std::string name;
    for (const fs::path& part : normal) {
        std::string text = utf8Of(part);
        if (text.empty() || text == ".") continue;
        if (text == "..")
            throw std::runtime_error(given + ": climbs out of its folder; name it from inside with -C DIR");
        if (!name.empty()) name += '/';
        name += text;
    }
    return name;
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A device name would open the device in any folder, and Windows drops a
// final dot or blank, so such a member would land elsewhere. The bytes of a
// name are checked once it is in the code page (archive_packer.cpp).
void checkWindowsName(const std::string& name, const fs::path& path) {
    std::string_view part;
    // UTF-8 has no trail byte that could be taken for a character.
    NameFault fault = windowsPathFault(name, &part);
    if (fault == NameFault::deviceName)
        throw std::runtime_error(utf8Of(path) + ": \"" + std::string(part) +
                                 "\" is a device name on Windows, which cannot be a file's name");
    if (fault == NameFault::endsInDotOrBlank)
        throw std::runtime_error(utf8Of(path) + ": \"" + std::string(part) +
                                 "\" ends in a dot or a blank, which Windows drops from names");
}

struct Collector {
    std::vector<SourceEntry> entries;
    std::set<std::string> seen;
    std::map<std::string, std::string> folded;  // names without case, as Windows compares them
    void (*note)(const std::string&);

    void checkName(const std::string& name, const fs::path& path) {
        checkWindowsName(name, path);
        auto [at, added] = folded.emplace(asciiLower(name), name);
        if (!added && at->second != name)
            throw std::runtime_error(utf8Of(path) + ": \"" + name + "\" and \"" + at->second +
                                     "\" differ only in case, and Windows takes them for one name");
    }

    void add(const fs::path& path, const std::string& name, bool top) {
        std::error_code error;
        fs::file_status link = fs::symlink_status(path, error);
        if (error) throw std::runtime_error(utf8Of(path) + ": " + error.message());
        fs::file_status target = fs::status(path, error);
        if (error && fs::is_symlink(link)) {
            note(utf8Of(path) + (error == std::errc::too_many_symbolic_link_levels
                                     ? ": left out, a loop of symbolic links"
                                     : ": left out, a link to nothing"));
            return;
        }
        if (error) throw std::runtime_error(utf8Of(path) + ": " + error.message());
        if (fs::is_directory(target) && (top || !fs::is_symlink(link))) {
            if (!name.empty()) checkName(name, path);
            if (!name.empty() && seen.insert(name + "/").second) entries.push_back({path, name, true});
            std::vector<fs::path> children;
            for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
                children.push_back(it->path());
            if (error) throw std::runtime_error(utf8Of(path) + ": " + error.message());
            std::sort(children.begin(), children.end(),
                      [](const fs::path& a, const fs::path& b) { return utf8Of(a.filename()) < utf8Of(b.filename()); });
            for (const fs::path& child : children)
                add(child, name.empty() ? utf8Of(child.filename()) : name + "/" + utf8Of(child.filename()), false);
        } else if (fs::is_regular_file(target)) {
            if (name.empty()) throw std::runtime_error(utf8Of(path) + ": a file needs a name");
            checkName(name, path);
            if (seen.insert(name).second) entries.push_back({path, name, false});
        } else if (fs::is_directory(target)) {
            note(utf8Of(path) + ": left out, a link to a folder; give the folder itself to pack it");
        } else {
            note(utf8Of(path) + ": left out, neither a regular file nor a directory");
        }
    }
};

}  // namespace

std::vector<SourceEntry> collectSources(const std::vector<std::string>& paths, const std::string& baseDir,
                                        void (*note)(const std::string&)) {
    Collector collector;
    collector.note = note;
    for (const std::string& given : paths) {
        fs::path path = baseDir.empty() ? pathFromUtf8(given) : pathFromUtf8(baseDir) / pathFromUtf8(given);
        std::error_code error;
        fs::file_status status = fs::status(path, error);
        if (error && error == std::errc::too_many_symbolic_link_levels)
            throw std::runtime_error(utf8Of(path) + ": a loop of symbolic links");
        if (!fs::exists(status)) throw std::runtime_error(utf8Of(path) + ": no such file or directory");
        collector.add(path, memberName(given), true);
    }
    return collector.entries;
}
