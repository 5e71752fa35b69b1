// The portable core on the real Windows API, checked under Wine against what
// Windows itself answers: the same checks the host tests make with the host
// layer's doubles, so a double that drifts from Windows shows up here.
// Started as: platform_check.exe -n "C:\My Dir", with --dbcs in a process
// whose ANSI code page is 932, and with --replace=PLATFORM under Windows
// versions that Wine pretends to be.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "archive/time_convert.h"
#include "archive/walk.h"
#include "common/directory_macros.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "decode/archive_input.h"
#include "decode/block_decoder.h"
#include "decode/crc16.h"
#include "install/short_path.h"
#include "startup/command_line.h"
#include "startup/entry.h"
#include "startup/settings_block.h"
#include "support/archive_maker.h"
#include "support/packed_writer.h"
#include "support/reference_decoding.h"

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL %s\n", what.c_str());
    }
}

void checkText(const std::string& got, const std::string& expected, const std::string& what) {
    check(got == expected, what + ": got \"" + got + "\", expected \"" + expected + "\"");
}

std::string expanded(const char* text, const char* searchName) {
    char buffer[256];
    copyText(buffer, text, sizeof(buffer));
    expandDirectoryMacro(buffer, sizeof(buffer), searchName);
    return buffer;
}

std::string windowsDirectory() {
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, sizeof(buffer));
    return buffer;
}

std::string systemDirectory() {
    char buffer[MAX_PATH];
    GetSystemDirectoryA(buffer, sizeof(buffer));
    return buffer;
}

bool isDirectory(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void checkTimes() {
    const uint32_t times[] = {0,          1,          86399,      315532799,  315532800,  951782400, 951868799,
                              1700000001, 4107542399, 4107542400, 4107628799, 4294967294, 4294967295};
    for (uint32_t t : times) {
        FileTime fileTime = {0, 0};
        uint64_t expected = uint64_t(t) * 10000000 + 116444736000000000ull;
        check(unixToFileTime(t, &fileTime) == 1, "unixToFileTime " + std::to_string(t));
        check((uint64_t(fileTime.high) << 32 | fileTime.low) == expected, "FILETIME of " + std::to_string(t));
        uint64_t withFraction = expected + 9999999;
        FileTime fractional = {uint32_t(withFraction), uint32_t(withFraction >> 32)};
        uint32_t back = 0;
        check(fileTimeToUnix(&fractional, &back) == 1 && back == t, "back from FILETIME " + std::to_string(t));
    }
    FileTime before1970 = {0, 0};
    uint32_t untouched = 12345;
    check(fileTimeToUnix(&before1970, &untouched) == 0 && untouched == 12345, "FILETIME before 1970 fails");

    struct Zone {
        const char* value;
        uint32_t result;
    } zones[] = {{"JST-9", 1000000 + 32400}, {"EST5EDT", 1000000 - 18000}, {"IST-5:30", 1000000 + 18000}};
    for (const Zone& zone : zones) {
        SetEnvironmentVariableA("TZ", zone.value);
        uint32_t t = 1000000;
        applyTimeZone(&t);
        check(t == zone.result, std::string("TZ ") + zone.value);
    }
    SetEnvironmentVariableA("TZ", 0);
    uint32_t t = 1000000;
    applyTimeZone(&t);
    check(t == 1000000, "TZ unset");
}

void checkMacros() {
    std::string windows = windowsDirectory();
    std::string system = systemDirectory();
    checkText(expanded("%WinDir%\\Fonts", ""), windows + "\\Fonts", "%WinDir%");
    checkText(expanded("%WinRoot%/Apps", ""), windows.substr(0, 2) + "\\Apps", "%WinRoot%");
    checkText(expanded("%SystemDir%", ""), system, "%SystemDir%");
    checkText(expanded("%windir%/x", ""), "%windir%\\x", "wrong case");
    checkText(expanded("%Search%\\x", ""), "%Search%\\x", "%Search% without a name");
    checkText(expanded("%Search%\\no-such-file.xyz", "no-such-file.xyz"), system + "\\no-such-file.xyz",
              "%Search% not found");

    char found[MAX_PATH];
    char* filePart = 0;
    if (SearchPathA(0, "notepad.exe", 0, sizeof(found), found, &filePart)) {
        filePart[-1] = 0;
        checkText(expanded("%Search%\\notepad.exe", "notepad.exe"), std::string(found) + "\\notepad.exe",
                  "%Search% found");
    } else {
        check(false, "notepad.exe is not on the search path");
    }

    char programFiles[256] = "";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        DWORD size = sizeof(programFiles);
        RegQueryValueExA(key, "ProgramFilesDir", 0, 0, reinterpret_cast<BYTE*>(programFiles), &size);
        RegCloseKey(key);
    }
    check(programFiles[0] != 0, "ProgramFilesDir is in the registry");
    checkText(expanded("%ProgramFiles%\\Tool", ""), std::string(programFiles) + "\\Tool", "%ProgramFiles%");
    isWin32s = 1;
    checkText(expanded("%ProgramFiles%\\Tool", ""), windows.substr(0, 2) + "\\Tool", "%ProgramFiles% on Win32s");
    isWin32s = 0;

    SetEnvironmentVariableA("TEMP", "C:\\velkar-temp");
    checkText(expanded("%WORK%\\x", ""), "C:\\velkar-temp\\x", "%WORK% from TEMP");
    SetEnvironmentVariableA("TEMP", 0);
    SetEnvironmentVariableA("TMP", "C:\\velkar-tmp");
    checkText(expanded("%WORK%", ""), "C:\\velkar-tmp", "%WORK% from TMP");
    SetEnvironmentVariableA("TMP", 0);
    RemoveDirectoryA((windows + "\\TEMP").c_str());
    checkText(expanded("%WORK%", ""), windows + "\\TEMP", "%WORK% without TEMP and TMP");
    check(isDirectory(windows + "\\TEMP"), "%WORK% creates <WinDir>\\TEMP");
}

void checkCommandLine() {
    TokenList list = splitCommandLine(skipProgramName(GetCommandLineA()));
    check(list.count == 2, "two tokens behind the program name");
    if (list.count == 2) {
        checkText(list.tokens[0], "-n", "first token");
        checkText(list.tokens[1], "C:\\My Dir", "quoted directory");
    }
    releaseTokens(&list);
    check(osCharLower('N') == 'n' && osCharLower('c') == 'c', "CharLowerA on one character");
}

void writeFile(const char* path, const std::string& bytes) {
    HANDLE out = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    DWORD written = 0;
    WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, 0);
    CloseHandle(out);
}

std::string readFile(const char* path) {
    HANDLE in = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
    char bytes[64];
    DWORD got = 0;
    ReadFile(in, bytes, sizeof(bytes), &got, 0);
    CloseHandle(in);
    return std::string(bytes, got);
}

void checkFiles() {
    CreateDirectoryA("C:\\velkar-check", 0);
    createDirectoryChain("C:/velkar-check/a/b/c.txt");
    check(isDirectory("C:\\velkar-check\\a\\b"), "createDirectoryChain with '/'");

    const char* self = "C:\\velkar-check\\self.exe";
    std::string block(SETTINGS_OFFSET + 300, '\0');
    std::memcpy(&block[SETTINGS_OFFSET + 4], "Checked", 7);
    writeFile(self, block);
    copyText(run->selfPath, self, sizeof(run->selfPath));
    run->settings.flags = 0xFF;
    readSettingsBlock();
    checkText(run->windowTitle, "Checked", "settings block cut short by the end of the file");
    check(run->settings.flags == 0xFF, "bytes behind the end of the file are not read");

    const char* archive = "C:\\velkar-check\\archive.bin";
    std::string member(40000, '\0');
    for (size_t i = 0; i < member.size(); ++i) member[i] = char(i * 7 + (i >> 9));
    writeFile(archive, "HEAD" + member + "NEXT");
    FileHandle file = osOpenRead(archive);
    check(osSeek(file, 4, SEEK_FROM_START) == 4, "_llseek");
    std::string read;
    DecoderState* d = run->decoder;
    d->input = file;
    d->inputPos = 0xFFFFFFFF;
    for (uint32_t left = 40000; left > 0; --left) {
        int byte = nextArchiveByte(d, left);
        if (byte < 0) break;
        read.push_back(char(byte));
    }
    check(read == member, "40,000 bytes through the input buffer");
    check(osSeek(file, 0, SEEK_FROM_CURRENT) == 4 + 40000, "file position behind the member");
    osClose(file);
}

// The fast loop as the stub runs it, with a 32-bit word that it refills
// before every look-up, against the plain decoding: long random streams of
// each method through a real output file, whole and cut short; and a member
// that claims far more than its packed data hold.
void checkFastDecoding() {
    std::mt19937 random(5);
    DecoderState* d = run->decoder;
    auto saved = std::make_unique<DecoderState>();
    const char* archive = "C:\\velkar-check\\packed.bin";
    const char* output = "C:\\velkar-check\\decoded.bin";
    buildCrcTable(&d->crc, CRC16_POLYNOMIAL);
    for (char method : {'4', '5', '6', '7'}) {
        uint32_t unpackedSize = 200000;
        std::string packed = randomStream(method, &unpackedSize, random);
        for (size_t cut : {packed.size(), packed.size() - 1000}) {
            writeFile(archive, packed.substr(0, cut));
            for (uint32_t i = 0; i < WINDOW_SIZE; ++i) d->window[i] = static_cast<unsigned char>(i * 7 >> 3);
            *saved = *d;
            DecodingOutcome outcome[2];
            MemberDecoder decoders[2] = {decodeMember, decodeMemberPlainly};
            const PackedMember member = {static_cast<unsigned char>(method), static_cast<uint32_t>(packed.size()),
                                         unpackedSize};
            for (int k = 0; k < 2; ++k) {
                *d = *saved;
                d->input = osOpenRead(archive);
                d->failure = DECODE_OK;
                resetArchiveInput(d);
                d->output = osCreateOutput(output);
                outcome[k] = recordDecoding(d, decoders[k], member);
                osCloseOutput(d->output);
                osClose(d->input);
            }
            std::string what = std::string("-lh") + method + "- " + (cut == packed.size() ? "whole" : "cut short");
            check(outcome[0] == outcome[1], "fast and plain decodings agree, " + what);
            check(outcome[0].failure == (cut == packed.size() ? DECODE_OK : DECODE_READ_FAILED), "outcome, " + what);
        }
    }

    // A 4 GiB claim over one block of 65,536 copies of a literal that cost
    // no bits: the next block header lies past the packed data, so the
    // decoding stops there with only the first window written.
    BitWriter bits;
    for (auto [value, width] : {std::pair<uint32_t, unsigned>{0, 16}, {0, 5}, {0, 5}, {0, 9}, {'z', 9}, {0, 4}, {0, 4}})
        bits.put(value, width);
    writeFile(archive, bits.bytes());
    d->input = osOpenRead(archive);
    d->failure = DECODE_OK;
    resetArchiveInput(d);
    d->output = osCreateOutput(output);
    decodeMember(d, '5', static_cast<uint32_t>(bits.bytes().size()), 0xFFFFFFFE);
    osCloseOutput(d->output);
    osClose(d->input);
    WIN32_FILE_ATTRIBUTE_DATA written;
    GetFileAttributesExA(output, GetFileExInfoStandard, &written);
    check(d->failure == DECODE_READ_FAILED && written.nFileSizeLow == WINDOW_SIZE,
          "a 4 GiB claim stops with a read failure after one window");
}

uint64_t fileTimeSeconds(const FILETIME& time) {
    return ((uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10000000ull) - 11644473600ull;
}

// A whole extract pass of stored members and a directory with the real file
// calls: contents, the times, the attribute after the CRC matched, a
// read-only file replaced, and the volume's long names.
void checkExtraction() {
    MemberSpec text;
    text.name = "Read Me.txt";
    text.directory =
        "docs\xFF"
        "deep\xFF";
    text.data = "extracted under Wine\r\n";
    text.osId = 'W';
    auto fileTime = [](uint64_t seconds) { return littleEndian((seconds + 11644473600ull) * 10000000ull, 8); };
    text.extended = {{0x40, littleEndian(0x21, 2)},
                     {0x41, fileTime(1000000000) + fileTime(1100000000) + fileTime(1200000000)}};
    MemberSpec folder;
    folder.method = 'd';
    folder.withName = false;
    folder.directory = "empty\xFF";
    const char* self = "C:\\velkar-check\\extract.exe";
    std::string bytes(1024, '\0');
    writeFile(self, bytes + level2Member(text) + level2Member(folder) + std::string(1, '\0'));
    CreateDirectoryA("C:\\velkar-check\\out", 0);
    const char* target = "C:\\velkar-check\\out\\docs\\deep\\Read Me.txt";

    for (int round = 0; round < 2; ++round) {
        std::memset(&run->settings, 0, sizeof(run->settings));
        run->settings.archiveOffset = 1024;
        run->settings.restoreAttributes = 1;
        copyText(run->selfPath, self, sizeof(run->selfPath));
        copyText(run->extractDir, "C:\\velkar-check\\out", sizeof(run->extractDir));
        run->keepNewerFiles = 0;
        run->overwriteWithoutAsking = 1;
        check(walkArchive(0, WalkPass::extract) == 1, "extract pass " + std::to_string(round));
        check(run->longNameVolume == 1, "drive C: has long names");
        HANDLE file = CreateFileA(target, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        // Times first: reading the file moves its last-access time. Wine
        // keeps no creation time of its own on Linux file systems (it reports
        // the last-write time), so that one is a matter for the host tests.
        FILETIME accessed, written;
        GetFileTime(file, 0, &accessed, &written);
        char content[64] = {0};
        DWORD got = 0;
        ReadFile(file, content, sizeof(content) - 1, &got, 0);
        CloseHandle(file);
        checkText(content, "extracted under Wine\r\n", "content of a stored member");
        check(fileTimeSeconds(written) == 1100000000, "last-write time");
        check(fileTimeSeconds(accessed) == 1200000000, "last-access time");
        check(GetFileAttributesA(target) == 0x21, "attribute set after the CRC check (read-only the second time too)");
        check(isDirectory("C:\\velkar-check\\out\\empty"), "directory member");
    }
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
}

// osReplaceFile on the real calls, on the path this platform takes: one
// replacing move on the NT family, the rename aside on Windows 95 and Win32s.
// A swap is whole or refused; a refused one leaves the old file's bytes,
// time and read-only mark, and only the new file under its temporary name.
// A new file held open cannot take the real name, which on the rename aside
// happens after the old file has moved: it must come back.
void checkReplacing(int platform) {
    check(osPlatformId() == platform, "the platform is " + std::to_string(platform));
    const std::string folder = "C:\\velkar-check\\replace";
    const std::string target = folder + "\\old.txt";
    CreateDirectoryA("C:\\velkar-check", 0);
    CreateDirectoryA(folder.c_str(), 0);
    enum Old { none, plain, readOnly, directory, oldHeld, newHeld };
    const struct {
        const char* what;
        Old old;
        bool replaced;
    } cases[] = {{"no old file", none, true},
                 {"an old file", plain, true},
                 {"a read-only old file", readOnly, false},
                 {"a folder", directory, false},
                 {"an old file held open", oldHeld, false},
                 {"the new file held open", newHeld, false}};
    const FILETIME oldTime = {0x2A3B4C00, 0x01C0E5F2};
    for (const auto& c : cases) {
        if (c.old == directory) CreateDirectoryA(target.c_str(), 0);
        if (c.old != none && c.old != directory) {
            writeFile(target.c_str(), "old");
            HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, 0, 0, OPEN_EXISTING, 0, 0);
            SetFileTime(file, 0, 0, &oldTime);
            CloseHandle(file);
        }
        if (c.old == readOnly) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
        char from[MAX_PATH];
        copyText(from, folder.c_str(), sizeof(from));
        FileHandle created = osCreateTempOutput(from, sizeof(from));
        uint32_t written = 0;
        osWrite(created, "new", 3, &written);
        osCloseOutput(created);
        const char* held = c.old == oldHeld ? target.c_str() : c.old == newHeld ? from : 0;
        HANDLE holder =
            held ? CreateFileA(held, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, OPEN_EXISTING, 0, 0)
                 : INVALID_HANDLE_VALUE;
        int replaced = osReplaceFile(from, target.c_str());
        if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);

        std::string what = std::string(c.what) + ": ";
        check(replaced == int(c.replaced), what + (c.replaced ? "replaced" : "refused"));
        DWORD attributes = GetFileAttributesA(target.c_str());
        if (c.old == directory) {
            check(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY), what + "kept");
        } else {
            HANDLE file = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
            char content[8] = {0};
            DWORD got = 0;
            FILETIME time = {0, 0};
            ReadFile(file, content, sizeof(content) - 1, &got, 0);
            GetFileTime(file, 0, 0, &time);
            CloseHandle(file);
            checkText(content, c.replaced ? "new" : "old", what + "content");
            if (!c.replaced) check(CompareFileTime(&time, &oldTime) == 0, what + "the old time kept");
            check(((attributes & FILE_ATTRIBUTE_READONLY) != 0) == (c.old == readOnly), what + "the read-only mark");
        }
        int temporary = 0;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((folder + "\\VLK*.TMP").c_str(), &found);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) ++temporary;
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        check(temporary == (c.replaced ? 0 : 1), what + std::to_string(temporary) + " temporary files");

        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(target.c_str());
        RemoveDirectoryA(target.c_str());
        DeleteFileA(from);
    }

    // The temporary names go on from the last one, past names already taken
    // by a file, which is kept as it was, or by a folder.
    char first[MAX_PATH], next[MAX_PATH];
    copyText(first, folder.c_str(), sizeof(first));
    FileHandle created = osCreateTempOutput(first, sizeof(first));
    osCloseOutput(created);
    unsigned number = 0;
    check(std::sscanf(lastComponent(first), "VLK%x", &number) == 1, std::string("a temporary name: ") + first);
    auto taken = [&](unsigned offset) {
        char name[MAX_PATH];
        GetTempFileNameA(folder.c_str(), "VLK", (number + offset) & 0xFFFF, name);
        return std::string(name);
    };
    CreateDirectoryA(taken(1).c_str(), 0);
    writeFile(taken(2).c_str(), "kept");
    copyText(next, folder.c_str(), sizeof(next));
    created = osCreateTempOutput(next, sizeof(next));
    check(created != INVALID_FILE, "a temporary file past two taken names");
    osCloseOutput(created);
    check(lstrcmpiA(next, taken(3).c_str()) == 0, std::string("the next free name: ") + next);
    checkText(readFile(taken(2).c_str()).c_str(), "kept", "a taken name's file kept");
    RemoveDirectoryA(taken(1).c_str());
    for (const std::string& name : {std::string(first), taken(2), std::string(next)}) DeleteFileA(name.c_str());
}

// Trail bytes 0x5C, 0x2F and 0xFF of double-byte characters are no
// separators, whatever CharPrevA and IsDBCSLeadByte of code page 932 say.
void checkDoubleByteText() {
    check(GetACP() == 932 && osIsLeadByte(0x81), "code page 932 is active");
    char path[64] = "a\x81\x5C/b\x83\x2F\\c\x88\xFF";
    char* last = normaliseSeparators(path, '/');
    checkText(path, "a\x81\x5C/b\x83\x2F/c\x88\xFF", "normaliseSeparators keeps trail bytes");
    checkText(last, "c\x88\xFF", "start of the last component");
    checkText(lastComponent("x:\x81\x5Cy\x83\x2Fz"), "\x81\x5Cy\x83\x2Fz", "lastComponent");
    char directory[64] = "dir\x81\x5C";
    appendSeparator(directory);
    checkText(directory, "dir\x81\x5C/", "appendSeparator after a trail byte 0x5C");
    checkText(expanded("%WinDir%/\x95\x5C", ""), windowsDirectory() + "\\\x95\x5C", "%WinDir% with a DBCS name");
    char extension[8] = ".\x83\x41X";
    osLowerText(extension);
    checkText(extension, ".\x83\x41x", "CharLowerA keeps a trail byte that looks like a capital");
}

// Short paths as the class and group lines hand them on: the system's short
// form of an existing file, the joined long path of a missing one.
void checkShortPaths() {
    CreateDirectoryA("C:\\velkar-check", 0);
    CreateDirectoryA("C:\\velkar-check\\Long Directory Name", 0);
    writeFile("C:\\velkar-check\\Long Directory Name\\program file.exe", "MZ");
    char expected[256];
    GetShortPathNameA("C:\\velkar-check\\Long Directory Name\\program file.exe", expected, sizeof(expected));
    const char* directory = "C:\\velkar-check\\Long Directory Name";
    char path[260] = "program file.exe";
    check(makeShortPath(directory, path, path, SHORT_PATH_CAPACITY) == 1, "makeShortPath");
    checkText(path, expected, "short form of an existing file, in place");
    check(std::strchr(path, ' ') == 0, "the short form has no blank");
    std::strcpy(path, "missing file.exe");
    makeShortPath(directory, path, path, SHORT_PATH_CAPACITY);
    checkText(path, "C:\\velkar-check\\Long Directory Name\\missing file.exe", "a missing file keeps its long path");
}

}  // namespace

int main() {
    allocateRun();
    const char* replace = std::strstr(GetCommandLineA(), "--replace=");
    if (std::strstr(GetCommandLineA(), "--dbcs")) {
        checkDoubleByteText();
    } else if (replace) {
        checkReplacing(std::atoi(replace + 10));
    } else {
        checkTimes();
        checkMacros();
        checkCommandLine();
        checkFiles();
        checkFastDecoding();
        checkExtraction();
        checkShortPaths();
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
