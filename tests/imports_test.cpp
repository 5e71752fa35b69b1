// The built stub's import table against tests/win32_imports.txt, the list of
// every function the stub may import with the oldest platforms that provide
// it. A loader refuses an image whose imports it cannot find before any of
// the stub's code runs, and Wine has every function, so only this test sees
// an import that Win32s, Windows NT 3.51 or Windows 95 lacks.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/built_stub.h"

namespace {

using Bytes = std::vector<uint8_t>;

const char* const LIST_PATH = VELKAR_IMPORT_LIST;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Platforms {
    std::string win32s, nt, windows;
};

// "dll function" in lower case for the DLL, as the loaders match DLL names
// without regard to case but function names exactly.
std::string key(const std::string& dll, const std::string& function) { return lower(dll) + " " + function; }

std::map<std::string, Platforms> readList() {
    std::ifstream in(LIST_PATH);
    if (!in) throw std::runtime_error(std::string(LIST_PATH) + " cannot be read");
    std::map<std::string, Platforms> list;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string dll, function, rest;
        Platforms platforms;
        if (!(fields >> dll >> function >> platforms.win32s >> platforms.nt >> platforms.windows) || fields >> rest)
            throw std::runtime_error("line " + std::to_string(number) + " of the import list is not five fields");
        if (!list.emplace(key(dll, function), platforms).second)
            throw std::runtime_error("line " + std::to_string(number) + " repeats " + function);
    }
    return list;
}

uint32_t u16(const Bytes& b, uint64_t at) {
    if (at + 2 > b.size()) throw std::runtime_error("the image is cut short");
    return b[at] | b[at + 1] << 8;
}
uint32_t u32(const Bytes& b, uint64_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

std::string text(const Bytes& b, uint64_t at) {
    std::string result;
    for (;; ++at) {
        if (at >= b.size()) throw std::runtime_error("a name runs past the end of the image");
        if (b[at] == 0) return result;
        result += static_cast<char>(b[at]);
    }
}

struct Import {
    std::string dll, function;  // function "#n" for an import by ordinal
};

// The import directory of a PE32 image, read by hand so that the test does
// not depend on one reader's view.
std::vector<Import> readImports(const Bytes& image) {
    const uint32_t pe = u32(image, 0x3C), optional = pe + 24;
    const uint32_t sections = u16(image, pe + 6), table = optional + u16(image, pe + 20);
    auto fileOffset = [&](uint32_t rva) -> uint64_t {
        for (uint32_t i = 0; i < sections; ++i) {
            const uint64_t s = table + i * 40ull;
            const uint32_t address = u32(image, s + 12), size = u32(image, s + 16);
            if (rva >= address && rva - address < size) return u32(image, s + 20) + uint64_t{rva - address};
        }
        throw std::runtime_error("RVA " + std::to_string(rva) + " lies outside every section");
    };
    std::vector<Import> imports;
    for (uint64_t descriptor = fileOffset(u32(image, optional + 104));; descriptor += 20) {
        const uint32_t names = u32(image, descriptor), dllName = u32(image, descriptor + 12);
        const uint32_t addresses = u32(image, descriptor + 16);
        if (dllName == 0) break;
        const std::string dll = text(image, fileOffset(dllName));
        for (uint64_t thunk = fileOffset(names ? names : addresses);; thunk += 4) {
            const uint32_t entry = u32(image, thunk);
            if (entry == 0) break;
            if (entry & 0x80000000u) imports.push_back({dll, "#" + std::to_string(entry & 0xFFFF)});
            else imports.push_back({dll, text(image, fileOffset(entry) + 2)});
        }
    }
    return imports;
}

// The oldest versions the stub must load on; "no" marks a platform without
// the function.
bool providedBy(const std::string& version, double oldestTarget) {
    return version != "no" && std::stod(version) <= oldestTarget;
}

TEST(StubImports, EveryImportIsListedAndThereFromWin32sAndNt351On) {
    const Bytes stub = readBuiltStub();
    ASSERT_FALSE(stub.empty()) << STUB_PATH << " is missing: build the windows preset first";
    const std::map<std::string, Platforms> list = readList();
    const std::vector<Import> imports = readImports(stub);
    EXPECT_GT(imports.size(), 10u) << "the import table was not found";

    const std::string check =
        "; check which Windows versions provide it (for Win32s: the Win32 Programmer's "
        "Reference; for Windows NT and 95: the Platform SDK's requirements)";
    for (const Import& import : imports) {
        SCOPED_TRACE(import.dll + " " + import.function);
        auto found = list.find(key(import.dll, import.function));
        if (found == list.end()) {
            ADD_FAILURE() << "velkar.exe imports " << import.function << " from " << import.dll << ", which is not in "
                          << LIST_PATH << check
                          << ", and add it there with the oldest of each. If Win32s 1.30, Windows NT 3.51 or "
                             "Windows 95 lacks it, call something they all have, or load it at run time "
                             "(GetProcAddress) with a fallback.";
            continue;
        }
        const Platforms& p = found->second;
        const struct {
            const char* name;
            bool there;
        } targets[] = {
            {"Win32s 1.30", providedBy(p.win32s, 1.30)},
            {"Windows NT 3.51", providedBy(p.nt, 3.51)},
            {"Windows 95", p.windows == "95"},
        };
        for (const auto& target : targets) {
            EXPECT_TRUE(target.there) << import.function << " is missing on " << target.name
                                      << ", so the stub would not load there: call something every platform "
                                         "has, or load it at run time (GetProcAddress) with a fallback";
        }
    }
}

}  // namespace
