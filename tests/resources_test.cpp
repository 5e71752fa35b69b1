// The resources linked into the windows preset's velkar.exe, read back from
// the PE file: the two dialog templates control by control and the icon
// group. The reader trusts nothing in the file and fails by name instead of
// reading past what a directory or template claims to hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_order.h"
#include "resources/control_ids.h"
#include "support/archive_maker.h"
#include "support/built_stub.h"
#include "support/command.h"
#include "support/test_support.h"
#include "tools/velkar_build/builder.h"

namespace {

// The smallest archive the builder takes: one stored member and the end.
Bytes oneMemberArchive() {
    MemberSpec member;
    member.name = "a.txt";
    member.data = "a";
    std::string bytes = level2Member(member) + std::string(2, '\0');
    return Bytes(bytes.begin(), bytes.end());
}

using Bytes = std::vector<uint8_t>;

// Windows' values, as windows.h names them.
const uint16_t RT_ICON = 3, RT_DIALOG = 5, RT_GROUP_ICON = 14;
const uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
               WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_VSCROLL = 0x00200000, WS_SYSMENU = 0x00080000,
               WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000;
const uint32_t DS_SETFONT = 0x40, DS_MODALFRAME = 0x80, WS_EX_DLGMODALFRAME = 0x1;
const uint32_t SS_LEFT = 0x0, SS_LEFTNOWORDWRAP = 0xC, SS_NOPREFIX = 0x80;
const uint32_t ES_LEFT = 0x0, ES_AUTOHSCROLL = 0x80, ES_OEMCONVERT = 0x400;
const uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2, BS_AUTOCHECKBOX = 0x3;
const uint32_t LBS_NOTIFY = 0x1, LBS_SORT = 0x2, LBS_OWNERDRAWFIXED = 0x10, LBS_HASSTRINGS = 0x40,
               LBS_DISABLENOSCROLL = 0x1000;
const uint32_t CBS_DROPDOWNLIST = 0x3, CBS_OWNERDRAWFIXED = 0x10, CBS_AUTOHSCROLL = 0x40, CBS_SORT = 0x100,
               CBS_HASSTRINGS = 0x200;
const uint32_t IDOK = 1, IDCANCEL = 2;

const uint32_t DIALOG_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
static_assert(DIALOG_STYLE == 0x80C80080, "the dialogs' style as the templates hold it");

[[noreturn]] void fail(const std::string& message) { throw std::runtime_error(message); }

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A bounds-checked stretch of the file, named for the messages.
class Window {
public:
    Window(const Bytes& file, uint64_t begin, uint64_t size, std::string what)
        : file_(&file), begin_(begin), size_(size), what_(std::move(what)) {
        if (begin + size > file.size()) fail(what_ + " lies beyond the end of the file");
    }
    uint32_t u8(uint64_t at) const {
        need(at, 1);
        return (*file_)[begin_ + at];
    }
    uint32_t u16(uint64_t at) const {
        need(at, 2);
        return readLittle16(&(*file_)[begin_ + at]);
    }
    uint32_t u32(uint64_t at) const {
        need(at, 4);
        return readLittle32(&(*file_)[begin_ + at]);
    }
    uint64_t size() const { return size_; }
    void need(uint64_t at, uint64_t count) const {
        if (at + count > size_)
            fail(what_ + " is truncated: " + std::to_string(count) + " bytes wanted at " + std::to_string(at) + " of " +
                 std::to_string(size_));
    }

private:
    const Bytes* file_;
    uint64_t begin_, size_;
    std::string what_;
};

struct Key {
    Key(uint16_t number) : id(number) {}
    Key(const char* text) : name(upper(text)) {}
    std::string name;  // empty for an id
    uint32_t id = 0;
    std::string show() const { return name.empty() ? "#" + std::to_string(id) : name; }
};

struct Entry {
    Key key;
    uint32_t offset;
    bool directory;
};

// The resource tree of a PE32 file: type, then name, then language.
class Resources {
public:
    explicit Resources(const Bytes& file) : file_(file), section_(file, 0, 0, "resource section") {
        Window whole(file, 0, file.size(), "file");
        if (whole.u16(0) != 0x5A4D) fail("no MZ header");
        const uint32_t pe = whole.u32(0x3C), optional = pe + 24;
        if (whole.u32(pe) != 0x4550) fail("no PE signature");
        if (whole.u16(optional) != 0x10B) fail("not a PE32 optional header");
        if (whole.u32(optional + 92) <= 2) fail("no resource data directory");
        sections_ = whole.u16(pe + 6);
        sectionTable_ = optional + whole.u16(pe + 20);
        const uint32_t rva = whole.u32(optional + 112), size = whole.u32(optional + 116);
        if (rva == 0 || size == 0) fail("the file has no resources");
        section_ = Window(file, fileOffset(rva, size, "resource section"), size, "resource section");
    }

    std::vector<Entry> entries(const Key& type) const { return children(find(readDirectory(0), type, "the types")); }

    // The first language's data.
    Window data(const Key& type, const Key& name) const {
        const Entry named = find(entries(type), name, "type " + type.show());
        const std::vector<Entry> languages = children(named);
        if (languages.empty()) fail(name.show() + " has no language");
        if (languages[0].directory) fail(name.show() + " nests deeper than its language");
        const uint32_t at = languages[0].offset, rva = section_.u32(at), size = section_.u32(at + 4);
        return Window(file_, fileOffset(rva, size, name.show()), size, name.show());
    }

private:
    uint64_t fileOffset(uint32_t rva, uint32_t size, const std::string& what) const {
        Window table(file_, sectionTable_, sections_ * 40ull, "section table");
        for (uint32_t i = 0; i < sections_; ++i) {
            const uint32_t va = table.u32(i * 40 + 12), raw = table.u32(i * 40 + 16);
            if (rva >= va && uint64_t{rva} + size <= uint64_t{va} + raw) return table.u32(i * 40 + 20) + (rva - va);
        }
        fail(what + " is not inside any section's raw data");
    }

    std::vector<Entry> children(const Entry& parent) const {
        if (!parent.directory) fail(parent.key.show() + " is data where a directory belongs");
        return readDirectory(parent.offset);
    }

    // Named entries come first, then ids, each in ascending order: Windows
    // looks resources up by binary search and misses any out of order.
    std::vector<Entry> readDirectory(uint32_t at) const {
        const uint32_t named = section_.u16(at + 12), count = named + section_.u16(at + 14);
        std::vector<Entry> list;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t name = section_.u32(at + 16 + i * 8), offset = section_.u32(at + 20 + i * 8);
            if ((name >> 31) != (i < named)) fail("directory entry " + std::to_string(i) + " is misplaced");
            Key key(static_cast<uint16_t>(name));
            if (name >> 31) {
                const uint32_t text = name & 0x7FFFFFFF, length = section_.u16(text);
                key = Key("");
                for (uint32_t c = 0; c < length; ++c) {
                    const uint32_t unit = section_.u16(text + 2 + c * 2);
                    key.name += static_cast<char>(unit < 0x80 ? std::toupper(static_cast<int>(unit)) : '?');
                }
                if (key.name.empty()) fail("directory entry " + std::to_string(i) + " has an empty name");
            } else if (name > 0xFFFF) {
                fail("resource id " + std::to_string(name) + " is out of range");
            }
            if (!list.empty() && key.name.empty() == list.back().key.name.empty() &&
                (key.name.empty() ? key.id <= list.back().key.id : key.name <= list.back().key.name))
                fail(key.show() + " is out of order behind " + list.back().key.show());
            list.push_back({key, offset & 0x7FFFFFFF, (offset >> 31) != 0});
        }
        return list;
    }

    static Entry find(const std::vector<Entry>& list, const Key& key, const std::string& within) {
        for (const Entry& entry : list)
            if (entry.key.name == key.name && entry.key.id == key.id) return entry;
        fail("no resource " + key.show() + " among " + within);
    }

    const Bytes& file_;
    Window section_;
    uint32_t sections_ = 0;
    uint64_t sectionTable_ = 0;
};

struct Control {
    uint32_t helpId = 0, exStyle = 0, style = 0, id = 0, extraBytes = 0;
    std::array<int32_t, 4> rect{};
    std::string cls, text;
};

struct Dialog {
    bool extended = false;
    uint32_t helpId = 0, exStyle = 0, style = 0;
    std::array<int32_t, 4> rect{};
    std::string menu, cls, caption;
    std::vector<Control> controls;
    uint64_t end = 0;  // behind the last control
};

class Cursor {
public:
    explicit Cursor(const Window& window) : window_(window) {}
    uint32_t u16() {
        at += 2;
        return window_.u16(at - 2);
    }
    uint32_t u32() {
        at += 4;
        return window_.u32(at - 4);
    }
    std::array<int32_t, 4> rect() {
        std::array<int32_t, 4> r;
        for (int32_t& value : r) value = static_cast<int16_t>(u16());
        return r;
    }
    // A string, or an ordinal written "#n".
    std::string text() {
        uint32_t unit = u16();
        if (unit == 0xFFFF) return "#" + std::to_string(u16());
        std::string result;
        for (; unit != 0; unit = u16()) result += static_cast<char>(unit < 0x80 ? unit : '?');
        return result;
    }
    void skip(uint64_t count) {
        window_.need(at, count);
        at += count;
    }
    void align() { at = (at + 3) & ~uint64_t{3}; }
    uint64_t at = 0;

private:
    const Window& window_;
};

// Templates name the common classes either way; Windows matches them ignoring case.
std::string className(const std::string& raw) {
    const char* const ordinals[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
    for (uint32_t i = 0; i < 6; ++i)
        if (raw == "#" + std::to_string(0x80 + i)) return upper(ordinals[i]);
    return upper(raw);
}

Dialog readDialog(const Window& data) {
    Cursor in(data);
    Dialog dialog;
    dialog.extended = data.u16(0) == 1 && data.u16(2) == 0xFFFF;
    if (dialog.extended) {
        in.at = 4;
        dialog.helpId = in.u32();
        dialog.exStyle = in.u32();
        dialog.style = in.u32();
    } else {
        dialog.style = in.u32();
        dialog.exStyle = in.u32();
    }
    const uint32_t count = in.u16();
    dialog.rect = in.rect();
    dialog.menu = in.text();
    dialog.cls = in.text();
    dialog.caption = in.text();
    if (dialog.style & DS_SETFONT) {
        in.skip(dialog.extended ? 6 : 2);
        in.text();
    }
    for (uint32_t i = 0; i < count; ++i) {
        in.align();
        Control control;
        if (dialog.extended) {
            control.helpId = in.u32();
            control.exStyle = in.u32();
            control.style = in.u32();
        } else {
            control.style = in.u32();
            control.exStyle = in.u32();
        }
        control.rect = in.rect();
        control.id = dialog.extended ? in.u32() : in.u16();
        control.cls = className(in.text());
        control.text = in.text();
        control.extraBytes = in.u16();
        in.skip(control.extraBytes);
        dialog.controls.push_back(control);
    }
    dialog.end = in.at;
    return dialog;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

struct ExpectedControl {
    uint32_t id;
    const char* cls;
    const char* text;
    std::array<int32_t, 4> rect;
    uint32_t style;
};

void expectControls(const Dialog& dialog, const std::vector<ExpectedControl>& expected) {
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Control& control = dialog.controls[i];
        const ExpectedControl& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(e.id));
        EXPECT_EQ(control.id, e.id);
        EXPECT_EQ(control.cls, upper(e.cls));
        EXPECT_EQ(control.text, e.text);
        EXPECT_EQ(control.rect, e.rect);
        EXPECT_EQ(hex(control.style), hex(e.style));
        EXPECT_EQ(control.exStyle, 0u);
        EXPECT_EQ(control.helpId, 0u);
        EXPECT_EQ(control.extraBytes, 0u);
    }
}

class StubResources : public ::testing::Test {
protected:
    void SetUp() override {
        stub = readBuiltStub();
        ASSERT_FALSE(stub.empty()) << STUB_PATH << " is missing: build the windows preset first";
    }

    // The template itself, then nothing but padding behind its controls.
    Dialog dialog(const char* name) {
        Window data = Resources(stub).data(RT_DIALOG, name);
        Dialog read = readDialog(data);
        EXPECT_EQ((read.end + 3) / 4, (data.size() + 3) / 4) << name << " holds more than its controls";
        EXPECT_EQ(read.menu, "");
        EXPECT_EQ(read.cls, "") << "the default dialog class";
        EXPECT_EQ(hex(read.style), hex(DIALOG_STYLE)) << "and so no font of its own";
        return read;
    }

    Bytes stub;
};

TEST_F(StubResources, MainDialogTemplate) {
    const uint32_t SHOWN = WS_CHILD | WS_VISIBLE;
    Dialog main = dialog("SfxDialog");
    EXPECT_TRUE(main.extended);
    EXPECT_EQ(main.helpId, 0u);
    EXPECT_EQ(main.exStyle, WS_EX_DLGMODALFRAME);
    EXPECT_EQ(main.caption, "Install");
    EXPECT_EQ(main.rect, (std::array<int32_t, 4>{32, 32, 205, 95}));
    expectControls(main,
                   {
                       {ID_LABEL, "Static", "Install &Directory:", {10, 7, 157, 8}, SHOWN | SS_LEFT},
                       {ID_DIRECTORY,
                        "Edit",
                        "",
                        {10, 18, 135, 12},
                        SHOWN | ES_LEFT | ES_AUTOHSCROLL | ES_OEMCONVERT | WS_BORDER | WS_TABSTOP},
                       {ID_REFERENCE, "Button", "&Reference...", {148, 17, 48, 14}, SHOWN | BS_PUSHBUTTON | WS_TABSTOP},
                       {ID_FILE_NAME, "Static", "", {12, 60, 130, 8}, SHOWN | SS_LEFTNOWORDWRAP},
                       {ID_PROGRESS, "Static", "", {148, 60, 45, 8}, SHOWN | SS_LEFTNOWORDWRAP},
                       {IDOK, "Button", "&Ok", {49, 72, 40, 14}, SHOWN | BS_DEFPUSHBUTTON | WS_TABSTOP},
                       {IDCANCEL, "Button", "&Cancel", {114, 72, 40, 14}, SHOWN | BS_PUSHBUTTON | WS_TABSTOP},
                       {ID_GROUP_BOX, "Button", "&Start Menu", {12, 32, 176, 12}, SHOWN | BS_CHECKBOX | WS_TABSTOP},
                       {ID_CLASS_BOX, "Button", "Set Cl&ass", {12, 44, 176, 12}, SHOWN | BS_CHECKBOX | WS_TABSTOP},
                   });
}

TEST_F(StubResources, DirectoryChooserTemplate) {
    const uint32_t SHOWN = WS_CHILD | WS_VISIBLE, HIDDEN = WS_CHILD | WS_DISABLED;
    const uint32_t LIST =
        LBS_NOTIFY | LBS_SORT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_DISABLENOSCROLL | WS_VSCROLL | WS_BORDER;
    const uint32_t EDIT = ES_LEFT | ES_AUTOHSCROLL | ES_OEMCONVERT | WS_BORDER | WS_TABSTOP;
    Dialog chooser = dialog("GetDirDialog");
    EXPECT_FALSE(chooser.extended) << "the classic open-file dialog takes a plain template";
    EXPECT_EQ(chooser.exStyle, 0u);
    EXPECT_EQ(chooser.caption, "");
    EXPECT_EQ(chooser.rect, (std::array<int32_t, 4>{24, 24, 175, 140}));
    expectControls(
        chooser, {
                     {0xFFFF, "Static", "&Directory:", {10, 11, 92, 9}, SHOWN | SS_LEFT},
                     {1088, "Static", "", {10, 22, 92, 9}, SHOWN | SS_LEFT | SS_NOPREFIX},
                     {1121, "ListBox", "", {10, 34, 92, 68}, SHOWN | LIST | WS_TABSTOP},
                     {1091, "Static", "Dri&ve:", {10, 106, 92, 9}, SHOWN | SS_LEFT},
                     {1137,
                      "ComboBox",
                      "",
                      {10, 116, 92, 68},
                      SHOWN | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_AUTOHSCROLL | CBS_SORT | CBS_HASSTRINGS |
                          WS_VSCROLL | WS_BORDER | WS_TABSTOP},
                     {IDOK, "Button", "&Ok", {115, 12, 50, 14}, SHOWN | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
                     {IDCANCEL, "Button", "&Cancel", {115, 30, 50, 14}, SHOWN | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP},
                     {1038, "Button", "&Help", {115, 55, 50, 14}, SHOWN | BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP},
                     {1090, "Static", "File&name:", {-269, 8, 76, 9}, HIDDEN | SS_LEFT},
                     {1152, "Edit", "", {-271, 20, 90, 12}, HIDDEN | EDIT},
                     {1120, "ListBox", "", {-269, 37, 90, 68}, HIDDEN | LIST},
                     {1089, "Static", "File &Type:", {-269, 109, 90, 9}, HIDDEN | SS_LEFT},
                     {1136,
                      "ComboBox",
                      "",
                      {-268, 121, 90, 36},
                      HIDDEN | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_VSCROLL | WS_BORDER},
                     {1040, "Button", "Over&write", {-263, 139, 63, 12}, HIDDEN | BS_AUTOCHECKBOX | WS_GROUP},
                 });
}

TEST_F(StubResources, IconGroupIsTheProgramsIcon) {
    Resources resources(stub);
    const std::vector<Entry> groups = resources.entries(RT_GROUP_ICON);
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups[0].key.name, "IDI_ICON1") << "Windows shows the first icon group as the program's icon";

    Window group = resources.data(RT_GROUP_ICON, "IDI_ICON1");
    EXPECT_EQ(group.u16(0), 0u);
    EXPECT_EQ(group.u16(2), 1u) << "icons, not cursors";
    ASSERT_EQ(group.u16(4), 2u);
    EXPECT_EQ(group.size(), 6u + 2 * 14);
    const uint32_t sides[] = {32, 16};
    for (uint32_t i = 0; i < 2; ++i) {
        const uint32_t entry = 6 + i * 14, side = sides[i], bits = group.u16(entry + 6);
        SCOPED_TRACE(std::to_string(side) + "x" + std::to_string(side));
        EXPECT_EQ(group.u8(entry), side);
        EXPECT_EQ(group.u8(entry + 1), side);
        EXPECT_EQ(group.u8(entry + 2), bits < 8 ? 1u << bits : 0u) << "colour count";
        EXPECT_EQ(group.u16(entry + 4), 1u) << "planes";

        // Windows picks among the images by the group's entries, so they must
        // describe the images truly: colour rows and mask rows under one
        // header, each row padded to a DWORD.
        Window image = resources.data(RT_ICON, static_cast<uint16_t>(group.u16(entry + 12)));
        EXPECT_EQ(image.size(), group.u32(entry + 8));
        EXPECT_EQ(image.u32(0), 40u) << "BITMAPINFOHEADER";
        EXPECT_EQ(image.u32(4), side);
        EXPECT_EQ(image.u32(8), 2 * side) << "colour and mask";
        EXPECT_EQ(image.u16(12), 1u);
        EXPECT_EQ(image.u16(14), bits);
        EXPECT_EQ(image.u32(16), 0u) << "BI_RGB";
        const uint32_t colours = image.u32(32) ? image.u32(32) : bits <= 8 ? 1u << bits : 0;
        EXPECT_EQ(image.size(), 40 + colours * 4 + (side * bits + 31) / 32 * 4 * side + (side + 31) / 32 * 4 * side);
    }
}

// The manifest, as Windows reads it before the program starts. Windows
// refuses to start a program whose manifest is malformed ("side-by-side
// configuration is incorrect") and Wine starts it anyway, so only a real XML
// parser can catch a broken one. Both levels are read back: the stub's own
// and the one velkar-build --admin writes into its copy.
const uint16_t RT_MANIFEST = 24, CREATEPROCESS_MANIFEST_RESOURCE_ID = 1;
const char* const ASSEMBLY_V1 = "urn:schemas-microsoft-com:asm.v1";
const char* const ASSEMBLY_V2 = "urn:schemas-microsoft-com:asm.v2";
const char* const COMPATIBILITY_V1 = "urn:schemas-microsoft-com:compatibility.v1";

// xmllint's answer to an XPath expression over the file; status 0 when it
// parsed the file and evaluated the expression.
std::string xpath(const std::string& file, const std::string& expression, int* status) {
    std::string output = runCommand("xmllint --xpath \"" + expression + "\" '" + file + "' 2>&1", status);
    return std::regex_replace(output, std::regex(R"(^\s+|\s+$)"), "");
}

// A step of an XPath location path that names the namespace as well.
std::string step(const char* name, const char* space) {
    return std::string("*[local-name()='") + name + "' and namespace-uri()='" + space + "']";
}

TEST_F(StubResources, ManifestIsWellFormedAndStatesTheExecutionLevel) {
    BuildOptions admin;
    admin.requireAdministrator = true;
    const struct {
        const char* name;
        Bytes file;
        const char* level;
    } variants[] = {
        {"the stub", stub, "asInvoker"},
        {"velkar-build --admin", buildSelfExtractor(stub, oneMemberArchive(), admin), "requireAdministrator"},
    };
    const std::string level = "/" + step("assembly", ASSEMBLY_V1) + "/" + step("trustInfo", ASSEMBLY_V2) + "/" +
                              step("security", ASSEMBLY_V2) + "/" + step("requestedPrivileges", ASSEMBLY_V2) + "/" +
                              step("requestedExecutionLevel", ASSEMBLY_V2);
    const std::string systems = "/*/" + step("compatibility", COMPATIBILITY_V1) + "/" +
                                step("application", COMPATIBILITY_V1) + "/" + step("supportedOS", COMPATIBILITY_V1);
    // Vista, 7, 8, 8.1, and 10 with 11.
    const std::string expectedSystems =
        "Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\" Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\" "
        "Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\" Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\" "
        "Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"";
    const struct {
        std::string expression;
        const char* answer;  // nullptr: the variant's level
    } queries[] = {
        {"count(" + level + ")", "1"},
        {"count(//*[local-name()='requestedExecutionLevel'])", "1"},
        {"string(" + level + "/@level)", nullptr},
        {"string(" + level + "/@uiAccess)", "false"},
        // Common controls 6 or a DPI setting would change the dialogs' look.
        {"count(//*[local-name()='dependency' or local-name()='windowsSettings'])", "0"},
    };
    ScratchDir scratch;
    for (const auto& variant : variants) {
        SCOPED_TRACE(variant.name);
        Window data = Resources(variant.file).data(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
        std::string text;
        for (uint64_t i = 0; i < data.size(); ++i) text += static_cast<char>(data.u8(i));
        scratch.write("manifest.xml", text);
        const std::string file = scratch.file("manifest.xml");
        int status = -1;
        for (const auto& query : queries) {
            std::string answer = xpath(file, query.expression, &status);
            EXPECT_EQ(status, 0) << query.expression << ": " << answer;
            EXPECT_EQ(answer, query.answer ? query.answer : variant.level) << query.expression;
        }
        std::string all = xpath(file, systems + "/@Id", &status);
        EXPECT_EQ(std::regex_replace(all, std::regex(R"(\s+)"), " "), expectedSystems);
    }
}

TEST_F(StubResources, AdminBuildNeedsTheLevelSlot) {
    BuildOptions admin;
    admin.requireAdministrator = true;
    Bytes changed = stub;
    const std::string slot = "level=\"asInvoker\"           ";
    auto found = std::search(changed.begin(), changed.end(), slot.begin(), slot.end());
    ASSERT_NE(found, changed.end());
    found[slot.size() - 1] = 'x';  // a stub of another version, whose slot is narrower
    try {
        buildSelfExtractor(changed, oneMemberArchive(), admin);
        ADD_FAILURE() << "built without a level to rewrite";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("asInvoker"), std::string::npos) << error.what();
    }
    EXPECT_NO_THROW(buildSelfExtractor(changed, oneMemberArchive(), BuildOptions{})) << "a copy that keeps the level";
}

}  // namespace
