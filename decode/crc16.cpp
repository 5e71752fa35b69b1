#include "decode/crc16.h"

// 64-bit x86 hosts fold the CRC with carry-less multiplication where the
// processor has it; the stub, for processors without it, keeps the tables.
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define CRC_FOLDING 1
#else
#define CRC_FOLDING 0
#endif

void fillCrcTable(uint16_t* table, uint16_t polynomial) {
    for (uint32_t i = 0; i < 256; ++i) {
        uint16_t v = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ polynomial) : static_cast<uint16_t>(v >> 1);
        table[i] = v;
    }
}

uint16_t crcUpdate(const uint16_t* table, uint16_t crc, const unsigned char* bytes, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) crc = table[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Slice k gives a byte's share of the register k + 1 bytes further on.
void buildCrcTable(Crc16* crc, uint16_t polynomial) {
    fillCrcTable(crc->table, polynomial);
    const uint16_t* previous = crc->table;
    for (unsigned k = 0; k < 7; ++k) {
        for (uint32_t i = 0; i < 256; ++i)
            crc->slices[k][i] = static_cast<uint16_t>((previous[i] >> 8) ^ crc->table[previous[i] & 0xFF]);
        previous = crc->slices[k];
    }
}

#if CRC_FOLDING
namespace {

// x^power modulo the polynomial (x^16 + x^15 + x^2 + 1, 0xA001 reflected), in
// the bit order a reflected CRC loads bytes in: bit k of the 64-bit operand
// stands for x^(63 - k).
constexpr uint64_t reflectedPowerOfX(uint32_t power) {
    uint32_t r = 1;
    for (uint32_t i = 0; i < power; ++i) {
        r <<= 1;
        if (r & 0x10000) r ^= 0x18005;
    }
    uint64_t reflected = 0;
    for (int d = 0; d < 16; ++d)
        if ((r >> d) & 1) reflected |= uint64_t(1) << (63 - d);
    return reflected;
}

// The 128 bits in a register stand for a polynomial R whose remainder is the
// CRC's so far. Moving R past the next n bits (R * x^n, reduced) multiplies
// its halves by x^(n+64) and x^n modulo the polynomial; a reflected
// multiplication adds one x of its own, hence the one less.
template <uint32_t bits>
__attribute__((target("pclmul,sse2"))) inline __m128i foldPast(__m128i r) {
    // Worked out by the compiler even where it does not optimise.
    constexpr uint64_t low = reflectedPowerOfX(bits - 1), high = reflectedPowerOfX(bits + 63);
    const __m128i k = _mm_set_epi64x(static_cast<long long>(low), static_cast<long long>(high));
    return _mm_xor_si128(_mm_clmulepi64_si128(r, k, 0x00), _mm_clmulepi64_si128(r, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Four registers take 64 bytes a round, each moved past the 512 bits of the
// round; then they are folded into one, and its 16 bytes, which leave the
// same remainder as everything before them, go through the table. The
// running value meets the first two bytes, as it does in the table's way.
__attribute__((target("pclmul,sse2"))) uint16_t crcFolded(const uint16_t* table, uint16_t crc,
                                                          const unsigned char* bytes, uint32_t length) {
    __m128i r0 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(crc));
    __m128i r1 = load(bytes + 16), r2 = load(bytes + 32), r3 = load(bytes + 48);
    uint32_t at = 64;
    for (; at + 64 <= length; at += 64) {
        r0 = _mm_xor_si128(foldPast<512>(r0), load(bytes + at));
        r1 = _mm_xor_si128(foldPast<512>(r1), load(bytes + at + 16));
        r2 = _mm_xor_si128(foldPast<512>(r2), load(bytes + at + 32));
        r3 = _mm_xor_si128(foldPast<512>(r3), load(bytes + at + 48));
    }
    __m128i r = _mm_xor_si128(foldPast<128>(r0), r1);
    r = _mm_xor_si128(foldPast<128>(r), r2);
    r = _mm_xor_si128(foldPast<128>(r), r3);
    for (; at + 16 <= length; at += 16) r = _mm_xor_si128(foldPast<128>(r), load(bytes + at));
    unsigned char rest[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), r);
    crc = crcUpdate(table, 0, rest, 16);
    return crcUpdate(table, crc, bytes + at, length - at);
}

// A table built for another polynomial has no folding constants.
bool canFold(const Crc16* state, int32_t length) {
    static const bool hasClmul = __builtin_cpu_supports("pclmul");
    return length >= 64 && hasClmul && state->table[0x80] == CRC16_POLYNOMIAL;
}

}  // namespace
#endif

// Eight bytes at a time: the register meets the first two, and every byte's
// share of the result comes from the table for the bytes still to follow it,
// so the eight look-ups do not wait on one another.
uint16_t crcFeed(Crc16* state, const unsigned char* bytes, int32_t length) {
#if CRC_FOLDING
    if (canFold(state, length))
        return state->value = crcFolded(state->table, state->value, bytes, static_cast<uint32_t>(length));
#endif
    uint16_t crc = state->value;
    const uint16_t* table = state->table;
    const uint16_t(*slice)[256] = state->slices;
    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const unsigned char* b = bytes + i;
        unsigned first = crc ^ (b[0] | (b[1] << 8));
        crc = static_cast<uint16_t>(slice[6][first & 0xFF] ^ slice[5][first >> 8] ^ slice[4][b[2]] ^ slice[3][b[3]] ^
                                    slice[2][b[4]] ^ slice[1][b[5]] ^ slice[0][b[6]] ^ table[b[7]]);
    }
    if (i < length) crc = crcUpdate(table, crc, bytes + i, static_cast<uint32_t>(length - i));
    state->value = crc;
    return crc;
}
