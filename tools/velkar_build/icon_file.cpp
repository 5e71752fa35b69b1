#include "tools/velkar_build/icon_file.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "common/byte_order.h"

namespace {

// An .ico starts with reserved 0, type 1 and the image count; then one
// 16-byte entry per image, whose last field is the image's file offset. In
// a group resource that field is the 2-byte RT_ICON id, so entries are 14.
const size_t DIRECTORY_HEADER = 6;
const size_t FILE_ENTRY = 16;
const size_t GROUP_ENTRY = 14;
const size_t BITMAP_HEADER = 40;
const unsigned char PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const size_t PNG_HEADER_END = 33;  // signature, then the IHDR chunk with its CRC

bool isPng(const Bytes& data) {
    return data.size() >= sizeof PNG_SIGNATURE && std::memcmp(data.data(), PNG_SIGNATURE, sizeof PNG_SIGNATURE) == 0;
}

uint32_t readBig32(const unsigned char* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// The bits per pixel the image itself states: a bitmap's biBitCount, or a
// PNG's bit depth times its channels.
uint16_t depthOf(const Bytes& data) {
    if (!isPng(data)) return readLittle16(&data[14]);
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    unsigned colourType = data[25];
    return static_cast<uint16_t>(data[24] * (colourType < 7 ? channels[colourType] : 0));
}

void checkImage(const Bytes& data, size_t number) {
    std::string which = "image " + std::to_string(number);
    if (isPng(data)) {
        if (data.size() < PNG_HEADER_END || std::memcmp(&data[12], "IHDR", 4) != 0 || readBig32(&data[16]) == 0 ||
            readBig32(&data[20]) == 0)
            throw std::runtime_error(which + " is a damaged PNG image");
        return;
    }
    if (data.size() < BITMAP_HEADER || readLittle32(data.data()) != BITMAP_HEADER)
        throw std::runtime_error(which + " is neither a bitmap nor a PNG image");
    uint16_t depth = readLittle16(&data[14]);
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        throw std::runtime_error(which + " has " + std::to_string(depth) + " bits per pixel, which icons do not use");
}

}  // namespace

std::vector<IconImage> readIconFile(const Bytes& file) {
    if (file.empty()) throw std::runtime_error("is empty");
    if (file.size() < DIRECTORY_HEADER) throw std::runtime_error("is cut short in its header");
    if (readLittle16(&file[0]) != 0 || readLittle16(&file[2]) != 1)
        throw std::runtime_error("is not an icon file (.ico)");
    size_t count = readLittle16(&file[4]);
    if (count == 0) throw std::runtime_error("holds no image");
    if (file.size() < DIRECTORY_HEADER + count * FILE_ENTRY)
        throw std::runtime_error("is cut short in its list of " + std::to_string(count) + " images");
    std::vector<IconImage> images;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* entry = &file[DIRECTORY_HEADER + i * FILE_ENTRY];
        uint64_t size = readLittle32(entry + 8);
        uint64_t offset = readLittle32(entry + 12);
        if (size == 0 || offset + size > file.size())
            throw std::runtime_error("image " + std::to_string(i + 1) + " lies outside the file");
        IconImage image;
        image.width = entry[0];
        image.height = entry[1];
        image.colourCount = entry[2];
        image.data.assign(file.begin() + static_cast<std::ptrdiff_t>(offset),
                          file.begin() + static_cast<std::ptrdiff_t>(offset + size));
        checkImage(image.data, i + 1);
        // Windows picks the image to show by these two fields; some icon
        // editors leave them zero.
        image.planes = readLittle16(entry + 4) ? readLittle16(entry + 4) : 1;
        image.bitCount = readLittle16(entry + 6) ? readLittle16(entry + 6) : depthOf(image.data);
        images.push_back(std::move(image));
    }
    return images;
}

Bytes iconGroup(const std::vector<IconImage>& images, uint16_t firstId) {
    Bytes group(DIRECTORY_HEADER + images.size() * GROUP_ENTRY, 0);
    writeLittle16(&group[2], 1);
    writeLittle16(&group[4], static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        unsigned char* entry = &group[DIRECTORY_HEADER + i * GROUP_ENTRY];
        const IconImage& image = images[i];
        entry[0] = image.width;
        entry[1] = image.height;
        entry[2] = image.colourCount;
        writeLittle16(entry + 4, image.planes);
        writeLittle16(entry + 6, image.bitCount);
        writeLittle32(entry + 8, static_cast<uint32_t>(image.data.size()));
        writeLittle16(entry + 12, static_cast<uint16_t>(firstId + i));
    }
    return group;
}

void replaceIcon(std::vector<Resource>& resources, const std::vector<IconImage>& images) {
    auto group = std::find_if(resources.begin(), resources.end(),
                              [](const Resource& r) { return r.type.name.empty() && r.type.id == RT_GROUP_ICON_ID; });
    if (group == resources.end()) throw std::runtime_error("has no icon to replace");
    Resource newGroup = *group;
    newGroup.data = iconGroup(images, 1);
    resources.erase(std::remove_if(resources.begin(), resources.end(),
                                   [](const Resource& r) {
                                       return r.type.name.empty() &&
                                              (r.type.id == RT_ICON_ID || r.type.id == RT_GROUP_ICON_ID);
                                   }),
                    resources.end());
    resources.push_back(newGroup);
    for (size_t i = 0; i < images.size(); ++i) {
        Resource icon;
        icon.type.id = RT_ICON_ID;
        icon.name.id = static_cast<uint16_t>(1 + i);
        icon.language = newGroup.language;
        icon.data = images[i].data;
        resources.push_back(std::move(icon));
    }
}

std::vector<std::string> describeIcon(const std::vector<Resource>& resources) {
    std::map<uint16_t, const Bytes*> icons;
    const Bytes* group = nullptr;
    for (const Resource& r : resources) {
        if (!r.type.name.empty()) continue;
        if (r.type.id == RT_ICON_ID && r.name.name.empty()) icons.emplace(r.name.id, &r.data);
        if (r.type.id == RT_GROUP_ICON_ID && !group) group = &r.data;
    }
    std::vector<std::string> lines;
    if (!group) return lines;
    if (group->size() < DIRECTORY_HEADER) throw std::runtime_error("its icon group is damaged");
    size_t count = readLittle16(&(*group)[4]);
    if (group->size() < DIRECTORY_HEADER + count * GROUP_ENTRY) throw std::runtime_error("its icon group is damaged");
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* entry = &(*group)[DIRECTORY_HEADER + i * GROUP_ENTRY];
        auto icon = icons.find(readLittle16(entry + 12));
        std::string size = std::to_string(entry[0] ? entry[0] : 256) + "x" + std::to_string(entry[1] ? entry[1] : 256);
        if (icon == icons.end()) {
            lines.push_back(size + " (its image is missing)");
            continue;
        }
        bool png = isPng(*icon->second);
        uint16_t depth = readLittle16(entry + 6);
        if (depth == 0 && (png ? icon->second->size() >= PNG_HEADER_END : icon->second->size() >= BITMAP_HEADER))
            depth = depthOf(*icon->second);
        lines.push_back(size + " " + std::to_string(depth) + "-bit" + (png ? " PNG" : ""));
    }
    return lines;
}
