#include "support/test_support.h"

#include "startup/entry.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velkar-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary);
    out << bytes;
}

std::string ScratchDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool ScratchDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

std::string writeStandInSelf(const ScratchDir& scratch, const SettingsBlock& block, const std::string& archive) {
    std::string bytes(STAND_IN_STUB_SIZE, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::memcpy(&bytes[STUB_MARKER_OFFSET], STUB_MARKER, STUB_MARKER_SIZE);
    std::memcpy(&bytes[SETTINGS_OFFSET], &block, SETTINGS_SIZE);
    scratch.write("self.exe", bytes + archive);
    hostSetModulePath(scratch.file("self.exe"));
    return scratch.file("self.exe");
}

void RunTest::SetUp() {
    hostReset();
    isWin32s = 0;
    ASSERT_TRUE(allocateRun());
    run->keepNewerFiles = 1;
    d = run->decoder;
}

// A test that stops inside a walk leaves its last header to free.
void RunTest::TearDown() {
    releaseRun();
    hostReset();
}

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no error)";
}
