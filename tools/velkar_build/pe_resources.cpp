#include "tools/velkar_build/pe_resources.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "common/byte_order.h"
#include "devtools/stub_layout/pe_layout.h"

namespace {

const uint32_t SUBDIRECTORY_BIT = 0x80000000;
const uint32_t DATA_ALIGNMENT = 8;
const size_t MAX_RESOURCES = 0x10000;

[[noreturn]] void reject(const std::string& why) { throw std::runtime_error(why); }

uint32_t get16(const Bytes& b, uint64_t at) {
    if (at + 2 > b.size()) reject("its resources lie outside the file");
    return readLittle16(&b[at]);
}

uint32_t get32(const Bytes& b, uint64_t at) {
    if (at + 4 > b.size()) reject("its resources lie outside the file");
    return readLittle32(&b[at]);
}

uint32_t alignUp(uint64_t value, uint32_t alignment) {
    return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

struct Section {
    uint32_t header;  // offset of its section header
    uint32_t address, virtualSize, raw, rawSize;
};

struct Image {
    uint32_t optional = 0;
    std::vector<Section> sections;

    uint32_t directoryField(const Bytes& b, uint32_t index) const {
        if (index >= get32(b, optional + OPT_DIRECTORY_COUNT)) return 0;
        return optional + OPT_DIRECTORIES + index * 8;
    }
    uint32_t directoryRva(const Bytes& b, uint32_t index) const {
        uint32_t field = directoryField(b, index);
        return field ? get32(b, field) : 0;
    }
    uint32_t directorySize(const Bytes& b, uint32_t index) const {
        uint32_t field = directoryField(b, index);
        return field ? get32(b, field + 4) : 0;
    }
    // The section whose raw data hold the RVA, or none.
    const Section* holding(uint32_t rva) const {
        for (const Section& s : sections)
            if (rva >= s.address && rva - s.address < s.rawSize) return &s;
        return nullptr;
    }
};

Image locate(const Bytes& b) {
    Image image;
    uint32_t pe = get32(b, 0x3C);
    if (get32(b, pe) != 0x4550) reject("has no PE header");
    uint32_t count = get16(b, pe + 6);
    uint32_t optionalSize = get16(b, pe + 20);
    image.optional = pe + 24;
    if (optionalSize < OPT_DIRECTORIES || get16(b, image.optional) != PE32_MAGIC) reject("is not a PE32 image");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t h = image.optional + optionalSize + i * SECTION_HEADER_SIZE;
        image.sections.push_back({h, get32(b, h + 12), get32(b, h + 8), get32(b, h + 20), get32(b, h + 16)});
    }
    return image;
}

// The resource tree has three levels (type, name, language); each directory
// lists its named entries, then its numbered ones.
struct TreeReader {
    const Bytes& b;
    const Image& image;
    uint32_t base;  // file offset of the root directory
    uint32_t size;  // bytes of the section from the root on
    uint32_t rootRva;
    std::vector<Resource> found;

    uint32_t at(uint32_t offset, uint32_t length) const {
        if (offset > size || length > size - offset) reject("its resource tree points outside its section");
        return base + offset;
    }

    ResourceKey key(uint32_t field) const {
        ResourceKey k;
        if (!(field & SUBDIRECTORY_BIT)) {
            k.id = static_cast<uint16_t>(field);
            return k;
        }
        uint32_t offset = field & ~SUBDIRECTORY_BIT;
        uint32_t length = get16(b, at(offset, 2));
        uint32_t chars = at(offset + 2, length * 2);
        for (uint32_t i = 0; i < length; ++i) k.name += static_cast<char16_t>(get16(b, chars + i * 2));
        if (k.name.empty()) reject("its resource tree holds an empty name");
        return k;
    }

    void directory(uint32_t offset, int level, Resource resource) {
        uint32_t header = at(offset, 16);
        uint32_t count = get16(b, header + 12) + get16(b, header + 14);
        uint32_t entries = at(offset + 16, count * 8);
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t nameField = get32(b, entries + i * 8);
            uint32_t target = get32(b, entries + i * 8 + 4);
            bool subdirectory = target & SUBDIRECTORY_BIT;
            if (subdirectory != (level < 2)) reject("its resource tree is not three levels deep");
            if (level == 0) resource.type = key(nameField);
            if (level == 1) resource.name = key(nameField);
            if (level < 2) {
                directory(target & ~SUBDIRECTORY_BIT, level + 1, resource);
                continue;
            }
            resource.language = static_cast<uint16_t>(nameField);
            uint32_t entry = at(target, 16);
            uint32_t rva = get32(b, entry);
            uint32_t length = get32(b, entry + 4);
            resource.codePage = get32(b, entry + 8);
            const Section* holder = image.holding(rva);
            if (!holder || length > holder->rawSize - (rva - holder->address) ||
                uint64_t{holder->raw} + holder->rawSize > b.size())
                reject("a resource's data lie outside the file");
            uint32_t from = holder->raw + (rva - holder->address);
            // Directories may share subdirectories, so a small hostile tree
            // could name billions of resources.
            if (found.size() == MAX_RESOURCES) reject("its resource tree names too many resources");
            resource.data.assign(b.begin() + from, b.begin() + from + length);
            found.push_back(resource);
        }
    }
};

void put16(Bytes& b, size_t at, uint32_t value) { writeLittle16(&b[at], static_cast<uint16_t>(value)); }
void put32(Bytes& b, size_t at, uint32_t value) { writeLittle32(&b[at], value); }

// The section's bytes for the resources, placed at rva: every directory
// first, then the data entries, the names and the data, as resource
// compilers lay them out.
Bytes resourceSection(const std::vector<Resource>& resources, uint32_t rva) {
    std::map<ResourceKey, std::map<ResourceKey, std::map<uint16_t, const Resource*>>> tree;
    for (const Resource& r : resources) {
        auto& slot = tree[r.type][r.name][r.language];
        if (slot) reject("two resources share a type, name and language");
        slot = &r;
    }
    auto directorySize = [](size_t entries) { return 16 + 8 * entries; };
    uint32_t directories = static_cast<uint32_t>(directorySize(tree.size()));
    for (auto& [type, names] : tree) {
        directories += static_cast<uint32_t>(directorySize(names.size()));
        for (auto& [name, languages] : names) directories += static_cast<uint32_t>(directorySize(languages.size()));
    }
    uint32_t dataEntries = directories;
    uint32_t strings = dataEntries + static_cast<uint32_t>(16 * resources.size());
    uint32_t stringsEnd = strings;
    std::map<std::u16string, uint32_t> nameOffsets;
    auto noteName = [&](const ResourceKey& k) {
        if (!k.name.empty() && nameOffsets.emplace(k.name, stringsEnd).second)
            stringsEnd += static_cast<uint32_t>(2 + 2 * k.name.size());
    };
    for (auto& [type, names] : tree) {
        noteName(type);
        for (auto& [name, languages] : names) noteName(name);
    }
    uint32_t dataAt = alignUp(stringsEnd, DATA_ALIGNMENT);
    uint32_t end = dataAt;
    for (const Resource& r : resources) end = alignUp(end + r.data.size(), DATA_ALIGNMENT);

    Bytes section(end, 0);
    for (auto& [name, offset] : nameOffsets) {
        put16(section, offset, static_cast<uint32_t>(name.size()));
        for (size_t i = 0; i < name.size(); ++i) put16(section, offset + 2 + 2 * i, name[i]);
    }
    uint32_t nextDirectory = 0;
    uint32_t nextEntry = dataEntries;
    auto keyField = [&](const ResourceKey& k) {
        return k.name.empty() ? k.id : SUBDIRECTORY_BIT | nameOffsets[k.name];
    };
    auto writeDirectory = [&](size_t count, size_t named) {
        uint32_t at = nextDirectory;
        put16(section, at + 12, static_cast<uint32_t>(named));
        put16(section, at + 14, static_cast<uint32_t>(count - named));
        nextDirectory += static_cast<uint32_t>(directorySize(count));
        return at + 16;
    };
    auto namedCount = [](const auto& map) {
        return std::count_if(map.begin(), map.end(), [](const auto& item) { return !item.first.name.empty(); });
    };
    // Breadth first: the root, every name directory, every language directory.
    uint32_t rootEntries = writeDirectory(tree.size(), namedCount(tree));
    std::vector<uint32_t> nameEntries;
    size_t i = 0;
    for (auto& [type, names] : tree) {
        put32(section, rootEntries + 8 * i, keyField(type));
        put32(section, rootEntries + 8 * i + 4, SUBDIRECTORY_BIT | nextDirectory);
        nameEntries.push_back(writeDirectory(names.size(), namedCount(names)));
        ++i;
    }
    i = 0;
    for (auto& [type, names] : tree) {
        size_t j = 0;
        for (auto& [name, languages] : names) {
            put32(section, nameEntries[i] + 8 * j, keyField(name));
            put32(section, nameEntries[i] + 8 * j + 4, SUBDIRECTORY_BIT | nextDirectory);
            uint32_t languageEntries = writeDirectory(languages.size(), 0);
            size_t k = 0;
            for (auto& [language, resource] : languages) {
                put32(section, languageEntries + 8 * k, language);
                put32(section, languageEntries + 8 * k + 4, nextEntry);
                put32(section, nextEntry, rva + dataAt);
                put32(section, nextEntry + 4, static_cast<uint32_t>(resource->data.size()));
                put32(section, nextEntry + 8, resource->codePage);
                std::copy(resource->data.begin(), resource->data.end(), section.begin() + dataAt);
                dataAt = alignUp(dataAt + resource->data.size(), DATA_ALIGNMENT);
                nextEntry += 16;
                ++k;
            }
            ++j;
        }
        ++i;
    }
    return section;
}

}  // namespace

bool ResourceKey::operator<(const ResourceKey& other) const {
    if (name.empty() != other.name.empty()) return !name.empty();
    return name.empty() ? id < other.id : name < other.name;
}

std::vector<Resource> readResources(const Bytes& b) {
    Image image = locate(b);
    uint32_t rva = image.directoryRva(b, DIRECTORY_RESOURCES);
    if (rva == 0) return {};
    const Section* section = image.holding(rva);
    if (!section || uint64_t{section->raw} + section->rawSize > b.size())
        reject("its resource section lies outside the file");
    uint32_t offset = rva - section->address;
    TreeReader reader{b, image, section->raw + offset, section->rawSize - offset, rva, {}};
    reader.directory(0, 0, Resource());
    return reader.found;
}

void writeResources(Bytes& b, const std::vector<Resource>& resources) {
    Image image = locate(b);
    if (image.directorySize(b, DIRECTORY_CERTIFICATES) != 0)
        reject("is signed; build from the bare stub and sign the result");
    uint32_t rva = image.directoryRva(b, DIRECTORY_RESOURCES);
    auto found = std::find_if(image.sections.begin(), image.sections.end(),
                              [&](const Section& s) { return s.address == rva && s.rawSize > 0; });
    if (rva == 0 || found == image.sections.end()) reject("has no resource section of its own");
    const Section resourceSectionHeader = *found;
    uint32_t relocations = image.directoryRva(b, DIRECTORY_RELOCATIONS);
    uint64_t end = 0;
    for (const Section& s : image.sections) {
        end = std::max(end, uint64_t{s.raw} + s.rawSize);
        if (s.address <= rva) continue;
        // Code refers to every other section by its address, which must stay.
        if (s.address != relocations || s.raw < resourceSectionHeader.raw)
            reject("has sections behind its resources that cannot move");
    }
    if (end != b.size()) reject("has data behind its last section");

    uint32_t fileAlignment = get32(b, image.optional + OPT_FILE_ALIGNMENT);
    uint32_t sectionAlignment = get32(b, image.optional + OPT_SECTION_ALIGNMENT);
    if (fileAlignment == 0 || sectionAlignment == 0) reject("has no section alignment");
    Bytes section = resourceSection(resources, rva);
    uint32_t rawSize = alignUp(section.size(), fileAlignment);
    section.resize(rawSize, 0);
    int64_t rawShift = int64_t{rawSize} - resourceSectionHeader.rawSize;
    int64_t addressShift = int64_t{alignUp(rva + section.size(), sectionAlignment)} -
                           alignUp(uint64_t{rva} + resourceSectionHeader.virtualSize, sectionAlignment);
    uint32_t oldEnd = resourceSectionHeader.raw + resourceSectionHeader.rawSize;

    Bytes result(b.begin(), b.begin() + resourceSectionHeader.raw);
    result.insert(result.end(), section.begin(), section.end());
    result.insert(result.end(), b.begin() + oldEnd, b.end());
    uint32_t imageEnd = 0;
    for (const Section& s : image.sections) {
        if (s.address == rva) {
            put32(result, s.header + 8, static_cast<uint32_t>(rawSize));
            put32(result, s.header + 16, rawSize);
        } else if (s.address > rva) {
            put32(result, s.header + 12, static_cast<uint32_t>(s.address + addressShift));
            put32(result, s.header + 20, static_cast<uint32_t>(s.raw + rawShift));
        }
        imageEnd = std::max(imageEnd, get32(result, s.header + 12) + get32(result, s.header + 8));
    }
    uint32_t count = get32(b, image.optional + OPT_DIRECTORY_COUNT);
    for (uint32_t index = 0; index < count; ++index) {
        uint32_t field = image.directoryField(b, index);
        uint32_t address = get32(b, field);
        if (index == DIRECTORY_RESOURCES) put32(result, field + 4, rawSize);
        else if (address > rva) put32(result, field, static_cast<uint32_t>(address + addressShift));
    }
    put32(result, image.optional + OPT_SIZE_OF_IMAGE, alignUp(imageEnd, sectionAlignment));
    put32(result, image.optional + OPT_SIZE_OF_INITIALIZED_DATA,
          static_cast<uint32_t>(get32(b, image.optional + OPT_SIZE_OF_INITIALIZED_DATA) + rawShift));
    b.swap(result);
}
