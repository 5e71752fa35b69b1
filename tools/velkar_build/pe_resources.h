// The resources of a PE image (type, name and language over each piece of
// data), read from its resource section and written back into a new one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

const uint16_t RT_ICON_ID = 3;
const uint16_t RT_GROUP_ICON_ID = 14;
const uint16_t RT_VERSION_ID = 16;

// A number, or a name in UTF-16 (resource compilers keep names upper-case).
struct ResourceKey {
    uint16_t id = 0;
    std::u16string name;  // not empty for a named entry

    bool operator==(const ResourceKey& other) const { return id == other.id && name == other.name; }
    bool operator<(const ResourceKey& other) const;  // the order the loader searches in
};

struct Resource {
    ResourceKey type;
    ResourceKey name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    Bytes data;
};

// Every resource of the image, in the section's order. Throws
// std::runtime_error on a resource section whose tree or data lie outside it.
std::vector<Resource> readResources(const Bytes& image);

// Replaces the image's resource section with one holding `resources`. The
// sections in front of it keep their places; only the base relocations may
// follow it, and they move with its new length. Throws std::runtime_error on
// an image this cannot do safely: a signed one, one with data behind its
// last section, or one whose resource section is followed by anything else.
void writeResources(Bytes& image, const std::vector<Resource>& resources);
