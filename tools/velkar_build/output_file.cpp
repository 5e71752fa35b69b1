#include "tools/velkar_build/output_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/byte_order.h"
#include "devtools/stub_layout/pe_move.h"
#include "tools/velkar_build/system.h"

OutputFile::OutputFile(const std::string& path) : path_(path) {
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temporary_ = path + ".tmp-" + std::to_string(processId()) + "-" + std::to_string(attempt);
        file_ = createNewFile(temporary_);
        if (!file_ && errno != EEXIST) throw std::runtime_error(path + ": cannot be written: " + std::strerror(errno));
    }
    if (!file_) throw std::runtime_error(path + ": cannot be written: no free temporary name beside it");
}

OutputFile::~OutputFile() {
    if (file_) {
        std::fclose(file_);
        removeFile(temporary_);
    }
}

void OutputFile::updateChecksum(uint32_t fieldOffset) {
    std::vector<uint8_t> piece(1 << 16);
    uint32_t sum = 0;
    uint64_t length = 0;
    if (std::fflush(file_) != 0 || std::fseek(file_, 0, SEEK_SET) != 0)
        throw std::runtime_error(path_ + ": cannot be read back: " + std::strerror(errno));
    for (size_t n; (n = std::fread(piece.data(), 1, piece.size(), file_)) > 0; length += n) {
        for (size_t i = 0; i < n; ++i)
            if (length + i >= fieldOffset && length + i < fieldOffset + 4) piece[i] = 0;
        sum = checksumAdd(sum, piece.data(), n);
    }
    unsigned char field[4];
    writeLittle32(field, checksumFinish(sum, length));
    if (std::ferror(file_) || fseeko(file_, fieldOffset, SEEK_SET) != 0 || std::fwrite(field, 1, 4, file_) != 4 ||
        std::fseek(file_, 0, SEEK_END) != 0)
        throw std::runtime_error(path_ + ": cannot be written: " + std::strerror(errno));
}

void OutputFile::commit() {
    bool flushed = std::fflush(file_) == 0 && syncToDisk(file_);
    int error = errno;
    bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed || !replaceFile(temporary_, path_)) {
        if (flushed && closed) error = errno;
        removeFile(temporary_);
        throw std::runtime_error(path_ + ": cannot be written: " + std::strerror(error));
    }
}
