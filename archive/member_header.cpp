#include "archive/member_header.h"

#include "archive/errors.h"
#include "archive/time_convert.h"
#include "common/byte_order.h"
#include "common/run_state.h"
#include "common/text_ops.h"
#include "decode/crc16.h"
#include "decode/decoder_state.h"

static int isMethodLetter(unsigned char letter) {
    if (letter == STORED_METHOD || letter == DIRECTORY_METHOD) return 1;
    for (const LzhMethod& method : LZH_METHODS)
        if (letter == static_cast<unsigned char>(method.digit)) return 1;
    return 0;
}

// Attribute and FILETIME headers are trusted only from systems that write
// them with Windows meanings.
static int hasWindowsFields(unsigned char osId) { return osId == 'M' || osId == 'W' || osId == 'w'; }

void releaseMemberHeader() {
    if (run->header->raw) osFree(run->header->raw);
    run->header->raw = 0;
}

static void readFileTimes(const unsigned char* data, MemberHeader* header) {
    FileTime times[3];
    for (int i = 0; i < 3; ++i) {
        times[i].low = readLittle32(data + 8 * i);
        times[i].high = readLittle32(data + 8 * i + 4);
    }
    fileTimeToUnix(&times[0], &header->creationTime);
    fileTimeToUnix(&times[1], &header->lastWriteTime);
    fileTimeToUnix(&times[2], &header->lastAccessTime);
}

static int parseBaseHeader(const unsigned char* raw, MemberHeader* header) {
    const unsigned char* id = raw + METHOD_ID_POS;
    if (id[0] != '-' || id[1] != 'l' || id[2] != 'h' || id[4] != '-' || !isMethodLetter(id[3])) return 0;
    // Levels 0 and 1 put other fields at these offsets; read as level 2 they
    // would be taken apart at random.
    if (raw[LEVEL_POS] != HEADER_LEVEL) return 0;
    header->method = raw[METHOD_LETTER_POS];
    header->packedSize = readLittle32(raw + PACKED_SIZE_POS);
    header->unpackedSize = readLittle32(raw + UNPACKED_SIZE_POS);
    header->timeStamp = readLittle32(raw + TIME_STAMP_POS);
    header->attribute = raw[ATTRIBUTE_POS];
    header->dataCrc = readLittle16(raw + DATA_CRC_POS);
    header->osId = raw[OS_ID_POS];
    header->creationTime = header->timeStamp;
    header->lastAccessTime = header->timeStamp;
    header->lastWriteTime = header->timeStamp;
    return 1;
}

// Every extended header must lie wholly inside the header, and a field is
// read only when its data are long enough for it; anything else is a broken
// header, never a read beyond the buffer.
static int parseExtendedHeaders(const unsigned char* raw, MemberHeader* header) {
    int sawCrc = 0;
    int sawName = 0;
    header->dirNameLength = 0;
    header->fileNameLength = 0;
    uint32_t sizePos = FIRST_EXTENDED_SIZE_POS;
    uint32_t size = readLittle16(raw + sizePos);
    while (size != 0) {
        if (size < EXTENDED_OVERHEAD || size > header->headerSize - sizePos - 2) return 0;
        uint32_t dataPos = sizePos + 3;
        uint32_t dataLength = size - EXTENDED_OVERHEAD;
        switch (raw[sizePos + 2]) {
        case EXTENDED_HEADER_CRC:
            if (dataLength < 2) return 0;
            header->headerCrc = readLittle16(raw + dataPos);
            header->headerCrcPos = dataPos;
            sawCrc = 1;
            break;
        case EXTENDED_FILE_NAME:
            header->fileNamePos = dataPos;
            header->fileNameLength = dataLength;
            sawName = 1;
            break;
        case EXTENDED_DIRECTORY_NAME:
            header->dirNamePos = dataPos;
            header->dirNameLength = dataLength;
            break;
        case EXTENDED_ATTRIBUTE:
            if (!hasWindowsFields(header->osId)) break;
            if (dataLength < 2) return 0;
            header->attribute = readLittle16(raw + dataPos);
            break;
        case EXTENDED_FILE_TIMES:
            if (!hasWindowsFields(header->osId)) break;
            if (dataLength < 24) return 0;
            readFileTimes(raw + dataPos, header);
            break;
        case 0x42:
            // 64-bit packed and original sizes, written for files of 4 GiB
            // and more. Their low halves alone would unpack a different
            // file, and the walk would lose its place behind it.
            if (dataLength < 16 || readLittle32(raw + dataPos + 4) != 0 || readLittle32(raw + dataPos + 12) != 0)
                return 0;
            break;
        }
        sizePos += size;
        size = readLittle16(raw + sizePos);
    }
    // Only a directory entry may come without a file name.
    return sawCrc && (sawName || header->method == 'd');
}

int parseMemberHeader(unsigned char* raw, uint32_t size, MemberHeader* header) {
    header->raw = raw;
    header->headerSize = size;
    return size >= BASE_HEADER_SIZE && parseBaseHeader(raw, header) && parseExtendedHeaders(raw, header);
}

// The CRC field counts as zero in the header's own CRC.
static int headerCrcMatches() {
    MemberHeader& header = *run->header;
    header.raw[header.headerCrcPos] = 0;
    header.raw[header.headerCrcPos + 1] = 0;
    Crc16* crc = &run->decoder->crc;
    crc->value = 0;
    return crcFeed(crc, header.raw, static_cast<int32_t>(header.headerSize)) == header.headerCrc;
}

static int isPathSeparator(char c) { return c == '/' || c == '\\' || c == '\xFF'; }

// The name is copied behind the directory, as the archive lays them out. Some
// packers leave out the directory's closing separator; one is put in, so
// that the name does not run into the last directory. A path that does not
// fit memberPath is refused, since a cut name would be written as a
// different file, and so is a directory with a zero byte inside, which would
// leave the bytes of the previous path between the two.
static int buildMemberPath() {
    const MemberHeader& header = *run->header;
    char* path = run->memberPath;
    const unsigned char* dirName = header.raw + header.dirNamePos;
    uint32_t dirLength = header.dirNameLength;
    if (dirLength >= sizeof(run->memberPath)) return reportBadHeader();
    for (uint32_t i = 0; i < dirLength; ++i) {
        if (!dirName[i]) return reportBadHeader();
        path[i] = static_cast<char>(dirName[i]);
    }
    path[dirLength] = 0;
    if (dirLength != 0 && !isPathSeparator(*osCharPrev(path, path + dirLength))) path[dirLength++] = '/';
    if (dirLength + header.fileNameLength >= sizeof(run->memberPath)) return reportBadHeader();
    char* name = path + dirLength;
    const unsigned char* fileName = header.raw + header.fileNamePos;
    uint32_t n = 0;
    for (; n < header.fileNameLength && fileName[n]; ++n) name[n] = static_cast<char>(fileName[n]);
    name[n] = 0;
    normaliseSeparators(path, '/');
    return 1;
}

// The size field is read as a signed 16-bit number, and a negative one is
// reported as the allocation it would have needed: "Not enough memory".
HeaderRead readMemberHeader() {
    releaseMemberHeader();
    unsigned char sizeBytes[2];
    if (osRead(run->archiveHandle, sizeBytes, 2) != 2) return HeaderRead::endOfArchive;
    int32_t size = static_cast<int16_t>(readLittle16(sizeBytes));
    if (size == 0) return HeaderRead::endOfArchive;
    if (size < 0) {
        showNotEnoughMemory();
        run->failureFlag = 1;
        return HeaderRead::failed;
    }
    if (static_cast<uint32_t>(size) < BASE_HEADER_SIZE) {
        reportBadHeader();
        return HeaderRead::failed;
    }
    unsigned char* raw = static_cast<unsigned char*>(osAllocZeroed(static_cast<uint32_t>(size)));
    if (!raw) {
        showNotEnoughMemory();
        run->failureFlag = 1;
        return HeaderRead::failed;
    }
    run->header->raw = raw;
    writeLittle16(raw, static_cast<uint16_t>(size));
    if (osRead(run->archiveHandle, raw + 2, static_cast<uint32_t>(size) - 2) != size - 2 ||
        !parseMemberHeader(raw, static_cast<uint32_t>(size), run->header) || !headerCrcMatches()) {
        reportBadHeader();
        return HeaderRead::failed;
    }
    return buildMemberPath() ? HeaderRead::read : HeaderRead::failed;
}
