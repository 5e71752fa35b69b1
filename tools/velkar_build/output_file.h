// The output written beside its final name and renamed into place only when
// complete, so that a failure never leaves a partial file under that name.
#pragma once

#include <cstdio>
#include <string>

class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();  // removes the temporary file unless commit() succeeded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    std::FILE* file() { return file_; }
    const std::string& path() const { return path_; }
    // Sets the PE CheckSum at fieldOffset for the file as written so far.
    void updateChecksum(uint32_t fieldOffset);
    // Flushes, closes and renames; throws std::runtime_error on a failure.
    void commit();

private:
    std::string path_;
    std::string temporary_;
    std::FILE* file_ = nullptr;
};
