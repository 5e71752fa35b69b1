// Names that no Windows file system holds, for the tools: velkar-build
// refuses them in what it packs and velkar-run skips them in what it
// unpacks. The stub writes what its archive's author chose.
#pragma once

#include <string>
#include <string_view>

// A byte none takes (a control byte, < > : " | ? *), a device name that
// Windows opens in any folder (CON, nul.txt, COM1.log: the part before the
// first dot, blanks after it dropped, in any case), or a final dot or
// blank, which Windows drops.
enum class NameFault : unsigned char { none, forbiddenByte, deviceName, endsInDotOrBlank };

// One component of a path; isLeadByte tells the lead bytes of its code
// page, whose trail bytes are never taken for characters of their own. "."
// and ".." are steps in a path, not names, and pass.
inline NameFault windowsNameFault(std::string_view component, bool (*isLeadByte)(unsigned char)) {
    if (component.empty() || component == "." || component == "..") return NameFault::none;
    size_t stem = component.size();
    for (size_t i = 0; i < component.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(component[i]);
        if (isLeadByte(byte)) {
            ++i;
            continue;
        }
        if (byte < 0x20 || std::string_view("<>:\"|?*").find(static_cast<char>(byte)) != std::string_view::npos)
            return NameFault::forbiddenByte;
        if (byte == '.' && stem == component.size()) stem = i;
    }
    while (stem > 0 && component[stem - 1] == ' ') --stem;
    std::string lower(component.substr(0, stem));
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    bool numbered = lower.size() == 4 && lower[3] >= '1' && lower[3] <= '9';
    std::string_view base = std::string_view(lower).substr(0, 3);
    if ((lower.size() == 3 && (base == "con" || base == "prn" || base == "aux" || base == "nul")) ||
        (numbered && (base == "com" || base == "lpt")))
        return NameFault::deviceName;
    char last = component.back();
    return last == '.' || last == ' ' ? NameFault::endsInDotOrBlank : NameFault::none;
}

// The first component of PATH ('/' between folders) that Windows cannot
// hold as a name: its fault, and the component in *part. Lead bytes are not
// told apart, so a caller with a multi-byte code page trusts only the device
// name and final dot or blank faults, whose bytes no trail byte takes.
inline NameFault windowsPathFault(std::string_view path, std::string_view* part) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) end = path.size();
        *part = path.substr(start, end - start);
        NameFault fault = windowsNameFault(*part, [](unsigned char) { return false; });
        if (fault != NameFault::none) return fault;
        start = end + 1;
    }
    return NameFault::none;
}
