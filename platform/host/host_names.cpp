// Names between the core's code page and the UTF-8 of Linux tools, through
// iconv, one character at a time as the walk divides them.
#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <string>

#include "common/code_pages.h"
#include "platform/host/host_control.h"

namespace {

// A code page no Windows uses for names reads as the default, 1252.
std::string iconvName(int codePage) { return "CP" + std::to_string(isWindowsCodePage(codePage) ? codePage : 1252); }

const char REPLACEMENT[] = "\xEF\xBF\xBD";  // U+FFFD

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Appends the whole text converted; false when any of it does not convert.
    bool convert(const std::string& text, std::string* out) {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(text.data());
        size_t inLeft = text.size();
        while (inLeft > 0) {
            char chunk[256];
            char* at = chunk;
            size_t room = sizeof chunk;
            size_t result = iconv(handle_, &in, &inLeft, &at, &room);
            out->append(chunk, static_cast<size_t>(at - chunk));
            if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
        }
        return true;
    }

private:
    iconv_t handle_;
};

}  // namespace

// Every code page above reads bytes below 0x80 as ASCII, as UTF-8 does.
std::string hostToUtf8(const std::string& text) {
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) return text;
    Converter converter("UTF-8", iconvName(hostCodePage()).c_str());
    std::string result;
    for (size_t at = 0; at < text.size();) {
        size_t length = osIsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
        std::string character;
        // A double-byte character never stands for ASCII: that could make a
        // separator or a dot that the walk never saw.
        bool converted = converter.ok() && converter.convert(text.substr(at, length), &character) &&
                         !(length == 2 && character.size() == 1);
        result += converted ? character : REPLACEMENT;
        at += length;
    }
    return result;
}

bool hostFromUtf8(const std::string& text, std::string* out) {
    Converter converter(iconvName(hostCodePage()).c_str(), "UTF-8");
    std::string result;
    if (!converter.ok() || !converter.convert(text, &result)) return false;
    *out = result;
    return true;
}
