#include "tools/velkar_build/source_tree.h"

#include <algorithm>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string memberName(const std::string& given) {
    fs::path normal = fs::path(given).lexically_normal().relative_path();
    std::string name;
    for (const fs::path& part : normal) {
        std::string text = part.string();
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
        if (error) throw std::runtime_error(path.string() + ": " + error.message());
        fs::file_status target = fs::status(path, error);
        if (error && fs::is_symlink(link)) {
            note(path.string() + ": left out, a link to nothing");
            return;
        }
        if (error) throw std::runtime_error(path.string() + ": " + error.message());
        if (fs::is_directory(target) && (top || !fs::is_symlink(link))) {
            if (!name.empty() && seen.insert(name + "/").second) entries.push_back({path, name, true});
            std::vector<fs::path> children;
            for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
                children.push_back(it->path());
            if (error) throw std::runtime_error(path.string() + ": " + error.message());
            std::sort(children.begin(), children.end(), [](const fs::path& a, const fs::path& b) {
                return a.filename().string() < b.filename().string();
            });
            for (const fs::path& child : children)
                add(child, name.empty() ? child.filename().string() : name + "/" + child.filename().string(), false);
        } else if (fs::is_regular_file(target)) {
            if (name.empty()) throw std::runtime_error(path.string() + ": a file needs a name");
            if (seen.insert(name).second) entries.push_back({path, name, false});
        } else {
            note(path.string() + ": left out, neither a regular file nor a directory");
        }
    }
};

}  // namespace

std::vector<SourceEntry> collectSources(const std::vector<std::string>& paths, const std::string& baseDir,
                                        void (*note)(const std::string&)) {
    Collector collector;
    collector.note = note;
    for (const std::string& given : paths) {
        fs::path path = baseDir.empty() ? fs::path(given) : fs::path(baseDir) / given;
        std::error_code error;
        if (!fs::exists(path, error)) throw std::runtime_error(path.string() + ": no such file or directory");
        collector.add(path, memberName(given), true);
    }
    return collector.entries;
}
