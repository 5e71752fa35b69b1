#include "tools/velkar_build/archive_packer.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "archive/member_header.h"
#include "decode/crc16.h"
#include "tools/terminal_text.h"
#include "tools/velkar_build/code_page.h"
#include "tools/velkar_build/member_writer.h"
#include "tools/velkar_build/system.h"

namespace {

const unsigned char ATTRIBUTE_READ_ONLY = 0x01;
const unsigned char ATTRIBUTE_DIRECTORY = 0x10;
const unsigned char ATTRIBUTE_ARCHIVE = 0x20;
const uint64_t MAX_MEMBER_SIZE = 0xFFFFFFFF;  // the header's sizes are 32 bits
const size_t MAX_MEMBER_PATH = 259;           // the stub's member path holds 260 bytes with its end
const size_t COPY_PIECE = 65536;

// Bytes that Windows refuses in a name, and 0xFF, which the stub reads as
// a separator; the trail byte of a double-byte character is never one.
bool forbiddenByte(unsigned char byte) {
    return byte < 0x20 || byte == 0xFF || std::strchr("\\:*?\"<>|", byte) != nullptr;
}

uint32_t clampedSeconds(int64_t seconds) {
    if (seconds < 0) return 0;
    return seconds > 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<uint32_t>(seconds);
}

// A file's three times and its attribute; returns its size.
uint64_t fillFromFile(const std::filesystem::path& path, bool directory, MemberFields* fields) {
    FileFacts facts = fileFacts(path);
    fields->timeStamp = clampedSeconds(facts.modifiedSeconds);
    fields->lastWriteTime = facts.lastWriteTime;
    fields->lastAccessTime = facts.lastAccessTime;
    fields->creationTime = facts.creationTime;
    if (directory) fields->attribute = ATTRIBUTE_DIRECTORY;
    else fields->attribute = facts.readOnly ? ATTRIBUTE_READ_ONLY : ATTRIBUTE_ARCHIVE;
    return facts.size;
}

}  // namespace

ArchivePacker::ArchivePacker(std::FILE* out, std::string outName, const PackSettings& settings)
    : out_(out), outName_(std::move(outName)), settings_(settings) {
    fillCrcTable(crcTable_, CRC16_POLYNOMIAL);
}

void ArchivePacker::write(const void* bytes, size_t size) {
    if (size && std::fwrite(bytes, 1, size, out_) != size)
        throw std::runtime_error(outName_ + ": cannot be written: " + std::strerror(errno));
}

uint64_t ArchivePacker::tell() {
    off_t position = ftello(out_);
    if (position < 0) throw std::runtime_error(outName_ + ": " + std::strerror(errno));
    return static_cast<uint64_t>(position);
}

void ArchivePacker::seek(uint64_t position) {
    if (fseeko(out_, static_cast<off_t>(position), SEEK_SET) != 0)
        throw std::runtime_error(outName_ + ": " + std::strerror(errno));
}

ArchivePacker::Names ArchivePacker::archiveNames(const std::string& utf8Name, bool directory) const {
    std::string converted;
    if (!toCodePage(utf8Name, settings_.codePage, &converted))
        throw std::runtime_error(utf8Name + ": the name cannot be written in code page " +
                                 std::to_string(settings_.codePage));
    for (size_t i = 0; i < converted.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(converted[i]);
        if (isLeadByte(settings_.codePage, byte)) {
            ++i;
            continue;
        }
        if (forbiddenByte(byte))
            throw std::runtime_error(terminalText(utf8Name) +
                                     ": the name holds a character that Windows does not take in names");
    }
    if (converted.size() + (directory ? 1 : 0) > MAX_MEMBER_PATH)
        throw std::runtime_error(utf8Name + ": the name is longer than the " + std::to_string(MAX_MEMBER_PATH) +
                                 " bytes a Velkar file can unpack");
    Names names;
    size_t slash = directory ? converted.size() : converted.rfind('/');
    if (slash == std::string::npos) {
        names.fileName = converted;
        return names;
    }
    names.fileName = directory ? std::string() : converted.substr(slash + 1);
    for (size_t i = 0; i < slash; ++i) {
        unsigned char byte = static_cast<unsigned char>(converted[i]);
        bool lead = isLeadByte(settings_.codePage, byte);
        names.directory += converted[i];
        if (lead && i + 1 < slash) {
            names.directory += converted[++i];
        } else if (byte == '/') {
            names.directory.back() = static_cast<char>(DIRECTORY_SEPARATOR);
        }
    }
    names.directory += static_cast<char>(DIRECTORY_SEPARATOR);
    return names;
}

void ArchivePacker::addReserved(const std::string& name, const std::string& bytes) {
    MemberFields fields;
    fields.fileName = name;
    fields.timeStamp = clampedSeconds(time(nullptr));
    fields.lastWriteTime = fields.creationTime = fields.lastAccessTime = unixToFileTimeValue(fields.timeStamp, 0);
    auto text = std::make_shared<std::string>(bytes);
    addMember(
        fields, bytes.size(),
        [text] {
            auto offset = std::make_shared<size_t>(0);
            return lzh::ByteReader([text, offset](uint8_t* into, size_t room) {
                size_t n = std::min(room, text->size() - *offset);
                std::memcpy(into, text->data() + *offset, n);
                *offset += n;
                return n;
            });
        },
        name);
}

void ArchivePacker::addEntry(const SourceEntry& entry) {
    Names names = archiveNames(entry.name, entry.directory);
    MemberFields fields;
    fields.fileName = names.fileName;
    fields.directory = names.directory;
    std::string path = utf8Of(entry.path);
    uint64_t size = fillFromFile(entry.path, entry.directory, &fields);
    if (entry.directory) {
        fields.method = 'd';
        std::vector<unsigned char> header = level2Header(fields);
        write(header.data(), header.size());
        ++memberCount_;
        return;
    }
    if (size > MAX_MEMBER_SIZE)
        throw std::runtime_error(path + ": is 4 GiB or larger; an LZH member holds less than 4 GiB");
    std::filesystem::path source = entry.path;
    addMember(
        fields, size,
        [source, path] {
            std::shared_ptr<std::FILE> file(openForReading(source), [](std::FILE* f) {
                if (f) std::fclose(f);
            });
            if (!file) throw std::runtime_error(path + ": cannot be read: " + std::strerror(errno));
            return lzh::ByteReader([file, path](uint8_t* into, size_t room) {
                size_t n = std::fread(into, 1, room, file.get());
                if (n == 0 && std::ferror(file.get())) throw std::runtime_error(path + ": cannot be read");
                return n;
            });
        },
        path);
}

void ArchivePacker::addMember(MemberFields fields, uint64_t size, const std::function<lzh::ByteReader()>& open,
                              const std::string& what) {
    fields.unpackedSize = static_cast<uint32_t>(size);
    const lzh::Method* method = lzh::methodFor(settings_.method);
    fields.method = method && size > 0 ? settings_.method : '0';
    uint64_t headerPos = tell();
    std::vector<unsigned char> header = level2Header(fields);
    write(header.data(), header.size());
    uint64_t dataPos = tell();

    uint16_t crc = 0;
    uint64_t read = 0;
    uint64_t progressStart = progressDone_;
    auto counting = [&](const lzh::ByteReader& reader, bool progress) {
        return [&, reader, progress](uint8_t* into, size_t room) {
            size_t n = reader(into, room);
            crc = crcUpdate(crcTable_, crc, into, static_cast<uint32_t>(n));
            read += n;
            if (progress && settings_.progress) settings_.progress(progressStart + read);
            return n;
        };
    };
    bool stored = fields.method == '0';
    if (!stored) {
        uint64_t packed = 0;
        // Archivers store what packing does not shrink; so do we, and give up
        // early on a member whose first quarter has not shrunk.
        lzh::EncodeResult result = lzh::encodeStream(
            *method, settings_.effort, counting(open(), true), [&](const uint8_t* bytes, size_t n, uint64_t covered) {
                write(bytes, n);
                packed += n;
                return packed < size && (packed < covered || covered < size / 4);
            });
        if (result.stopped || result.packedBytes >= size) {
            stored = true;
        } else {
            fields.packedSize = static_cast<uint32_t>(result.packedBytes);
        }
    }
    if (stored) {
        seek(dataPos);
        crc = 0;
        read = 0;
        fields.method = '0';
        lzh::ByteReader reader = counting(open(), true);
        std::vector<uint8_t> piece(COPY_PIECE);
        for (size_t n; (n = reader(piece.data(), piece.size())) > 0;) write(piece.data(), n);
        fields.packedSize = static_cast<uint32_t>(read);
    }
    if (read != size) throw std::runtime_error(what + ": changed while it was packed");
    progressDone_ = progressStart + size;
    fields.dataCrc = crc;
    uint64_t endPos = tell();
    seek(headerPos);
    header = level2Header(fields);
    write(header.data(), header.size());
    seek(endPos);
    crcXor_ ^= crc;
    ++memberCount_;
}

void ArchivePacker::finish() {
    const unsigned char end[2] = {0, 0};
    write(end, sizeof(end));
    // A member stored after a packing that ran longer leaves stale bytes
    // behind the end.
    uint64_t length = tell();
    if (std::fflush(out_) != 0 || !truncateFile(out_, length))
        throw std::runtime_error(outName_ + ": cannot be written: " + std::strerror(errno));
}
