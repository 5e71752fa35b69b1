// Names and texts from an archive, made safe to print: a control byte (or
// a C1 control in UTF-8) could move the cursor or drive the terminal, so
// each is shown as \xHH. Line breaks of a message's text may stay.
#pragma once

#include <cstdio>
#include <string>

inline std::string terminalText(const std::string& utf8, bool keepLineBreaks = false) {
    std::string shown;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(utf8[i]);
        bool lineBreak = byte == '\n' || (byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n');
        bool c1 = byte == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) >= 0x80 &&
                  static_cast<unsigned char>(utf8[i + 1]) <= 0x9F;
        if ((byte < 0x20 && !(keepLineBreaks && (lineBreak || byte == '\t'))) || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else if (c1) {
            char escaped[9];
            std::snprintf(escaped, sizeof escaped, "\\xC2\\x%02X", static_cast<unsigned char>(utf8[++i]));
            shown += escaped;
        } else {
            shown += static_cast<char>(byte);
        }
    }
    return shown;
}
