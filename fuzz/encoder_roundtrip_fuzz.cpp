// Our encoder and the stub's decoder together: any bytes packed must come
// back unchanged. The first byte picks the method (-lh5-, -lh6-, -lh7-) and
// the effort; the rest is the data.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "encode/lzh_encoder.h"
#include "tools/velkar_build/member_check.h"

namespace {

std::string scratchPath(const char* what) {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(folder) + "/velkar-fuzz-" + what + "-" + std::to_string(getpid());
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        uint8_t piece[65536];
        for (size_t n; (n = std::fread(piece, 1, sizeof(piece), file)) > 0;)
            bytes.insert(bytes.end(), piece, piece + n);
        std::fclose(file);
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const char digits[] = {'5', '6', '7'};
    char digit = digits[(data[0] & 0x7F) % 3];
    lzh::Effort effort = (data[0] & 0x80) ? lzh::Effort::best : lzh::Effort::normal;
    const uint8_t* input = data + 1;
    size_t inputSize = size - 1;
    std::vector<uint8_t> packed = lzh::encodeBytes(*lzh::methodFor(digit), effort, input, inputSize);

    static const std::string packedPath = scratchPath("packed");
    static const std::string unpackedPath = scratchPath("unpacked");
    std::FILE* file = std::fopen(packedPath.c_str(), "wb");
    if (!file) std::abort();
    if (!packed.empty()) std::fwrite(packed.data(), 1, packed.size(), file);
    std::fclose(file);
    uint16_t crc = 0;
    MemberData member = {digit, 0, static_cast<uint32_t>(packed.size()), static_cast<uint32_t>(inputSize)};
    if (!decodeWithStub(packedPath, member, &crc, unpackedPath)) std::abort();
    std::vector<uint8_t> unpacked = readAll(unpackedPath);
    if (unpacked.size() != inputSize || (inputSize && std::memcmp(unpacked.data(), input, inputSize) != 0))
        std::abort();
    return 0;
}
