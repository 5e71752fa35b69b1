#include "tools/velkar_build/source_tree.h"

#include <algorithm>
#include <set>
#include <stdexcept>

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

struct Collector {
    std::vector<SourceEntry> entries;
    std::set<std::string> seen;
    void (*note)(const std::string&);

    void add(const fs::path& path, const std::string& name, bool top) {
        std::error_code error;
        fs::file_status link = fs::symlink_status(path, error);
        if (error) throw std::runtime_error(utf8Of(path) + ": " + error.message());
        fs::file_status target = fs::status(path, error);
        if (error && fs::is_symlink(link)) {
            note(utf8Of(path) + ": left out, a link to nothing");
            return;
        }
        if (error) throw std::runtime_error(utf8Of(path) + ": " + error.message());
        if (fs::is_directory(target) && (top || !fs::is_symlink(link))) {
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
            if (seen.insert(name).second) entries.push_back({path, name, false});
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
        if (!fs::exists(path, error)) throw std::runtime_error(utf8Of(path) + ": no such file or directory");
        collector.add(path, memberName(given), true);
    }
    return collector.entries;
}
