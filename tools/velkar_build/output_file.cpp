#include "tools/velkar_build/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "common/byte_order.h"
#include "tools/stub_layout/pe_move.h"

OutputFile::OutputFile(const std::string& path) : path_(path) {
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
        temporary_ = path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
        int fd = open(temporary_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            throw std::runtime_error(path + ": cannot be written: " + std::strerror(errno));
        }
        file_ = fdopen(fd, "w+b");
        if (!file_) {
            close(fd);
            unlink(temporary_.c_str());
            throw std::runtime_error(path + ": cannot be written: " + std::strerror(errno));
        }
    }
    if (!file_) throw std::runtime_error(path + ": cannot be written: no free temporary name beside it");
}

OutputFile::~OutputFile() {
    if (file_) {
        std::fclose(file_);
        unlink(temporary_.c_str());
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
    bool flushed = std::fflush(file_) == 0 && fsync(fileno(file_)) == 0;
    int error = errno;
    bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!flushed || !closed || std::rename(temporary_.c_str(), path_.c_str()) != 0) {
        if (flushed && closed) error = errno;
        unlink(temporary_.c_str());
        throw std::runtime_error(path_ + ": cannot be written: " + std::strerror(error));
    }
}
