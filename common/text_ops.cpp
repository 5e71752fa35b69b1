#include "common/text_ops.h"

#include <stdarg.h>

#include "platform/platform.h"

namespace {

// The working buffer of createDirectoryChain: as wide as outputPath.
const uint32_t CHAIN_SIZE = 516;

// Separators that end a component: the drive colon, both slashes and the
// 0xFF that old archivers wrote between directory names.
const char COMPONENT_SEPARATORS[] = ":\\/\xFF";

// Width of the character at p: a lead byte takes its trail byte along, unless
// the text ends right behind it, so no scan steps over a terminator.
uint32_t charWidth(const char* p) { return osIsLeadByte(static_cast<unsigned char>(*p)) && p[1] != 0 ? 2 : 1; }

int isPathSeparator(char c) { return c == '\\' || c == '/' || c == '\xFF'; }

// Puts length bytes of text behind the used part of out and returns the new
// used count; whatever would reach the last byte of out is dropped, so the
// terminator always has its place.
uint32_t putBytes(char* out, uint32_t size, uint32_t used, const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length && used + 1 < size; ++i) out[used++] = text[i];
    return used;
}

uint32_t putNumber(char* out, uint32_t size, uint32_t used, uint32_t value) {
    char digits[10];
    uint32_t count = 0;
    do {
        digits[sizeof digits - 1 - count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    return putBytes(out, size, used, digits + sizeof digits - count, count);
}

}  // namespace

uint32_t copyText(char* out, const char* text, uint32_t size) {
    if (size == 0) return 0;
    uint32_t length = 0;
    while (length + 1 < size && text[length] != 0) {
        out[length] = text[length];
        ++length;
    }
    out[length] = 0;
    return length;
}

uint32_t appendText(char* out, const char* text, uint32_t size) {
    uint32_t used = 0;
    while (used < size && out[used] != 0) ++used;
    if (used >= size) return 0;
    return copyText(out + used, text, size - used);
}

uint32_t textLength(const char* text) { return static_cast<uint32_t>(endOfText(text) - text); }

uint32_t formatText(char* out, uint32_t size, const char* format, ...) {
    if (size == 0) return 0;
    va_list args;
    va_start(args, format);
    uint32_t used = 0;
    for (const char* f = format; *f != 0; ++f) {
        if (f[0] == '%' && f[1] == 's') {
            const char* text = va_arg(args, const char*);
            if (text != 0) used = putBytes(out, size, used, text, textLength(text));
            ++f;
        } else if (f[0] == '%' && f[1] == 'l' && f[2] == 'u') {
            used = putNumber(out, size, used, va_arg(args, uint32_t));
            f += 2;
        } else if (f[0] == '%' && f[1] == '%') {
            used = putBytes(out, size, used, f, 1);
            ++f;
        } else {
            used = putBytes(out, size, used, f, 1);
        }
    }
    va_end(args);
    out[used] = 0;
    return used;
}

int compareN(const char* a, const char* b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        int difference = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        if (difference != 0 || a[i] == 0) return difference;
    }
    return 0;
}

void appendSeparator(char* text) {
    char* end = endOfText(text);
    char last = *osCharPrev(text, end);
    if (last == '\\' || last == '/') return;
    end[0] = '/';
    end[1] = 0;
}

char* findAnyOf(const char* text, const char* set) {
    for (const char* p = text; *p != 0; p += charWidth(p)) {
        if (osIsLeadByte(static_cast<unsigned char>(*p))) continue;
        for (const char* s = set; *s != 0; ++s) {
            if (*p == *s) return const_cast<char*>(p);
        }
    }
    return 0;
}

char* lastComponent(const char* text) {
    const char* start = text;
    for (const char* hit = findAnyOf(text, COMPONENT_SEPARATORS); hit != 0;
         hit = findAnyOf(hit + 1, COMPONENT_SEPARATORS)) {
        start = hit + 1;
    }
    return const_cast<char*>(start);
}

char* endOfText(const char* text) {
    while (*text != 0) ++text;
    return const_cast<char*>(text);
}

char* normaliseSeparators(char* text, char separator) {
    char* lastStart = text;
    for (char* p = text; *p != 0; p += charWidth(p)) {
        if (osIsLeadByte(static_cast<unsigned char>(*p)) || !isPathSeparator(*p)) continue;
        *p = separator;
        lastStart = p + 1;
    }
    return lastStart;
}

// A path too long for the working buffer has its directories created only as
// far as their full names fit: a cut name would create a directory nobody
// asked for.
void createDirectoryChain(const char* path) {
    char prefix[CHAIN_SIZE];
    uint32_t i = 0;
    while (path[i] != 0) {
        uint32_t width = charWidth(path + i);
        if (i + width > CHAIN_SIZE) return;
        prefix[i] = path[i];
        if (width == 2) {
            prefix[i + 1] = path[i + 1];
        } else if (path[i] == '/') {
            prefix[i] = 0;
            osCreateDirectory(prefix);
            prefix[i] = '/';
        }
        i += width;
    }
}
