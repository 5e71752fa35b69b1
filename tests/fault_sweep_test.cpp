// Fault sweeps: a whole run over a small archive of several members and
// methods, with each call of each kind failed in turn, once or from then on.
// Whatever fails, the run ends with a known message and status, every file
// left behind is byte-exact, no temporary file stays and no handle is left
// open. The sweep runs into an empty destination, then into one that holds
// an old version of every member, each of which must stay exactly as it
// was or be replaced whole.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "startup/entry.h"
#include "support/archive_maker.h"
#include "support/bit_writer.h"
#include "support/test_support.h"

namespace {

MemberSpec member(const std::string& name, const std::string& data, char method = '0',
                  uint32_t unpackedSize = 0xFFFFFFFF) {
    MemberSpec spec;
    spec.name = name;
    spec.data = data;
    spec.method = method;
    spec.unpackedSize = unpackedSize;
    return spec;
}

// Blocks whose three codes each have one symbol, so that every symbol costs
// no bits: count symbols of the literal or copy symbol given.
std::string singleSymbolBlocks(const std::vector<std::pair<uint32_t, int>>& blocks, unsigned positionCountBits) {
    BitWriter bits;
    for (const auto& [count, symbol] : blocks) {
        bits.put(count & 0xFFFF, 16);
        bits.put(0, 5);
        bits.put(0, 5);
        bits.put(0, 9);
        bits.put(static_cast<uint32_t>(symbol), 9);
        bits.put(0, positionCountBits);
        bits.put(0, positionCountBits);
    }
    return bits.bytes();
}

std::string sweepArchive() {
    std::string big(150000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 251);
    MemberSpec directory = member("", "", 'd');
    directory.withName = false;
    directory.directory = "sub\xFF";
    MemberSpec inDirectory = member("big.bin", big);
    inDirectory.directory = "sub\xFF";
    MemberSpec lh5 = member("q.lh5", singleSymbolBlocks({{0, 'q'}, {1, 'r'}}, 4), '5', 65537);
    lh5.directory = "sub\xFF";
    lh5.dataCrc = referenceCrc16(std::string(65536, 'q') + "r");
    // A literal, then copies of length 256 at distance 1 repeat it.
    MemberSpec lh7 = member("s.lh7", singleSymbolBlocks({{1, 's'}, {300, 256 + 253}}, 5), '7', 1 + 300 * 256);
    lh7.dataCrc = referenceCrc16(std::string(1 + 300 * 256, 's'));
    std::string archive;
    for (const MemberSpec& m : {member("!", "Go on?"), member("$", "$WindowTitle=Sweep\n$Command=z.txt"),
                                member("a.txt", "alpha"), directory, inDirectory, lh5, lh7, member("z.txt", "zeta")})
        archive += level2Member(m);
    return archive + std::string(2, '\0');
}

struct FileState {
    std::string bytes;
    time_t lastWrite;
    mode_t mode;
    bool operator==(const FileState& other) const {
        return bytes == other.bytes && lastWrite == other.lastWrite && mode == other.mode;
    }
};

// What is already in the destination in the second sweep: older than the
// members, one of them read-only.
const time_t OLD_TIME = 1000000000;
const std::map<std::string, FileState> OLD_FILES = {
    {"a.txt", {"an old alpha", OLD_TIME, 0444}},
    {"sub/big.bin", {"old big", OLD_TIME, 0644}},
    {"sub/q.lh5", {std::string(70000, 'o'), OLD_TIME, 0644}},
    {"s.lh7", {"old s", OLD_TIME, 0600}},
    {"z.txt", {"old zeta", OLD_TIME, 0644}},
};

std::map<std::string, FileState> filesUnder(const std::string& root) {
    std::map<std::string, FileState> files;
    namespace fs = std::filesystem;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::string path = entry.path().string();
        FILE* file = std::fopen(path.c_str(), "rb");
        std::string bytes;
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
        std::fclose(file);
        struct stat info;
        ::stat(path.c_str(), &info);
        files[path.substr(root.size() + 1)] = {bytes, info.st_mtime, info.st_mode & 07777};
    }
    return files;
}

int openDescriptors() {
    int count = 0;
    DIR* fds = ::opendir("/proc/self/fd");
    while (::readdir(fds)) ++count;
    ::closedir(fds);
    return count;
}

struct Outcome {
    int status;
    std::vector<std::string> errors;  // texts of the boxes with the error icon
    std::map<std::string, FileState> files;
    int broadcasts;
};

class FaultSweepTest : public RunTest {
protected:
    void SetUp() override {
        RunTest::SetUp();
        releaseRun();
        SettingsBlock block = {};
        block.archiveOffset = STAND_IN_STUB_SIZE;
        std::strcpy(block.windowTitle, "Setup");
        archive = sweepArchive();
        settings = block;
    }

    // A fresh host layer, destination and file; inject, then the whole run.
    Outcome runWith(const std::function<void()>& inject) {
        hostReset();
        std::filesystem::remove_all(scratch.file("out"));
        ::mkdir(scratch.file("out").c_str(), 0755);
        if (withOldFiles) {
            ::mkdir(scratch.file("out/sub").c_str(), 0755);
            for (const auto& [name, old] : OLD_FILES) {
                std::string path = scratch.file("out/" + name);
                scratch.write("out/" + name, old.bytes);
                struct timespec times[2] = {{OLD_TIME, 0}, {OLD_TIME, 0}};
                ::utimensat(AT_FDCWD, path.c_str(), times, 0);
                ::chmod(path.c_str(), old.mode);
            }
        }
        writeStandInSelf(scratch, settings, archive);
        inject();
        Outcome outcome;
        outcome.status = stubExitStatus(velkarMain(("-n " + scratch.file("out")).c_str()));
        for (const HostMessageBox& box : hostMessageBoxes())
            if ((box.style & 0xF0) == MB_ICONHAND) outcome.errors.push_back(box.text);
        outcome.files = filesUnder(scratch.file("out"));
        outcome.broadcasts = hostBroadcastCount();
        return outcome;
    }

    void sweep();

    std::string archive;
    SettingsBlock settings;
    bool withOldFiles = false;
};

void FaultSweepTest::sweep() {
    Outcome clean = runWith([] {});
    ASSERT_EQ(clean.status, 1);
    ASSERT_TRUE(clean.errors.empty());
    ASSERT_EQ(clean.files.size(), 5u);
    ASSERT_EQ(clean.files["sub/q.lh5"].bytes, std::string(65536, 'q') + "r");
    int calls[HOST_CALL_KINDS];
    for (int kind = 0; kind < HOST_CALL_KINDS; ++kind) calls[kind] = hostCallCount(static_cast<HostCall>(kind));

    // The messages each kind may end a run with, after the quoted path.
    const std::map<HostCall, std::set<std::string>> allowed = {
        {HOST_READ, {"Read ERROR", "Unexpeted EOF", "Bad header"}},
        {HOST_SEEK, {"Read ERROR", "Unexpeted EOF", "Bad header"}},
        {HOST_WRITE, {"Write ERROR"}},
        {HOST_CREATE, {"Open ERROR"}},
        {HOST_CLOSE, {"Close ERROR"}},
        {HOST_MAKE_DIRECTORY, {"Open ERROR"}},
        {HOST_PUMP, {}},
        {HOST_RENAME, {"Open ERROR"}},
    };
    // Failures of these kinds always lose the member they hit.
    const std::set<HostCall> alwaysFelt = {HOST_WRITE, HOST_CREATE, HOST_CLOSE, HOST_PUMP, HOST_RENAME};
    const std::set<HostCall> endTheRun = {HOST_WRITE, HOST_PUMP};
    std::map<HostCall, std::set<std::string>> seen;
    int runs = 0;
    int descriptors = openDescriptors();
    for (int kind = 0; kind < HOST_CALL_KINDS; ++kind) {
        HostCall call = static_cast<HostCall>(kind);
        for (int n = 1; n <= calls[kind]; ++n) {
            for (bool fromThenOn : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << HOST_CALL_NAMES[kind] << " call " << n << (fromThenOn ? " and later" : " once"));
                Outcome outcome = runWith([&] { hostFailCall(call, n, fromThenOn); });
                ++runs;
                EXPECT_TRUE(outcome.status == 0 || outcome.status == 1);
                ASSERT_LE(outcome.errors.size(), 1u);
                for (const std::string& text : outcome.errors) {
                    size_t end = text.rfind("\" ");
                    ASSERT_NE(end, std::string::npos) << text;
                    std::string message = text.substr(end + 2);
                    EXPECT_EQ(allowed.at(call).count(message), 1u) << text;
                    seen[call].insert(message);
                }
                int membersWritten = 0;
                for (const auto& [name, file] : outcome.files) {
                    ASSERT_EQ(clean.files.count(name), 1u) << name << " is no member's file";
                    bool isNew = file.bytes == clean.files[name].bytes;
                    membersWritten += isNew;
                    if (withOldFiles && !isNew) {
                        EXPECT_TRUE(file == OLD_FILES.at(name)) << name << " was changed";
                    }
                    EXPECT_TRUE(isNew || withOldFiles) << name << " is not byte-exact";
                }
                if (withOldFiles) {
                    EXPECT_EQ(outcome.files.size(), OLD_FILES.size()) << "an old file went missing";
                }
                if (alwaysFelt.count(call)) {
                    EXPECT_LT(membersWritten, static_cast<int>(clean.files.size()));
                }
                if (endTheRun.count(call)) {
                    EXPECT_EQ(outcome.broadcasts, 0) << "no finishing action";
                }
                EXPECT_EQ(openDescriptors(), descriptors) << "a handle was left open";
            }
        }
    }
    for (HostCall call : {HOST_READ, HOST_WRITE, HOST_CREATE, HOST_CLOSE})
        EXPECT_FALSE(seen[call].empty()) << HOST_CALL_NAMES[call] << " failures never reached a message";
    EXPECT_TRUE(seen[HOST_READ].count("Read ERROR"));
    EXPECT_EQ(seen[HOST_CLOSE], std::set<std::string>{"Close ERROR"});
    EXPECT_EQ(seen[HOST_RENAME], std::set<std::string>{"Open ERROR"});
    std::printf(
        "fault sweep%s: %d runs over %d read, %d seek, %d write, %d create, %d close, %d mkdir, %d pump, "
        "%d rename calls\n",
        withOldFiles ? " over old files" : "", runs, calls[HOST_READ], calls[HOST_SEEK], calls[HOST_WRITE],
        calls[HOST_CREATE], calls[HOST_CLOSE], calls[HOST_MAKE_DIRECTORY], calls[HOST_PUMP], calls[HOST_RENAME]);
}

TEST_F(FaultSweepTest, EveryFailedCallEndsTheRunCleanly) { sweep(); }

// Replaced without a question, the read-only one too: the settings ask for
// the members' attributes.
TEST_F(FaultSweepTest, EveryFailedCallLeavesOldFilesWholeOrReplacedWhole) {
    settings.flags = FLAG_OVERWRITE | FLAG_NO_KEEP_NEWER;
    settings.restoreAttributes = 1;
    withOldFiles = true;
    sweep();
}

}  // namespace
