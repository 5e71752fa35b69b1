// Bits packed from the top of each byte down, as the decoder takes them.
#pragma once

#include <cstdint>
#include <vector>

namespace lzh {

class BitOutput {
public:
    // value holds the bits in its low `count` bits (count <= 24), the first
    // one to be read highest.
    void put(uint32_t value, unsigned count) {
        pending_ = (pending_ << count) | (value & ((1u << count) - 1));
        pendingCount_ += count;
        while (pendingCount_ >= 8) {
            pendingCount_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(pending_ >> pendingCount_));
        }
    }
    // Pads the last byte with zero bits, which the decoder never reads as
    // symbols: the member ends by its size.
    void finish() {
        if (pendingCount_ > 0) put(0, 8 - pendingCount_);
    }
    // Hands over the whole bytes written so far.
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    uint64_t pending_ = 0;
    unsigned pendingCount_ = 0;
    std::vector<uint8_t> bytes_;
};

}  // namespace lzh
