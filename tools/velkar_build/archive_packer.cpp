#include "tools/velkar_build/archive_packer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>

#include "archive/member_header.h"
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
    buildCrcTable(&crcTables_, CRC16_POLYNOMIAL);
    crcTables_.value = 0;
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
        addMember(fields, 0, nullptr, path);
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

void ArchivePacker::addMember(const MemberFields& fields, uint64_t size, std::function<lzh::ByteReader()> open,
                              const std::string& what) {
    Member member;
    member.fields = fields;
    if (fields.method != 'd')
        member.fields.method = lzh::methodFor(settings_.method) && size > 0 ? settings_.method : '0';
    member.size = size;
    member.open = std::move(open);
    member.what = what;
    members_.push_back(std::move(member));
}

// A member's packed bytes, kept in memory up to a limit and in a scratch
// file beyond it, so that a worker's memory stays bounded whatever
// the member's size.
class SpillBuffer {
public:
    ~SpillBuffer() {
        if (spill_) std::fclose(spill_);
    }
    void append(const uint8_t* bytes, size_t size) {
        size_t inMemory = std::min(size, MEMORY_LIMIT - memory_.size());
        memory_.insert(memory_.end(), bytes, bytes + inMemory);
        if (inMemory == size) return;
        if (!spill_ && !(spill_ = scratchFile()))
            throw std::runtime_error(std::string("no temporary file for packed bytes: ") + std::strerror(errno));
        if (std::fwrite(bytes + inMemory, 1, size - inMemory, spill_) != size - inMemory)
            throw std::runtime_error(std::string("cannot write a temporary file: ") + std::strerror(errno));
    }
    // Hands every byte, in order, to write.
    template <typename Write>
    void replay(Write write) {
        write(memory_.data(), memory_.size());
        if (!spill_) return;
        if (std::fflush(spill_) != 0 || std::fseek(spill_, 0, SEEK_SET) != 0)
            throw std::runtime_error(std::string("cannot read a temporary file: ") + std::strerror(errno));
        std::vector<uint8_t> piece(COPY_PIECE);
        for (size_t n; (n = std::fread(piece.data(), 1, piece.size(), spill_)) > 0;) write(piece.data(), n);
        if (std::ferror(spill_)) throw std::runtime_error("cannot read a temporary file");
    }
    void clear() {
        memory_.clear();
        memory_.shrink_to_fit();
        if (spill_) std::fclose(spill_);
        spill_ = nullptr;
    }

private:
    static const size_t MEMORY_LIMIT = 1u << 20;
    std::vector<uint8_t> memory_;
    std::FILE* spill_ = nullptr;
};

// What a worker made of a member: its packed bytes with their CRC, or word
// that it is to be stored, or the failure to report when its turn comes.
struct ArchivePacker::Packed {
    std::atomic<bool> done{false};
    bool stored = true;
    uint16_t crc = 0;
    uint64_t packedBytes = 0;
    SpillBuffer bytes;
    std::exception_ptr failure;
};

// Runs on a worker: reads nothing shared but the CRC table and settings.
void ArchivePacker::pack(const Member& member, Packed& packed) const {
    const lzh::Method* method = lzh::methodFor(member.fields.method);
    if (!method) return;
    uint64_t size = member.size;
    uint64_t read = 0;
    lzh::ByteReader source = member.open();
    Crc16 crc = crcTables_;
    lzh::EncodeResult result = lzh::encodeStream(
        *method, settings_.effort,
        [&](uint8_t* into, size_t room) {
            size_t n = source(into, room);
            crcFeed(&crc, into, static_cast<int32_t>(n));
            read += n;
            return n;
        },
        // Archivers store what packing does not shrink; so do we, and give up
        // early on a member whose first quarter has not shrunk.
        [&](const uint8_t* bytes, size_t n, uint64_t covered) {
            packed.bytes.append(bytes, n);
            packed.packedBytes += n;
            return packed.packedBytes < size && (packed.packedBytes < covered || covered < size / 4);
        });
    if (result.stopped || result.packedBytes >= size) {
        packed.bytes.clear();
        return;
    }
    if (read != size) throw std::runtime_error(member.what + ": changed while it was packed");
    packed.crc = crc.value;
    packed.stored = false;
}

// Runs on the thread that called finish(), member by member in order.
void ArchivePacker::writeMember(Member& member, Packed& packed) {
    if (packed.failure) std::rethrow_exception(packed.failure);
    MemberFields& fields = member.fields;
    if (fields.method == 'd') {
        std::vector<unsigned char> header = level2Header(fields);
        write(header.data(), header.size());
        ++memberCount_;
        return;
    }
    fields.unpackedSize = static_cast<uint32_t>(member.size);
    uint64_t headerPos = tell();
    std::vector<unsigned char> header = level2Header(fields);
    write(header.data(), header.size());
    if (packed.stored) {
        // The CRC comes from this reading: the bytes written are the ones it covers.
        fields.method = '0';
        Crc16 crc = crcTables_;
        uint64_t read = 0;
        lzh::ByteReader reader = member.open();
        std::vector<uint8_t> piece(COPY_PIECE);
        for (size_t n; (n = reader(piece.data(), piece.size())) > 0;) {
            crcFeed(&crc, piece.data(), static_cast<int32_t>(n));
            read += n;
            write(piece.data(), n);
        }
        if (read != member.size) throw std::runtime_error(member.what + ": changed while it was packed");
        fields.packedSize = static_cast<uint32_t>(read);
        fields.dataCrc = crc.value;
    } else {
        packed.bytes.replay([this](const uint8_t* bytes, size_t n) { write(bytes, n); });
        fields.packedSize = static_cast<uint32_t>(packed.packedBytes);
        fields.dataCrc = packed.crc;
    }
    uint64_t endPos = tell();
    seek(headerPos);
    header = level2Header(fields);
    write(header.data(), header.size());
    seek(endPos);
    crcXor_ ^= fields.dataCrc;
    ++memberCount_;
}

// Workers take members in order but may finish them in any order; this
// thread writes each when its turn comes. A worker takes a turn before it
// starts a member and this thread gives one back after writing one, so no
// worker runs more than a window ahead and memory stays bounded by the
// worker count, not by the tree. Sixteen turns a worker let the others go on
// past a large member: with two, they waited for it and two workers packed
// a tree of real files at 1.5 times one's speed instead of 1.8.
void ArchivePacker::finish() {
    unsigned workerCount = std::max(1u, settings_.jobs);
    size_t count = members_.size();
    std::vector<Packed> packed(count);
    std::atomic<size_t> nextToPack(0);
    std::atomic<bool> stopping(false);
    std::atomic<uint64_t> bytesRead(0);
    Semaphore turns(16 * workerCount);
    // Given once for every member packed; the writer looks again after each.
    Semaphore finished(0);

    auto work = [&] {
        for (;;) {
            turns.acquire();
            if (stopping) return;
            size_t index = nextToPack++;
            if (index >= count) return;
            try {
                pack(members_[index], packed[index]);
            } catch (...) {
                packed[index].failure = std::current_exception();
            }
            bytesRead += members_[index].size;
            packed[index].done = true;
            finished.release();
        }
    };
    Threads workers;
    // A turn for each worker, so that every waiting one wakes and sees the stop.
    auto stopWorkers = [&] {
        stopping = true;
        turns.release(workerCount);
        workers.join();
    };
    try {
        for (unsigned i = 0; i < workerCount; ++i) workers.start(work);
        for (size_t next = 0; next < count; ++next) {
            while (!packed[next].done) {
                finished.acquire(100);
                if (settings_.progress) settings_.progress(bytesRead);
            }
            writeMember(members_[next], packed[next]);
            packed[next].bytes.clear();
            turns.release();
        }
    } catch (...) {
        stopWorkers();
        throw;
    }
    stopWorkers();
    if (settings_.progress) settings_.progress(bytesRead);
    members_.clear();
    const unsigned char end[2] = {0, 0};
    write(end, sizeof(end));
    // A member stored after a packing that ran longer leaves stale bytes
    // behind the end.
    uint64_t length = tell();
    if (std::fflush(out_) != 0 || !truncateFile(out_, length))
        throw std::runtime_error(outName_ + ": cannot be written: " + std::strerror(errno));
}
