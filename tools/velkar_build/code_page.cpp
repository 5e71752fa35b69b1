#include "tools/velkar_build/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace {

std::string converterName(int codePage) { return "CP" + std::to_string(codePage); }

}  // namespace

bool codePageKnown(int codePage) {
    iconv_t converter = iconv_open(converterName(codePage).c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(converter);
    return true;
}

bool toCodePage(const std::string& utf8, int codePage, std::string* converted) {
    iconv_t converter = iconv_open(converterName(codePage).c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> in(utf8.begin(), utf8.end());
    std::vector<char> out(utf8.size() * 2 + 4);
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    bool ok = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
    iconv_close(converter);
    if (ok) converted->assign(out.data(), outPtr);
    return ok;
}

bool isLeadByte(int codePage, unsigned char byte) {
    if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    return false;
}
