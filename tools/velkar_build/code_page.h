// Member names as the stub sees them: bytes in an ANSI code page. The
// conversions are the system's own (system_posix.cpp, system_windows.cpp).
#pragma once

#include <string>

// 1252 and 932 are the code pages we promise; any other one that the
// system's converter knows is accepted too.
bool codePageKnown(int codePage);

// The UTF-8 text in the code page. False when a character has no form
// there, or the text is not UTF-8.
bool toCodePage(const std::string& utf8, int codePage, std::string* converted);

// Whether the byte starts a two-byte character in the code page, so that
// the next byte is never taken for a separator.
bool isLeadByte(int codePage, unsigned char byte);
