#include "tools/velkar_build/version_resource.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "common/byte_order.h"

namespace {

const uint32_t FIXED_SIGNATURE = 0xFEEF04BD;
const uint32_t FIXED_STRUCTURE_VERSION = 0x00010000;
const uint32_t FIXED_FLAGS_MASK = 0x3F;
const uint32_t VOS_WINDOWS32 = 0x4;
const uint32_t VFT_APP = 0x1;
const size_t FIXED_SIZE = 52;
const size_t MAX_LENGTH = 0xFFFF;
const uint16_t TEXT_VALUE = 1;
const uint16_t BINARY_VALUE = 0;

// Texts become UTF-16 here, on every system alike, so that the resource's
// bytes never depend on where velkar-build runs. False on bytes that are not
// UTF-8 (overlong forms and surrogates included).
bool utf8ToUtf16(const std::string& text, std::u16string* out) {
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = static_cast<unsigned char>(text[i]);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        static const uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        if (code >= 0x10000) {
            out->push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            out->push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return true;
}

std::string utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | code >> 6);
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | code >> 12);
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | code >> 18);
            out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::u16string ascii(const char* text) { return std::u16string(text, text + std::char_traits<char>::length(text)); }

void padToFour(Bytes& bytes) { bytes.resize((bytes.size() + 3) / 4 * 4, 0); }

void putText(Bytes& bytes, const std::u16string& text) {
    for (char16_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
}

// Every block of the resource has the same shape: its length, the value's
// length (in characters for a text), the value's type, the key, then the
// value and the children, each starting on a 4-byte boundary. The length
// leaves out the padding behind the last child.
Bytes block(const std::u16string& key, const Bytes& value, uint16_t valueLength, uint16_t type,
            const std::vector<Bytes>& children = {}) {
    Bytes bytes(6, 0);
    putText(bytes, key);
    padToFour(bytes);
    bytes.insert(bytes.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        padToFour(bytes);
        bytes.insert(bytes.end(), child.begin(), child.end());
    }
    if (bytes.size() > MAX_LENGTH) throw std::length_error("too long");
    writeLittle16(&bytes[0], static_cast<uint16_t>(bytes.size()));
    writeLittle16(&bytes[2], valueLength);
    writeLittle16(&bytes[4], type);
    return bytes;
}

Bytes textBlock(const std::u16string& key, const std::u16string& text) {
    Bytes value;
    putText(value, text);
    return block(key, value, static_cast<uint16_t>(text.size() + 1), TEXT_VALUE);
}

std::string versionText(const uint16_t numbers[4]) {
    return std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
           std::to_string(numbers[3]);
}

struct Block {
    std::u16string key;
    Bytes value;
    std::vector<Block> children;
};

// Reads the block at bytes[at, at + room); throws on one that does not fit.
// The resource nests three blocks deep below its root.
Block readBlock(const Bytes& bytes, size_t at, size_t room, int depth = 0) {
    const char* damaged = "its version information is damaged";
    if (room < 6 || depth > 3) throw std::runtime_error(damaged);
    size_t length = readLittle16(&bytes[at]);
    size_t valueLength = readLittle16(&bytes[at + 2]);
    bool text = readLittle16(&bytes[at + 4]) == TEXT_VALUE;
    if (length < 6 || length > room) throw std::runtime_error(damaged);
    size_t end = at + length;
    size_t position = at + 6;
    Block result;
    for (;; position += 2) {
        if (position + 2 > end) throw std::runtime_error(damaged);
        char16_t c = readLittle16(&bytes[position]);
        if (c == 0) break;
        result.key += c;
    }
    position = at + (position + 2 - at + 3) / 4 * 4;
    size_t valueBytes = std::min(text ? valueLength * 2 : valueLength, end - std::min(position, end));
    if (position < end) result.value.assign(bytes.begin() + position, bytes.begin() + position + valueBytes);
    position = at + (position + valueBytes - at + 3) / 4 * 4;
    while (position + 6 <= end) {
        Block child = readBlock(bytes, position, end - position, depth + 1);
        position = at + (position + readLittle16(&bytes[position]) - at + 3) / 4 * 4;
        result.children.push_back(std::move(child));
    }
    return result;
}

std::u16string textOf(const Bytes& value) {
    std::u16string text;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        char16_t c = readLittle16(&value[i]);
        if (c == 0) break;
        text += c;
    }
    return text;
}

std::string fixedVersion(const Bytes& fixed, size_t at) {
    uint32_t high = readLittle32(&fixed[at]);
    uint32_t low = readLittle32(&fixed[at + 4]);
    uint16_t numbers[4] = {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high & 0xFFFF),
                           static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low & 0xFFFF)};
    return versionText(numbers);
}

}  // namespace

bool parseVersionNumber(const std::string& text, uint16_t numbers[4]) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != '.')) return false;
        size_t start = at;
        uint32_t value = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 5)
            value = value * 10 + static_cast<uint32_t>(text[at++] - '0');
        if (at == start || value > 0xFFFF) return false;
        numbers[i] = static_cast<uint16_t>(value);
    }
    return at == text.size();
}

uint16_t languageOfCodePage(int codePage) {
    static const struct {
        int codePage;
        uint16_t language;
    } pairs[] = {{874, 0x041E},  {932, 0x0411},  {936, 0x0804},  {949, 0x0412},  {950, 0x0404},
                 {1250, 0x0405}, {1251, 0x0419}, {1252, 0x0409}, {1253, 0x0408}, {1254, 0x041F},
                 {1255, 0x040D}, {1256, 0x0401}, {1257, 0x0426}, {1258, 0x042A}};
    for (const auto& pair : pairs)
        if (pair.codePage == codePage) return pair.language;
    return 0;
}

Bytes versionResource(const VersionInfo& info, int codePage) {
    Bytes fixed(FIXED_SIZE, 0);
    auto put = [&](size_t at, uint32_t value) { writeLittle32(&fixed[at], value); };
    put(0, FIXED_SIGNATURE);
    put(4, FIXED_STRUCTURE_VERSION);
    put(8, uint32_t{info.fileVersion[0]} << 16 | info.fileVersion[1]);
    put(12, uint32_t{info.fileVersion[2]} << 16 | info.fileVersion[3]);
    put(16, uint32_t{info.productVersion[0]} << 16 | info.productVersion[1]);
    put(20, uint32_t{info.productVersion[2]} << 16 | info.productVersion[3]);
    put(24, FIXED_FLAGS_MASK);
    put(32, VOS_WINDOWS32);
    put(36, VFT_APP);

    std::vector<std::pair<std::string, std::string>> strings = info.strings;
    if (info.hasFileVersion) strings.emplace_back("FileVersion", versionText(info.fileVersion));
    if (info.hasProductVersion) strings.emplace_back("ProductVersion", versionText(info.productVersion));
    std::stable_sort(strings.begin(), strings.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    uint16_t language = languageOfCodePage(codePage);
    char tableName[9];
    std::snprintf(tableName, sizeof tableName, "%04X%04X", language, static_cast<unsigned>(codePage));
    std::vector<Bytes> texts;
    const std::string* longest = nullptr;
    for (const auto& [key, text] : strings) {
        std::u16string wide;
        if (!utf8ToUtf16(text, &wide)) throw std::runtime_error("the " + key + " text is not UTF-8");
        if (!longest || text.size() > longest->size()) longest = &key;
        try {
            texts.push_back(textBlock(ascii(key.c_str()), wide));
        } catch (const std::length_error&) {
            throw std::runtime_error("the " + key + " text is too long for the version information");
        }
    }
    Bytes translation(4);
    writeLittle16(&translation[0], language);
    writeLittle16(&translation[2], static_cast<uint16_t>(codePage));
    try {
        Bytes table = block(ascii(tableName), {}, 0, TEXT_VALUE, texts);
        Bytes stringInfo = block(ascii("StringFileInfo"), {}, 0, TEXT_VALUE, {table});
        Bytes varInfo =
            block(ascii("VarFileInfo"), {}, 0, TEXT_VALUE, {block(ascii("Translation"), translation, 4, BINARY_VALUE)});
        return block(ascii("VS_VERSION_INFO"), fixed, FIXED_SIZE, BINARY_VALUE, {stringInfo, varInfo});
    } catch (const std::length_error&) {
        throw std::runtime_error("the texts are too long for the version information together; shorten the " +
                                 *longest + " text");
    }
}

void replaceVersion(std::vector<Resource>& resources, const VersionInfo& info, int codePage) {
    Resource version;
    version.type.id = RT_VERSION_ID;
    version.name.id = 1;
    version.language = languageOfCodePage(codePage);
    version.data = versionResource(info, codePage);
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) { return r.type.name.empty() && r.type.id == RT_VERSION_ID; }),
                    resources.end());
    resources.push_back(std::move(version));
}

std::vector<std::pair<std::string, std::string>> describeVersion(const std::vector<Resource>& resources) {
    auto found = std::find_if(resources.begin(), resources.end(),
                              [](const Resource& r) { return r.type.name.empty() && r.type.id == RT_VERSION_ID; });
    std::vector<std::pair<std::string, std::string>> lines;
    if (found == resources.end()) return lines;
    Block root = readBlock(found->data, 0, found->data.size());
    if (root.value.size() < FIXED_SIZE || readLittle32(root.value.data()) != FIXED_SIGNATURE)
        throw std::runtime_error("its version information is damaged");
    lines.emplace_back("file version", fixedVersion(root.value, 8));
    lines.emplace_back("product version", fixedVersion(root.value, 16));
    for (const Block& info : root.children) {
        if (info.key != ascii("StringFileInfo")) continue;
        for (const Block& table : info.children)
            for (const Block& text : table.children)
                lines.emplace_back(utf16ToUtf8(text.key), utf16ToUtf8(textOf(text.value)));
    }
    return lines;
}
