// The Windows ANSI code pages that both tools take for names and texts: the
// ones a Velkar file may have been made on. 932, 936, 949 and 950 have
// double-byte characters.
#pragma once

inline constexpr int WINDOWS_CODE_PAGES[] = {874,  932,  936,  949,  950,  1250, 1251,
                                             1252, 1253, 1254, 1255, 1256, 1257, 1258};

inline constexpr char WINDOWS_CODE_PAGES_TEXT[] =
    "1252 Western (the default), 1250 Central European, 1251 Cyrillic, 1253 Greek,\n"
    "1254 Turkish, 1255 Hebrew, 1256 Arabic, 1257 Baltic, 1258 Vietnamese, 874 Thai,\n"
    "932 Japanese, 936 Chinese (simplified), 949 Korean, 950 Chinese (traditional)";

inline bool isWindowsCodePage(int codePage) {
    for (int known : WINDOWS_CODE_PAGES)
        if (known == codePage) return true;
    return false;
}
