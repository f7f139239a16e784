// The product executable read as a file: its headers, exports, imports and resources.
// The test may run as a 64-bit program while the product is a 32-bit PE, so nothing is
// loaded: the file is parsed here, every read bounds-checked.
#include "support.h"
#include "version.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string ExePath;      // velmor.exe, from the command line
std::string VelmorcPath;  // velmorc.exe, from the command line

// Thrown by every read outside the file or its structure; GoogleTest turns it into a failure.
struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string Hex(std::uint32_t value)
{
    std::ostringstream text;
    text << "0x" << std::hex << std::uppercase << value;
    return text.str();
}

std::size_t AlignTo(std::size_t at, std::size_t unit) { return (at + unit - 1) / unit * unit; }

void AppendUtf8(std::string& out, std::uint16_t unit)
{
    if (unit < 0x80) {
        out += static_cast<char>(unit);
    } else if (unit < 0x800) {
        out += static_cast<char>(0xC0 | unit >> 6);
        out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | unit >> 12);
        out += static_cast<char>(0x80 | (unit >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (unit & 0x3F));
    }
}

// A window on the file's bytes, little-endian.
class Blob {
public:
    Blob(const std::string& bytes, std::string what) : bytes_(&bytes), begin_(0), size_(bytes.size()), what_(std::move(what)) {}

    std::size_t Size() const { return size_; }

    Blob Part(std::size_t at, std::size_t count, const std::string& what) const
    {
        Need(at, count, what + " in ");
        return Blob(*bytes_, begin_ + at, count, what);
    }
    std::uint8_t U8(std::size_t at) const
    {
        Need(at, 1);
        return static_cast<std::uint8_t>((*bytes_)[begin_ + at]);
    }
    std::uint16_t U16(std::size_t at) const
    {
        Need(at, 2);
        return static_cast<std::uint16_t>(U8(at) | U8(at + 1) << 8);
    }
    std::uint32_t U32(std::size_t at) const
    {
        Need(at, 4);
        return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
    }
    int S16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }

    std::string Text(std::size_t at) const
    {
        std::string text;
        for (char c; (c = static_cast<char>(U8(at))) != '\0'; ++at) text += c;
        return text;
    }
    // count UTF-16 units, as UTF-8.
    std::string Wide(std::size_t at, std::size_t count) const
    {
        Need(at, count * 2);
        std::string text;
        for (std::size_t i = 0; i < count; ++i) AppendUtf8(text, U16(at + 2 * i));
        return text;
    }
    // NUL-terminated UTF-16 text, as UTF-8; at moves past the NUL.
    std::string WideText(std::size_t& at) const
    {
        std::string text;
        for (std::uint16_t unit; (unit = U16(at)) != 0; at += 2) AppendUtf8(text, unit);
        at += 2;
        return text;
    }

private:
    Blob(const std::string& bytes, std::size_t begin, std::size_t size, std::string what)
        : bytes_(&bytes), begin_(begin), size_(size), what_(std::move(what)) {}

    void Need(std::size_t at, std::size_t count, const std::string& part = "") const
    {
        if (at > size_ || count > size_ - at)
            throw Malformed(part + what_ + ": " + std::to_string(count) + " bytes at offset " + std::to_string(at) +
                            " run past its end (" + std::to_string(size_) + " bytes)");
    }

    const std::string* bytes_;
    std::size_t begin_;
    std::size_t size_;
    std::string what_;
};

const std::string& ExeBytes()
{
    static const std::string bytes = ReadWholeFile(ExePath);
    return bytes;
}

const std::string& VelmorcBytes()
{
    static const std::string bytes = ReadWholeFile(VelmorcPath);
    return bytes;
}

struct Range {
    std::uint32_t rva;
    std::uint32_t size;
};

class PeFile {
public:
    explicit PeFile(const std::string& bytes) : file_(bytes, "file")
    {
        if (bytes.empty()) throw Malformed("cannot read the executable");
        if (file_.U16(0) != 0x5A4D) throw Malformed("no MZ header");
        std::size_t pe = file_.U32(0x3C);
        if (file_.U32(pe) != 0x4550) throw Malformed("no PE signature at " + Hex(static_cast<std::uint32_t>(pe)));
        machine = file_.U16(pe + 4);
        std::size_t sectionCount = file_.U16(pe + 6);
        std::size_t optional = pe + 24;
        magic = file_.U16(optional);
        subsystem = file_.U16(optional + 68);
        dllCharacteristics = file_.U16(optional + 70);
        if (magic == 0x10B) {
            directoryCount_ = file_.U32(optional + 92);
            directories_ = optional + 96;
        }
        std::size_t table = optional + file_.U16(pe + 20);
        for (std::size_t i = 0; i < sectionCount; ++i) {
            std::size_t at = table + 40 * i;
            std::uint32_t rawSize = file_.U32(at + 16);
            std::uint32_t rawOffset = rawSize != 0 ? file_.U32(at + 20) : 0;
            sections_.push_back({file_.U32(at + 12), file_.U32(at + 8), file_.U32(at + 36),
                                 file_.Part(rawOffset, rawSize, "section " + std::to_string(i + 1))});
        }
    }

    std::uint16_t machine = 0;
    std::uint16_t magic = 0;
    std::uint16_t subsystem = 0;
    std::uint16_t dllCharacteristics = 0;

    // A data directory of a PE32 optional header; none when it is absent or empty.
    std::optional<Range> Directory(std::uint32_t index) const
    {
        if (magic != 0x10B) throw Malformed("not a PE32 optional header: magic " + Hex(magic));
        if (index >= directoryCount_) return std::nullopt;
        Range range = {file_.U32(directories_ + 8 * index), file_.U32(directories_ + 8 * index + 4)};
        if (range.rva == 0) return std::nullopt;
        return range;
    }

    Blob At(std::uint32_t rva, std::uint64_t size, const std::string& what) const
    {
        const Section& section = Containing(rva, what);
        std::uint32_t offset = rva - section.rva;
        if (size > section.data.Size() - offset)
            throw Malformed(what + ": " + std::to_string(size) + " bytes at RVA " + Hex(rva) + " run past the section's data");
        return section.data.Part(offset, static_cast<std::size_t>(size), what);
    }

    std::string TextAt(std::uint32_t rva, const std::string& what) const
    {
        const Section& section = Containing(rva, what);
        return section.data.Text(rva - section.rva);
    }

    bool InCode(std::uint32_t rva) const
    {
        const std::uint32_t executable = 0x20000000;
        for (const Section& s : sections_)
            if (rva >= s.rva && rva - s.rva < std::max<std::uint64_t>(s.virtualSize, s.data.Size()))
                return (s.flags & executable) != 0;
        return false;
    }

private:
    struct Section {
        std::uint32_t rva;
        std::uint32_t virtualSize;
        std::uint32_t flags;
        Blob data;
    };

    const Section& Containing(std::uint32_t rva, const std::string& what) const
    {
        for (const Section& s : sections_)
            if (rva >= s.rva && rva - s.rva < s.data.Size()) return s;
        throw Malformed(what + ": RVA " + Hex(rva) + " lies in no section's file data");
    }

    Blob file_;
    std::uint32_t directoryCount_ = 0;
    std::size_t directories_ = 0;
    std::vector<Section> sections_;
};

PeFile LoadExe() { return PeFile(ExeBytes()); }

struct Export {
    std::string name;
    std::uint32_t rva;
};

std::vector<Export> NamedExports(const PeFile& exe)
{
    std::vector<Export> exports;
    std::optional<Range> range = exe.Directory(0);
    if (!range) return exports;
    Blob directory = exe.At(range->rva, 40, "export directory");
    std::uint32_t functionCount = directory.U32(20);
    std::uint32_t nameCount = directory.U32(24);
    Blob functions = exe.At(directory.U32(28), 4ull * functionCount, "export addresses");
    Blob names = exe.At(directory.U32(32), 4ull * nameCount, "export names");
    Blob ordinals = exe.At(directory.U32(36), 2ull * nameCount, "export name ordinals");
    for (std::size_t i = 0; i < nameCount; ++i)
        exports.push_back({exe.TextAt(names.U32(4 * i), "export name"), functions.U32(4u * ordinals.U16(2 * i))});
    return exports;
}

// Calls visit with each import descriptor of the file, and the name of the DLL it imports.
template <class Visit>
void ForEachImport(const PeFile& exe, Visit visit)
{
    std::optional<Range> range = exe.Directory(1);
    if (!range) return;
    for (std::uint32_t at = range->rva;; at += 20) {
        Blob descriptor = exe.At(at, 20, "import descriptor");
        if (descriptor.U32(12) == 0) return;
        visit(descriptor, exe.TextAt(descriptor.U32(12), "imported DLL name"));
    }
}

std::vector<std::string> ImportedDlls(const PeFile& exe)
{
    std::vector<std::string> dlls;
    ForEachImport(exe, [&](const Blob&, const std::string& dll) { dlls.push_back(dll); });
    return dlls;
}

// Resource types and names: a string name as itself, a numeric one as "#n" (as .rc files write it).
const char RtIcon[] = "#3";
const char RtDialog[] = "#5";
const char RtGroupIcon[] = "#14";
const char RtVersion[] = "#16";
const char RtManifest[] = "#24";

class Resources {
public:
    explicit Resources(const PeFile& exe) : exe_(exe), tree_(Tree(exe)) {}

    // The data of type/name, in the given language or else in its first one.
    Blob Find(const std::string& type, const std::string& name, std::optional<std::uint16_t> language = std::nullopt) const
    {
        const std::string what = "resource " + name + " of type " + type;
        Entry names = Pick(Entries(0), type, "no resources of type " + type);
        Entry languages = Pick(Entries(names.offset), name, "no " + what);
        std::vector<Entry> found = Entries(languages.offset);
        Entry leaf = language ? Pick(found, "#" + std::to_string(*language), "no " + what + " in language " + std::to_string(*language))
                              : Pick(found, found.empty() ? "" : found.front().key, "no language of " + what);
        if (leaf.directory) throw Malformed(what + ": a directory where its data belongs");
        return exe_.At(tree_.U32(leaf.offset), tree_.U32(leaf.offset + 4), what);
    }

private:
    struct Entry {
        std::string key;
        bool directory;
        std::uint32_t offset;
    };

    static Blob Tree(const PeFile& exe)
    {
        std::optional<Range> range = exe.Directory(2);
        if (!range) throw Malformed("no resource directory");
        return exe.At(range->rva, range->size, "resource directory");
    }

    std::vector<Entry> Entries(std::size_t directory) const
    {
        std::vector<Entry> entries;
        std::size_t count = std::size_t{tree_.U16(directory + 12)} + tree_.U16(directory + 14);
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t name = tree_.U32(directory + 16 + 8 * i);
            std::uint32_t data = tree_.U32(directory + 20 + 8 * i);
            std::size_t nameAt = name & 0x7FFFFFFF;
            std::string key = name & 0x80000000 ? tree_.Wide(nameAt + 2, tree_.U16(nameAt)) : "#" + std::to_string(name);
            entries.push_back({key, (data & 0x80000000) != 0, data & 0x7FFFFFFF});
        }
        return entries;
    }

    static Entry Pick(const std::vector<Entry>& entries, const std::string& key, const std::string& missing)
    {
        std::string present;
        for (const Entry& e : entries) {
            if (e.key == key) return e;
            present += " " + e.key;
        }
        throw Malformed(missing + " (present:" + present + ")");
    }

    const PeFile& exe_;
    Blob tree_;
};

struct DialogItem {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::int32_t id = 0;
    std::string cls;
    std::string text;
};

struct Dialog {
    bool extended = false;
    unsigned version = 0;
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string menu;
    std::string cls;
    std::string caption;
    unsigned pointSize = 0, weight = 0, italic = 0, charset = 0;
    std::string font;
    std::vector<DialogItem> items;
};

// sz_Or_Ord: 0 for none, 0xFFFF and an ordinal (read as "#n"), or NUL-terminated text.
std::string NameOrOrdinal(const Blob& blob, std::size_t& at)
{
    if (blob.U16(at) != 0xFFFF) return blob.WideText(at);
    std::string ordinal = "#" + std::to_string(blob.U16(at + 2));
    at += 4;
    return ordinal;
}

// DLGTEMPLATE or, with 0xFFFF in its second word, DLGTEMPLATEEX, with their items.
Dialog ParseDialog(const Blob& t)
{
    Dialog d;
    d.extended = t.U16(2) == 0xFFFF;
    std::size_t at = 0;
    std::size_t count = 0;
    if (d.extended) {
        d.version = t.U16(0);
        d.helpId = t.U32(4);
        d.exStyle = t.U32(8);
        d.style = t.U32(12);
        count = t.U16(16);
        at = 18;
    } else {
        d.style = t.U32(0);
        d.exStyle = t.U32(4);
        count = t.U16(8);
        at = 10;
    }
    d.x = t.S16(at), d.y = t.S16(at + 2), d.cx = t.S16(at + 4), d.cy = t.S16(at + 6);
    at += 8;
    d.menu = NameOrOrdinal(t, at);
    d.cls = NameOrOrdinal(t, at);
    d.caption = t.WideText(at);
    const std::uint32_t setFont = 0x40;
    if (d.style & setFont) {
        d.pointSize = t.U16(at);
        at += 2;
        if (d.extended) {
            d.weight = t.U16(at);
            d.italic = t.U8(at + 2);
            d.charset = t.U8(at + 3);
            at += 4;
        }
        d.font = t.WideText(at);
    }
    for (std::size_t i = 0; i < count; ++i) {
        at = AlignTo(at, 4);
        DialogItem item;
        if (d.extended) {
            item.exStyle = t.U32(at + 4);
            item.style = t.U32(at + 8);
            at += 12;
        } else {
            item.style = t.U32(at);
            item.exStyle = t.U32(at + 4);
            at += 8;
        }
        item.x = t.S16(at), item.y = t.S16(at + 2), item.cx = t.S16(at + 4), item.cy = t.S16(at + 6);
        at += 8;
        if (d.extended) {
            item.id = static_cast<std::int32_t>(t.U32(at));
            at += 4;
        } else {
            item.id = static_cast<std::int16_t>(t.U16(at));
            at += 2;
        }
        item.cls = NameOrOrdinal(t, at);
        item.text = NameOrOrdinal(t, at);
        std::size_t extra = t.U16(at);
        // The plain form counts its size word within the creation data, the extended form does not.
        at += d.extended ? 2 + extra : std::max<std::size_t>(extra, 2);
        d.items.push_back(item);
    }
    return d;
}

struct VersionNode {
    std::string key;
    Blob value;
    std::vector<VersionNode> children;
    std::size_t length;

    std::string Text() const
    {
        std::string text = value.Wide(0, value.Size() / 2);
        return text.substr(0, text.find('\0'));
    }
};

// One VS_VERSIONINFO node: wLength, wValueLength, wType, key, value, children (each DWORD aligned).
VersionNode ParseVersionNode(const Blob& blob, std::size_t at)
{
    std::size_t length = blob.U16(at);
    if (length < 6) throw Malformed("version node at " + std::to_string(at) + " shorter than its header");
    Blob node = blob.Part(at, length, "version node at " + std::to_string(at));
    std::uint16_t valueLength = node.U16(2);
    std::uint16_t type = node.U16(4);
    std::size_t pos = 6;
    std::string key = node.WideText(pos);
    std::size_t valueAt = std::min(AlignTo(pos, 4), length);
    std::size_t valueBytes = valueLength;
    // Text is counted in characters, though some tools count bytes: it never passes the node's end.
    if (type == 1) valueBytes = std::min<std::size_t>(2 * valueBytes, length - valueAt);
    VersionNode parsed = {key, node.Part(valueAt, valueBytes, "value of " + key), {}, length};
    for (std::size_t child = AlignTo(valueAt + valueBytes, 4); child < length;) {
        parsed.children.push_back(ParseVersionNode(node, child));
        child = AlignTo(child + parsed.children.back().length, 4);
    }
    return parsed;
}

VersionNode VersionBlock(const PeFile& exe)
{
    // The system reads the version block from the resource with ID 1.
    return ParseVersionNode(Resources(exe).Find(RtVersion, "#1"), 0);
}

std::vector<const VersionNode*> Children(const VersionNode& node, const std::string& key)
{
    std::vector<const VersionNode*> found;
    for (const VersionNode& child : node.children)
        if (child.key == key) found.push_back(&child);
    return found;
}

std::vector<std::pair<std::string, std::string>> VersionStrings(const VersionNode& root)
{
    std::vector<std::pair<std::string, std::string>> strings;
    for (const VersionNode* info : Children(root, "StringFileInfo"))
        for (const VersionNode& table : info->children)
            for (const VersionNode& entry : table.children) strings.emplace_back(entry.key, entry.Text());
    return strings;
}

std::string Upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string ClassName(const std::string& cls)
{
    if (cls == "#128") return "BUTTON";
    if (cls == "#129") return "EDIT";
    if (cls == "#130") return "STATIC";
    if (cls == "#133") return "COMBOBOX";
    return Upper(cls);
}

struct Box {
    int x, y, cx, cy;
};

std::string Place(const Box& box)
{
    return std::to_string(box.x) + "," + std::to_string(box.y) + " " + std::to_string(box.cx) + "x" + std::to_string(box.cy);
}

template <typename T>
std::string PlaceOf(const T& window)
{
    return Place({window.x, window.y, window.cx, window.cy});
}

struct ExpectedDialog {
    const char* caption;
    std::uint32_t style;
    Box box;
};

struct ExpectedControl {
    int id;
    const char* cls;
    const char* text;        // nullptr: the project's own wording, not empty
    std::optional<Box> box;  // none: the project's own place
    std::uint32_t style;
};

void ExpectDialog(const Dialog& got, const ExpectedDialog& want, const std::string& name)
{
    EXPECT_EQ(got.caption, want.caption) << name << " caption";
    EXPECT_EQ(Hex(got.style), Hex(want.style)) << name << " style";
    EXPECT_EQ(got.exStyle, 0u) << name << " extended style";
    EXPECT_EQ(PlaceOf(got), Place(want.box)) << name << " place and size";
    EXPECT_EQ(got.menu, "") << name << " menu";
    EXPECT_EQ(got.cls, "") << name << " class";
    EXPECT_EQ(got.font, "MS Sans Serif") << name << " font";
    EXPECT_EQ(got.pointSize, 8u) << name << " font size";
}

template <std::size_t N>
void ExpectControls(const Dialog& got, const ExpectedControl (&want)[N], const std::string& name)
{
    EXPECT_EQ(got.items.size(), N) << name << " control count";
    for (std::size_t i = 0; i < std::min(N, got.items.size()); ++i) {
        const DialogItem& item = got.items[i];
        const ExpectedControl& w = want[i];
        const std::string where = name + " control " + std::to_string(i + 1);
        EXPECT_EQ(item.id, w.id) << where << " id";
        EXPECT_EQ(ClassName(item.cls), w.cls) << where << " class (" << item.cls << ")";
        if (w.text) {
            EXPECT_EQ(item.text, w.text) << where << " text";
        } else {
            EXPECT_NE(item.text, "") << where << " text";
        }
        if (w.box) {
            EXPECT_EQ(PlaceOf(item), Place(*w.box)) << where << " place and size";
        }
        EXPECT_EQ(Hex(item.style), Hex(w.style)) << where << " style";
        EXPECT_EQ(item.exStyle, 0u) << where << " extended style";
    }
}

bool IsEmailAddress(const std::string& text)
{
    std::size_t at = text.find('@');
    return at != std::string::npos && at > 0 && text.find('@', at + 1) == std::string::npos &&
           text.find('.', at + 2) != std::string::npos && text.back() != '.' && text.find(' ') == std::string::npos;
}

TEST(VelmorExe, IsA32BitWindowsGuiProgramForI386)
{
    PeFile exe = LoadExe();
    EXPECT_EQ(Hex(exe.machine), "0x14C") << "machine";
    EXPECT_EQ(Hex(exe.magic), "0x10B") << "optional header magic";
    EXPECT_EQ(exe.subsystem, 2) << "subsystem";
}

TEST(VelmorExe, ExportsBothDialogProceduresByTheirPlainNames)
{
    PeFile exe = LoadExe();
    std::vector<Export> exports = NamedExports(exe);
    std::string listed;
    for (const Export& e : exports) listed += " " + e.name;
    for (const std::string name : {"VELMORDIALOGPROC", "ABOUTDIALOGPROC"}) {
        auto found = std::find_if(exports.begin(), exports.end(), [&](const Export& e) { return e.name == name; });
        if (found == exports.end()) {
            ADD_FAILURE() << "no export named " << name << "; exports:" << listed;
            continue;
        }
        EXPECT_TRUE(exe.InCode(found->rva)) << name << " points outside the code, at " << Hex(found->rva);
    }
    for (const Export& e : exports) EXPECT_TRUE(e.name.find('@') == std::string::npos) << "decorated export " << e.name;
}

TEST(VelmorExe, ImportsOnlyWindowsSystemDlls)
{
    const std::set<std::string> systemDlls = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMCTL32.DLL", "COMDLG32.DLL",
                                              "MSVCRT.DLL", "ADVAPI32.DLL", "SHELL32.DLL"};
    std::set<std::string> imported;
    for (const std::string& dll : ImportedDlls(LoadExe())) {
        EXPECT_EQ(systemDlls.count(Upper(dll)), 1u) << "imports " << dll << ", which is no Windows system DLL";
        imported.insert(Upper(dll));
    }
    // The mutex and the dialogs cannot do without these two.
    EXPECT_EQ(imported.count("KERNEL32.DLL"), 1u) << "no import from KERNEL32";
    EXPECT_EQ(imported.count("USER32.DLL"), 1u) << "no import from USER32";
}

TEST(VelmorExe, MainDialogTemplate)
{
    PeFile exe = LoadExe();
    Dialog d = ParseDialog(Resources(exe).Find(RtDialog, "VELMOR", 1033));
    EXPECT_TRUE(d.extended) << "VELMOR is no extended template";
    EXPECT_EQ(d.version, 1u) << "VELMOR template version";
    EXPECT_EQ(d.helpId, 0u) << "VELMOR help id";
    ExpectDialog(d, {"EBCDIC to ASCII Converter", 0x90CA0040, {6, 17, 304, 182}}, "VELMOR");
    EXPECT_EQ(d.weight, 0u) << "VELMOR font weight";
    EXPECT_EQ(d.italic, 0u) << "VELMOR font italic";
    EXPECT_EQ(d.charset, 1u) << "VELMOR font character set";

    const ExpectedControl controls[] = {
        // Each label right before its field, with an access key.
        {-1, "STATIC", "&Input File", Box{5, 7, 32, 8}, 0x50020000},
        {201, "COMBOBOX", "", Box{11, 17, 234, 46}, 0x50210042},
        {301, "BUTTON", "Browse", Box{252, 17, 40, 14}, 0x50010000},
        {-1, "STATIC", "&Output File", Box{1, 46, 37, 8}, 0x50020000},
        {202, "COMBOBOX", "", Box{10, 58, 236, 46}, 0x50210002},
        {302, "BUTTON", "Browse", Box{252, 58, 40, 14}, 0x50010000},
        {401, "BUTTON", "&Fixed record length output w/CRLF", Box{9, 116, 124, 10}, 0x50010003},
        {-1, "STATIC", "&Record Length", Box{18, 130, 50, 8}, 0x50020000},
        {402, "EDIT", "", Box{71, 130, 27, 12}, 0x58812080},
        {504, "BUTTON", "&Process", Box{170, 110, 40, 14}, 0x50010000},
        {501, "BUTTON", "&View", Box{230, 110, 40, 14}, 0x50010000},
        {502, "BUTTON", "&Quit", Box{170, 144, 40, 14}, 0x50010000},
        {503, "BUTTON", "&About", Box{230, 144, 40, 14}, 0x50010000},
    };
    ExpectControls(d, controls, "VELMOR");
}

// The window over a long job: the main dialog's font in the main dialog's units, so that it
// scales with the display as the main dialog does.
TEST(VelmorExe, ProgressWindowTemplate)
{
    PeFile exe = LoadExe();
    Dialog d = ParseDialog(Resources(exe).Find(RtDialog, "PROGRESS", 1033));
    EXPECT_TRUE(d.extended) << "PROGRESS is no extended template";
    ExpectDialog(d, {"Converting", 0x80C800C0, {0, 0, 262, 82}}, "PROGRESS");
    EXPECT_EQ(d.charset, 1u) << "PROGRESS font character set";
    const ExpectedControl controls[] = {
        {-1, "STATIC", "From:", Box{7, 7, 24, 8}, 0x50020000},
        {601, "STATIC", "", Box{33, 7, 222, 8}, 0x50008080},  // the ellipsis in the middle, "&" as it is
        {-1, "STATIC", "To:", Box{7, 19, 24, 8}, 0x50020000},
        {602, "STATIC", "", Box{33, 19, 222, 8}, 0x50008080},
        {603, "MSCTLS_PROGRESS32", "", Box{7, 33, 248, 10}, 0x50000001},
        {604, "STATIC", "", Box{7, 48, 248, 8}, 0x50000080},
        {2, "BUTTON", "Cancel", Box{205, 61, 50, 14}, 0x50010001},  // the default button
    };
    ExpectControls(d, controls, "PROGRESS");
}

TEST(VelmorExe, AboutDialogTemplateNamesThePublisherOfTheVersionBlock)
{
    PeFile exe = LoadExe();
    Dialog d = ParseDialog(Resources(exe).Find(RtDialog, "ABOUT"));
    EXPECT_FALSE(d.extended) << "ABOUT is an extended template";
    ExpectDialog(d, {"About VELMOR Converter", 0x90C000C0, {10, 10, 200, 120}}, "ABOUT");

    const ExpectedControl controls[] = {
        {-1, "STATIC", nullptr, Box{10, 10, 180, 12}, 0x50020001},
        {-1, "STATIC", nullptr, std::nullopt, 0x50020001},
        {-1, "STATIC", nullptr, std::nullopt, 0x50020001},
        {-1, "STATIC", nullptr, Box{10, 76, 180, 24}, 0x50020001},
        {1, "BUTTON", "&OK", Box{81, 104, 40, 14}, 0x50010000},
    };
    ExpectControls(d, controls, "ABOUT");
    ASSERT_GE(d.items.size(), 4u);

    std::string publisher;
    for (const auto& entry : VersionStrings(VersionBlock(exe)))
        if (entry.first == "CompanyName") publisher = entry.second;
    EXPECT_NE(publisher, "") << "no CompanyName in the version block";
    EXPECT_EQ(d.items[0].text, publisher + " EBCDIC to ASCII Converter v 2.2.0") << "ABOUT title line";

    const DialogItem& rights = d.items[1];
    const DialogItem& terms = d.items[2];
    EXPECT_LE(10 + 12, rights.y) << "ABOUT line 2 overlaps the title line";
    EXPECT_LE(rights.y + rights.cy, terms.y) << "ABOUT line 3 overlaps line 2";
    EXPECT_LE(terms.y + terms.cy, 76) << "ABOUT line 3 runs into the e-mail line";

    const std::string prefix = "E-mail comments/suggestions to ";
    const std::string& mail = d.items[3].text;
    EXPECT_EQ(mail.substr(0, prefix.size()), prefix) << "ABOUT line 4 text";
    EXPECT_TRUE(mail.size() > prefix.size() && IsEmailAddress(mail.substr(prefix.size())))
        << "ABOUT line 4 ends in no e-mail address: " << mail;
}

TEST(VelmorExe, ProgramIconIsOne32By32ImageOf256Colours)
{
    PeFile exe = LoadExe();
    Resources resources(exe);
    Blob group = resources.Find(RtGroupIcon, "PROGRAM");
    EXPECT_EQ(group.U16(2), 1) << "icon group type";
    ASSERT_EQ(group.U16(4), 1) << "icon group image count";
    EXPECT_EQ(int{group.U8(6)}, 32) << "icon group entry width";
    EXPECT_EQ(int{group.U8(7)}, 32) << "icon group entry height";
    EXPECT_EQ(group.U16(12), 8) << "icon group entry bits per pixel";

    Blob image = resources.Find(RtIcon, "#" + std::to_string(group.U16(18)));
    EXPECT_EQ(image.Size(), group.U32(14)) << "icon image size against its group entry";
    EXPECT_EQ(image.U32(0), 40u) << "icon image header size (BITMAPINFOHEADER)";
    EXPECT_EQ(static_cast<std::int32_t>(image.U32(4)), 32) << "icon image width";
    EXPECT_EQ(static_cast<std::int32_t>(image.U32(8)), 64) << "icon image height (colour and mask)";
    EXPECT_EQ(image.U16(14), 8) << "icon image bits per pixel";
}

TEST(VelmorExe, VersionBlock)
{
    VersionNode root = VersionBlock(LoadExe());
    EXPECT_EQ(root.key, "VS_VERSION_INFO") << "version block key";
    const Blob& fixed = root.value;
    EXPECT_EQ(Hex(fixed.U32(0)), "0xFEEF04BD") << "fixed file info signature";
    EXPECT_EQ(Hex(fixed.U32(8)) + " " + Hex(fixed.U32(12)), "0x20002 0x0") << "file version (2.2.0.0)";
    EXPECT_EQ(Hex(fixed.U32(16)) + " " + Hex(fixed.U32(20)), "0x20002 0x0") << "product version (2.2.0.0)";
    EXPECT_EQ(fixed.U32(28), 0u) << "file flags";
    EXPECT_EQ(fixed.U32(32), 4u) << "file OS";
    EXPECT_EQ(fixed.U32(36), 1u) << "file type";

    std::vector<const VersionNode*> infos = Children(root, "StringFileInfo");
    ASSERT_EQ(infos.size(), 1u) << "StringFileInfo blocks";
    ASSERT_EQ(infos[0]->children.size(), 1u) << "string tables";
    EXPECT_EQ(infos[0]->children[0].key, "040904E4") << "string table key";

    const std::pair<const char*, const char*> expected[] = {
        {"CompanyName", nullptr},
        {"FileDescription", "EBCDIC-ASCII Converter"},
        {"FileVersion", "Version 2.2.0.0"},
        {"InternalName", "VELMOR"},
        {"OriginalFilename", "velmor.exe"},
        {"LegalCopyright", nullptr},
        {"LegalTrademarks", "None"},
        {"ProductName", "velmor"},
        {"ProductVersion", "Version 2.2.0.0 November 2001"},
        {"Comments", "None"},
    };
    std::vector<std::pair<std::string, std::string>> strings = VersionStrings(root);
    std::vector<std::string> keys, expectedKeys;
    for (const auto& entry : strings) keys.push_back(entry.first);
    for (const auto& entry : expected) expectedKeys.push_back(entry.first);
    EXPECT_EQ(keys, expectedKeys) << "string table entries and their order";
    for (const auto& want : expected) {
        auto got = std::find_if(strings.begin(), strings.end(), [&](const auto& entry) { return entry.first == want.first; });
        if (got == strings.end()) continue;  // reported with the keys
        if (want.second) {
            EXPECT_EQ(got->second, want.second) << "version string " << want.first;
        } else {
            EXPECT_NE(got->second, "") << "version string " << want.first;
        }
    }

    for (const VersionNode* vars : Children(root, "VarFileInfo"))
        for (const VersionNode* translation : Children(*vars, "Translation")) {
            EXPECT_EQ(translation->value.Size(), 4u) << "Translation size";
            EXPECT_EQ(Hex(translation->value.U16(0)), "0x409") << "Translation language";
            EXPECT_EQ(translation->value.U16(2), 1252) << "Translation code page";
        }
}


// A manifest's elements as the loader reads them: name, attributes, and the text up to the
// next tag.
struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text;
};

std::vector<XmlElement> XmlElements(const std::string& xml)
{
    static const std::regex tag(R"(<([A-Za-z][\w.:-]*)((?:\s+[\w.:-]+\s*=\s*"[^"]*")*)\s*(/?)>([^<]*))");
    static const std::regex attribute(R"(([\w.:-]+)\s*=\s*"([^"]*)\")");
    std::vector<XmlElement> elements;
    for (auto t = std::sregex_iterator(xml.begin(), xml.end(), tag); t != std::sregex_iterator(); ++t) {
        XmlElement element{(*t)[1], {}, (*t)[3].length() == 0 ? (*t)[4].str() : ""};
        const std::string attributes = (*t)[2];
        for (auto a = std::sregex_iterator(attributes.begin(), attributes.end(), attribute); a != std::sregex_iterator(); ++a)
            element.attributes[(*a)[1]] = (*a)[2];
        elements.push_back(element);
    }
    return elements;
}

std::vector<XmlElement> Named(const std::vector<XmlElement>& elements, const std::string& name)
{
    std::vector<XmlElement> found;
    std::copy_if(elements.begin(), elements.end(), std::back_inserter(found),
                 [&](const XmlElement& e) { return e.name == name; });
    return found;
}

std::string Attribute(const std::vector<XmlElement>& elements, const std::string& name, const std::string& attribute)
{
    std::vector<XmlElement> found = Named(elements, name);
    if (found.size() != 1) return "<" + std::to_string(found.size()) + " elements " + name + ">";
    auto value = found.front().attributes.find(attribute);
    return value == found.front().attributes.end() ? "<no " + attribute + ">" : value->second;
}

TEST(ProgramManifests, RunAsInvokerOnEveryWindowsSinceVistaWithUtf8AsTheirCodePage)
{
    const std::string version = std::to_string(VELMOR_VERSION_MAJOR) + "." + std::to_string(VELMOR_VERSION_MINOR) +
                                "." + std::to_string(VELMOR_VERSION_PATCH) + "." + std::to_string(VELMOR_VERSION_BUILD);
    const std::set<std::string> vistaTo11 = {
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
    };
    struct Program {
        const char* name;
        const std::string& (*bytes)();
        bool dialog;  // velmor.exe: visual styles and DPI awareness
    };
    const Program programs[] = {{"velmor.exe", ExeBytes, true}, {"velmorc.exe", VelmorcBytes, false}};
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        PeFile exe(program.bytes());
        Blob data = Resources(exe).Find(RtManifest, "#1");
        std::string text;
        for (std::size_t i = 0; i < data.Size(); ++i) text += static_cast<char>(data.U8(i));
        std::vector<XmlElement> elements = XmlElements(text);
        ASSERT_FALSE(elements.empty()) << "no XML in the manifest";

        EXPECT_EQ(elements.front().name, "assembly");
        EXPECT_EQ(elements.front().attributes["xmlns"], "urn:schemas-microsoft-com:asm.v1");
        EXPECT_EQ(elements.front().attributes["manifestVersion"], "1.0");
        std::vector<XmlElement> identities = Named(elements, "assemblyIdentity");
        ASSERT_FALSE(identities.empty());
        EXPECT_EQ(identities.front().attributes["version"], version) << "the program's own identity";

        EXPECT_EQ(Attribute(elements, "trustInfo", "xmlns"), "urn:schemas-microsoft-com:asm.v3");
        EXPECT_EQ(Attribute(elements, "requestedExecutionLevel", "level"), "asInvoker");
        EXPECT_EQ(Attribute(elements, "requestedExecutionLevel", "uiAccess"), "false");

        EXPECT_EQ(Attribute(elements, "compatibility", "xmlns"), "urn:schemas-microsoft-com:compatibility.v1");
        std::set<std::string> supported;
        for (const XmlElement& os : Named(elements, "supportedOS")) supported.insert(os.attributes.at("Id"));
        EXPECT_EQ(supported, vistaTo11);

        EXPECT_EQ(Attribute(elements, "activeCodePage", "xmlns"), "http://schemas.microsoft.com/SMI/2019/WindowsSettings");
        std::vector<XmlElement> codePage = Named(elements, "activeCodePage");
        EXPECT_EQ(codePage.size() == 1 ? codePage.front().text : "", "UTF-8");
        // The dialog is laid out at each monitor's DPI; the console draws velmorc's text.
        std::vector<XmlElement> aware = Named(elements, "dpiAware");
        std::vector<XmlElement> awareness = Named(elements, "dpiAwareness");
        ASSERT_EQ(aware.size(), program.dialog ? 1u : 0u) << "dpiAware";
        ASSERT_EQ(awareness.size(), program.dialog ? 1u : 0u) << "dpiAwareness";
        if (program.dialog) {
            EXPECT_EQ(aware.front().attributes["xmlns"], "http://schemas.microsoft.com/SMI/2005/WindowsSettings");
            EXPECT_EQ(aware.front().text, "true");
            EXPECT_EQ(awareness.front().attributes["xmlns"], "http://schemas.microsoft.com/SMI/2016/WindowsSettings");
            EXPECT_EQ(awareness.front().text, "PerMonitorV2");
        }

        std::vector<XmlElement> commonControls;
        for (const XmlElement& identity : identities)
            if (identity.attributes.count("name") && identity.attributes.at("name") == "Microsoft.Windows.Common-Controls")
                commonControls.push_back(identity);
        ASSERT_EQ(commonControls.size(), program.dialog ? 1u : 0u) << "the dependency on Common Controls 6";
        if (program.dialog) {
            EXPECT_EQ(Named(elements, "dependentAssembly").size(), 1u);
            EXPECT_EQ(commonControls.front().attributes["version"], "6.0.0.0");
            EXPECT_EQ(commonControls.front().attributes["publicKeyToken"], "6595b64144ccf1df");
            EXPECT_EQ(commonControls.front().attributes["type"], "win32");
        }
    }
}

// Every function imported by name, as "DLL!name" with the DLL's name in capitals.
std::set<std::string> ImportedFunctions(const PeFile& exe)
{
    std::set<std::string> functions;
    ForEachImport(exe, [&](const Blob& descriptor, const std::string& dll) {
        std::uint32_t names = descriptor.U32(0) != 0 ? descriptor.U32(0) : descriptor.U32(16);
        for (std::uint32_t entry = names;; entry += 4) {
            std::uint32_t thunk = exe.At(entry, 4, "import name entry").U32(0);
            if (thunk == 0) break;
            if (thunk & 0x80000000) continue;  // by ordinal
            functions.insert(Upper(dll) + "!" + exe.TextAt(thunk + 2, "imported function name"));
        }
    });
    return functions;
}

struct ProgramFile {
    const char* name;
    const std::string& (*bytes)();
};
const ProgramFile BothPrograms[] = {{"velmor.exe", ExeBytes}, {"velmorc.exe", VelmorcBytes}};

TEST(BothPrograms, CarryTheHeaderFlagsOfACurrentLinker)
{
    const std::pair<std::uint16_t, const char*> flags[] = {
        {0x0040, "dynamic base (ASLR)"},
        {0x0100, "NX compatible (DEP)"},
        {0x8000, "terminal server aware"},
    };
    for (const ProgramFile& program : BothPrograms) {
        PeFile exe(program.bytes());
        for (const auto& flag : flags)
            EXPECT_EQ(exe.dllCharacteristics & flag.first, flag.first)
                << program.name << " is not " << flag.second << ": DllCharacteristics " << Hex(exe.dllCharacteristics);
    }
}

// The start-up code (services/dll_search.cpp) takes the current folder out of the DLL search
// and looks up SetDefaultDllDirectories at run time, which Windows 7 without its 2011 update
// lacks: its name is in the file, not among the imports.
TEST(BothPrograms, KeepTheDllSearchToTheSystemFolder)
{
    const std::string lookedUp = "SetDefaultDllDirectories";
    for (const ProgramFile& program : BothPrograms) {
        PeFile exe(program.bytes());
        std::set<std::string> imported = ImportedFunctions(exe);
        EXPECT_EQ(imported.count("KERNEL32.DLL!SetDllDirectoryA"), 1u) << program.name;
        EXPECT_EQ(imported.count("KERNEL32.DLL!" + lookedUp), 0u) << program.name << " would not start without it";
        EXPECT_NE(program.bytes().find(lookedUp + '\0'), std::string::npos) << program.name;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) ExePath = WindowsPath(argv[1]);
    if (argc > 2) VelmorcPath = WindowsPath(argv[2]);
    return RUN_ALL_TESTS();
}
