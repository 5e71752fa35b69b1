// The author's icon and version information in a copy of the built stub:
// what the builder refuses, and what a rewritten resource section holds and
// moves. The independent readers (wrestool, pefile) check the same files in
// tests/interop/resources_test.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "common/byte_order.h"
#include "common/formats.h"
#include "devtools/stub_layout/pe_move.h"
#include "support/archive_maker.h"
#include "support/built_stub.h"
#include "support/test_support.h"
#include "tools/velkar_build/builder.h"

namespace {

Bytes bitmapImage(uint8_t size, uint16_t depth) {
    Bytes image(40 + size * size * depth / 8 + size * size / 8, 0x55);
    std::memset(image.data(), 0, 40);
    writeLittle32(&image[0], 40);
    writeLittle32(&image[4], size);
    writeLittle32(&image[8], size * 2);
    writeLittle16(&image[12], 1);
    writeLittle16(&image[14], depth);
    return image;
}

Bytes pngImage() {
    const unsigned char head[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0,   0,   0,  13, 'I',
                                  'H',  'D', 'R', 0,   0,    1,    0,    0,    0,   1,   0,  8,  6,
                                  0,    0,   0,   1,   2,    3,    4,    'r',  'e', 's', 't'};
    return Bytes(std::begin(head), std::end(head));
}

// An .ico of the images; planes and bit counts left zero, as some editors do.
Bytes iconFile(const std::vector<std::pair<uint8_t, Bytes>>& images) {
    Bytes file(6 + 16 * images.size(), 0);
    writeLittle16(&file[2], 1);
    writeLittle16(&file[4], static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        unsigned char* entry = &file[6 + 16 * i];
        entry[0] = entry[1] = images[i].first;
        writeLittle32(entry + 8, static_cast<uint32_t>(images[i].second.size()));
        writeLittle32(entry + 12, static_cast<uint32_t>(file.size()));
        file.insert(file.end(), images[i].second.begin(), images[i].second.end());
    }
    return file;
}

TEST(AuthorResourcesTest, RefusesMalformedIconFilesSayingWhy) {
    Bytes good = iconFile({{16, bitmapImage(16, 4)}});
    Bytes png = pngImage();
    auto with = [&](size_t at, std::vector<unsigned char> bytes) {
        Bytes file = good;
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        return file;
    };
    const struct {
        const char* what;
        Bytes file;
        const char* message;
    } cases[] = {
        {"empty", {}, "is empty"},
        {"header cut short", Bytes(good.begin(), good.begin() + 4), "cut short in its header"},
        {"a cursor", with(2, {2, 0}), "not an icon file"},
        {"no image", with(4, {0, 0}), "holds no image"},
        {"list cut short", with(4, {0xFF, 0}), "cut short in its list of 255 images"},
        {"image behind the end", with(18, {0xFF, 0xFF, 0, 0}), "image 1 lies outside the file"},
        {"offset wraps around", with(18, {0xFF, 0xFF, 0xFF, 0xFF}), "image 1 lies outside the file"},
        {"empty image", with(14, {0, 0, 0, 0}), "image 1 lies outside the file"},
        {"neither bitmap nor PNG", with(22, {41}), "neither a bitmap nor a PNG"},
        {"odd depth", with(22 + 14, {7}), "7 bits per pixel"},
        {"PNG cut short", iconFile({{0, Bytes(png.begin(), png.begin() + 20)}}), "damaged PNG"},
    };
    for (const auto& c : cases) {
        std::string error = errorOf([&] { readIconFile(c.file); });
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
    }
}

TEST(AuthorResourcesTest, VersionNumbersAreFourNumbersUpTo65535) {
    uint16_t numbers[4];
    for (const char* good : {"1.2.3.4", "65535.0.65535.00007"}) EXPECT_TRUE(parseVersionNumber(good, numbers)) << good;
    EXPECT_EQ(numbers[3], 7);
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "1..3.4", "65536.0.0.0", "999999.0.0.0", "1.2.3.x", " 1.2.3.4",
                            "1.2.3.4 ", "-1.2.3.4", "1,2,3,4"})
        EXPECT_FALSE(parseVersionNumber(bad, numbers)) << bad;
}

TEST(AuthorResourcesTest, RefusesTextsThatDoNotFitTheVersionInformation) {
    VersionInfo info;
    info.strings = {{"CompanyName", "\xFF"}};
    EXPECT_NE(errorOf([&] { versionResource(info, 1252); }).find("CompanyName text is not UTF-8"), std::string::npos);
    info.strings = {{"FileDescription", std::string(40000, 'd')}};
    EXPECT_NE(errorOf([&] { versionResource(info, 1252); }).find("FileDescription text is too long"),
              std::string::npos);
    info.strings = {{"CompanyName", std::string(20000, 'c')}, {"ProductName", std::string(20001, 'p')}};
    EXPECT_NE(errorOf([&] { versionResource(info, 1252); }).find("shorten the ProductName text"), std::string::npos);
}

// The built stub with a bitmap and a PNG image (more than a page, so the
// relocations' address moves too) and version texts in code page 932: the
// resources read back, the sections behind them moved by the growth, the
// checksum right for the whole file.
TEST(AuthorResourcesTest, RewritesTheBuiltStubsResourcesAndMovesWhatFollows) {
    Bytes stub = readBuiltStub();
    ASSERT_FALSE(stub.empty()) << "build the windows preset first";
    BuildOptions options;
    options.icon = readIconFile(iconFile({{48, bitmapImage(48, 32)}, {0, pngImage()}}));
    options.codePage = 932;
    options.version.hasFileVersion = true;
    uint16_t version[4] = {2, 0, 65535, 1};
    std::copy(version, version + 4, options.version.fileVersion);
    options.version.strings = {{"ProductName", "\xE3\x83\x84\xE3\x83\xBC\xE3\x83\xAB"}, {"CompanyName", "Acme"}};

    Bytes image = stubWithResources(stub, options);
    std::vector<Resource> resources = readResources(image);
    EXPECT_EQ(describeIcon(resources), (std::vector<std::string>{"48x48 32-bit", "256x256 32-bit PNG"}));
    std::vector<std::pair<std::string, std::string>> expected = {{"file version", "2.0.65535.1"},
                                                                 {"product version", "0.0.0.0"},
                                                                 {"CompanyName", "Acme"},
                                                                 {"FileVersion", "2.0.65535.1"},
                                                                 {"ProductName", options.version.strings[0].second}};
    EXPECT_EQ(describeVersion(resources), expected);
    for (const Resource& r : resources)
        if (r.type.id == RT_VERSION_ID) {
            EXPECT_EQ(r.language, 0x0411);
        }
    // The dialogs and the manifest come through unchanged.
    std::vector<Resource> before = readResources(stub);
    for (const Resource& old : before) {
        if (old.type.id == RT_ICON_ID || old.type.id == RT_GROUP_ICON_ID || old.type.id == RT_VERSION_ID) continue;
        bool kept = false;
        for (const Resource& r : resources) kept |= r.type == old.type && r.name == old.name && r.data == old.data;
        EXPECT_TRUE(kept) << old.type.id;
    }

    uint32_t pe = readLittle32(&stub[0x3C]);
    uint32_t sections = pe + 24 + readLittle16(&stub[pe + 20]);
    uint32_t count = readLittle16(&stub[pe + 6]);
    ASSERT_EQ(std::memcmp(&stub[sections + (count - 1) * 40], ".reloc", 6), 0);
    auto field = [&](const Bytes& b, uint32_t section, uint32_t at) {
        return readLittle32(&b[sections + section * 40 + at]);
    };
    int64_t growth = int64_t{field(image, count - 2, 16)} - field(stub, count - 2, 16);
    EXPECT_GT(growth, 0);
    EXPECT_EQ(image.size(), stub.size() + growth);
    EXPECT_EQ(field(image, count - 1, 20), field(stub, count - 1, 20) + growth);
    EXPECT_GT(field(image, count - 1, 12), field(stub, count - 1, 12));
    EXPECT_EQ(readLittle32(&image[pe + 24 + 96 + 5 * 8]), field(image, count - 1, 12));  // the relocations' directory
    uint32_t headersEnd = readLittle32(&stub[pe + 24 + 60]);
    EXPECT_TRUE(
        std::equal(stub.begin() + headersEnd, stub.begin() + field(stub, count - 2, 20), image.begin() + headersEnd))
        << "the sections in front of the resources stay as they are";

    MemberSpec member;
    member.name = "a.txt";
    member.data = "a";
    std::string archive = level2Member(member) + std::string(2, '\0');
    Bytes built = buildSelfExtractor(image, Bytes(archive.begin(), archive.end()), options);
    EXPECT_EQ(readLittle32(&built[SETTINGS_OFFSET]), image.size());
    ASSERT_NE(checksumField(built), 0u);
    Bytes recomputed = built;
    updateChecksum(recomputed);
    EXPECT_EQ(recomputed, built) << "the checksum covers the settings and the archive";
}

TEST(AuthorResourcesTest, RefusesStubsWhoseResourcesCannotMove) {
    Bytes stub = readBuiltStub();
    ASSERT_FALSE(stub.empty()) << "build the windows preset first";
    BuildOptions options;
    options.version.strings = {{"CompanyName", "Acme"}};
    Bytes trailing = stub;
    trailing.push_back(0);
    EXPECT_NE(errorOf([&] { stubWithResources(trailing, options); }).find("data behind its last section"),
              std::string::npos);
    Bytes signedStub = stub;
    uint32_t pe = readLittle32(&stub[0x3C]);
    writeLittle32(&signedStub[pe + 24 + 96 + 4 * 8 + 4], 16);
    EXPECT_NE(errorOf([&] { stubWithResources(signedStub, options); }).find("is signed"), std::string::npos);
}

// Three directories of 41 entries, each entry leading to the same next
// directory: 68,921 resources from 1 KB, which reading stops short of.
TEST(AuthorResourcesTest, RefusesAResourceTreeThatNamesTooManyResources) {
    Bytes stub = readBuiltStub();
    ASSERT_FALSE(stub.empty()) << "build the windows preset first";
    uint32_t pe = readLittle32(&stub[0x3C]);
    uint32_t rva = readLittle32(&stub[pe + 24 + 96 + 2 * 8]);
    uint32_t sections = pe + 24 + readLittle16(&stub[pe + 20]);
    uint32_t at = 0;
    for (uint32_t i = 0; i < readLittle16(&stub[pe + 6]); ++i)
        if (readLittle32(&stub[sections + i * 40 + 12]) == rva) at = readLittle32(&stub[sections + i * 40 + 20]);
    ASSERT_NE(at, 0u);
    const uint32_t entries = 41, directory = 16 + entries * 8;
    for (uint32_t level = 0; level < 3; ++level) {
        uint32_t base = at + level * directory;
        std::fill(&stub[base], &stub[base + directory], 0);
        writeLittle16(&stub[base + 14], entries);
        for (uint32_t i = 0; i < entries; ++i) {
            writeLittle32(&stub[base + 16 + i * 8], i + 1);
            uint32_t next = (level + 1) * directory;
            writeLittle32(&stub[base + 16 + i * 8 + 4], level < 2 ? 0x80000000 | next : next);
        }
    }
    uint32_t entry = at + 3 * directory;
    writeLittle32(&stub[entry], rva);
    writeLittle32(&stub[entry + 4], 4);
    EXPECT_NE(errorOf([&] { readResources(stub); }).find("too many resources"), std::string::npos);
}

}  // namespace
