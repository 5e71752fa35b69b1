// An icon file (.ico) and the two kinds of resources that carry its images
// inside a program: one RT_ICON per image and the RT_GROUP_ICON directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/velkar_build/pe_resources.h"

struct IconImage {
    uint8_t width = 0;  // 0 stands for 256
    uint8_t height = 0;
    uint8_t colourCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    Bytes data;  // a bitmap without its file header, or a whole PNG file
};

// The images of an .ico file, in its order. Throws std::runtime_error saying
// what is wrong (the caller names the file): no icon file, cut short, no
// image, an image outside the file or one that is neither a bitmap nor a PNG.
std::vector<IconImage> readIconFile(const Bytes& file);

// The group directory naming the images by the RT_ICON ids firstId, firstId + 1, ...
Bytes iconGroup(const std::vector<IconImage>& images, uint16_t firstId);

// Replaces the resources' one icon group (keeping its name and language)
// and all icon images with the images given.
void replaceIcon(std::vector<Resource>& resources, const std::vector<IconImage>& images);

// "48x48 8-bit" or "256x256 32-bit PNG", for each image of the resources'
// first icon group; empty when they hold none. Throws std::runtime_error on
// a damaged group.
std::vector<std::string> describeIcon(const std::vector<Resource>& resources);
