#include "tools/velkar_build/code_page.h"

bool isLeadByte(int codePage, unsigned char byte) {
    if (codePage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    return false;
}
