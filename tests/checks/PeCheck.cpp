// Reads a PE32 executable's own headers and checks what VelmoraUninstall.exe
// promises about itself:
//
//   PeCheck size    EXE BUDGET      the file is at most BUDGET bytes
//   PeCheck imports EXE ALLOWLIST   every DLL and function it imports is listed
//   PeCheck shape   EXE             32-bit x86 GUI program, ASLR and DEP, no
//                                   timestamp, one icon group 101 of one 32x32
//                                   16-colour image
//
// Each prints what it found and exits 1 on a violation or an unreadable file.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct BadFile : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Section {
    std::string name;
    uint32_t virtualSize, virtualAddress, rawSize, rawOffset, characteristics;
};

struct Image {
    std::vector<uint8_t> bytes;
    uint32_t peOffset = 0;
    uint32_t optionalOffset = 0;
    std::vector<Section> sections;
};

uint32_t Read(const Image &image, uint64_t offset, int width)
{
    if (offset + width > image.bytes.size())
        throw BadFile("read past the end of the file at offset " + std::to_string(offset));
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | image.bytes[offset + i];
    return value;
}

uint16_t Read16(const Image &image, uint64_t offset)
{
    return static_cast<uint16_t>(Read(image, offset, 2));
}

uint32_t Read32(const Image &image, uint64_t offset)
{
    return Read(image, offset, 4);
}

// File offset of an address relative to the image base; only bytes that are
// in the file count, not a section's zero-filled tail.
uint32_t OffsetOf(const Image &image, uint32_t rva)
{
    for (const Section &section : image.sections)
        if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize)
            return section.rawOffset + (rva - section.virtualAddress);
    throw BadFile("address " + std::to_string(rva) + " lies in no section's file data");
}

std::string ReadString(const Image &image, uint32_t rva)
{
    std::string text;
    for (uint32_t offset = OffsetOf(image, rva);; ++offset) {
        char c = static_cast<char>(Read(image, offset, 1));
        if (c == '\0')
            return text;
        if (text.size() > 512)
            throw BadFile("unterminated name at address " + std::to_string(rva));
        text += c;
    }
}

Image Load(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw BadFile("cannot open " + path + " (not built?)");
    Image image;
    image.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());

    if (image.bytes.size() < 64 || image.bytes[0] != 'M' || image.bytes[1] != 'Z')
        throw BadFile("no MZ header");
    image.peOffset = Read32(image, 0x3c);
    if (Read32(image, image.peOffset) != 0x00004550)
        throw BadFile("no PE signature at offset " + std::to_string(image.peOffset));

    uint32_t coff = image.peOffset + 4;
    uint16_t sectionCount = Read16(image, coff + 2);
    uint16_t optionalSize = Read16(image, coff + 16);
    image.optionalOffset = coff + 20;
    uint32_t table = image.optionalOffset + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        uint32_t at = table + 40u * i;
        Read(image, at + 39, 1); // the whole header is in the file
        std::string name(reinterpret_cast<const char *>(&image.bytes[at]), 8);
        name = name.substr(0, name.find('\0'));
        image.sections.push_back(
            {name, Read32(image, at + 8), Read32(image, at + 12), Read32(image, at + 16), Read32(image, at + 20),
             Read32(image, at + 36)});
    }
    return image;
}

bool IsPe32(const Image &image)
{
    return Read16(image, image.optionalOffset) == 0x10b;
}

// Data directory entry: {address, size}; PE32 layout.
std::pair<uint32_t, uint32_t> Directory(const Image &image, int index)
{
    uint32_t count = Read32(image, image.optionalOffset + 92);
    if (static_cast<uint32_t>(index) >= count)
        return {0, 0};
    uint32_t at = image.optionalOffset + 96 + 8u * index;
    return {Read32(image, at), Read32(image, at + 4)};
}

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// ---- imports ----

struct Import {
    std::string dll;
    std::string function; // "#N" for an import by ordinal
};

std::vector<Import> ReadImports(const Image &image)
{
    if (!IsPe32(image))
        throw BadFile("not PE32; the import table layout would differ");
    auto [directory, size] = Directory(image, 1);
    if (directory == 0 || size == 0)
        throw BadFile("no import directory");

    std::vector<Import> imports;
    for (uint32_t descriptor = OffsetOf(image, directory);; descriptor += 20) {
        uint32_t lookup = Read32(image, descriptor);
        uint32_t nameRva = Read32(image, descriptor + 12);
        uint32_t iat = Read32(image, descriptor + 16);
        if (lookup == 0 && nameRva == 0 && iat == 0)
            break;
        std::string dll = ReadString(image, nameRva);
        uint32_t thunks = OffsetOf(image, lookup != 0 ? lookup : iat);
        size_t before = imports.size();
        for (uint32_t thunk = thunks;; thunk += 4) {
            uint32_t entry = Read32(image, thunk);
            if (entry == 0)
                break;
            if (entry & 0x80000000u)
                imports.push_back({dll, "#" + std::to_string(entry & 0xffff)});
            else
                imports.push_back({dll, ReadString(image, entry + 2)});
        }
        if (imports.size() == before)
            imports.push_back({dll, "(a DLL with no function)"});
    }
    if (imports.empty())
        throw BadFile("the import directory lists no DLL");
    return imports;
}

struct Allowed {
    std::string function;
    std::string group;
};

// Lines "DLL FUNCTION [GROUP]"; at most one function of a group may be
// imported. DLL names compare without case, as Windows loads them.
std::map<std::string, std::vector<Allowed>> ReadAllowlist(const std::string &path)
{
    std::ifstream file(path);
    if (!file)
        throw BadFile("cannot open the allowlist " + path);
    std::map<std::string, std::vector<Allowed>> allowed;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        std::string dll, function, group;
        if (!(fields >> dll >> function))
            throw BadFile("allowlist line without DLL and function: " + line);
        fields >> group;
        allowed[Lower(dll)].push_back({function, group});
    }
    if (allowed.empty())
        throw BadFile("empty allowlist " + path);
    return allowed;
}

int CheckImports(const std::string &exe, const std::string &allowlist)
{
    Image image = Load(exe);
    std::vector<Import> imports = ReadImports(image);
    auto allowed = ReadAllowlist(allowlist);

    int faults = 0;
    std::map<std::string, std::vector<std::string>> groups;
    for (const Import &import : imports) {
        bool ok = false;
        const char *verdict = "NOT ALLOWED: DLL not in the allowlist";
        auto dll = allowed.find(Lower(import.dll));
        if (dll != allowed.end()) {
            verdict = "NOT ALLOWED: function not in the allowlist";
            for (const Allowed &entry : dll->second) {
                if (entry.function == import.function) {
                    ok = true;
                    verdict = "ok";
                    if (!entry.group.empty())
                        groups[entry.group].push_back(import.function);
                }
            }
        }
        if (!ok)
            ++faults;
        printf("import %s!%s %s\n", import.dll.c_str(), import.function.c_str(), verdict);
    }
    for (const auto &[group, members] : groups) {
        if (members.size() > 1) {
            ++faults;
            printf("NOT ALLOWED: %zu functions of group %s, at most one:", members.size(), group.c_str());
            for (const std::string &member : members)
                printf(" %s", member.c_str());
            printf("\n");
        }
    }
    printf("%s: %zu imports, %d not allowed\n", exe.c_str(), imports.size(), faults);
    return faults == 0 ? 0 : 1;
}

// ---- size ----

int CheckSize(const std::string &exe, const std::string &budgetText)
{
    unsigned long budget = std::stoul(budgetText);
    Image image = Load(exe);
    size_t size = image.bytes.size();
    for (const Section &section : image.sections)
        printf("section %-8s file %5u bytes, memory %5u bytes\n", section.name.c_str(), section.rawSize,
               section.virtualSize);
    printf("%s: %zu bytes, budget %lu: %s\n", exe.c_str(), size, budget, size <= budget ? "ok" : "OVER BUDGET");
    return size <= budget ? 0 : 1;
}

// ---- shape ----

struct Shape {
    int faults = 0;
    void Expect(bool ok, const std::string &what, const std::string &got)
    {
        printf("%s %s: %s\n", ok ? "ok  " : "FAIL", what.c_str(), got.c_str());
        if (!ok)
            ++faults;
    }
};

std::string Hex(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%x", value);
    return text;
}

struct ResourceEntry {
    uint32_t id;    // or 0xffffffff for a named entry
    uint32_t target; // offset in the resource section; high bit: a directory
};

std::vector<ResourceEntry> ResourceDirectory(const Image &image, uint32_t base, uint32_t offset)
{
    uint32_t at = base + offset;
    uint16_t named = Read16(image, at + 12);
    uint16_t ids = Read16(image, at + 14);
    std::vector<ResourceEntry> entries;
    for (uint32_t i = 0; i < static_cast<uint32_t>(named) + ids; ++i) {
        uint32_t name = Read32(image, at + 16 + 8 * i);
        entries.push_back({name & 0x80000000u ? 0xffffffffu : name, Read32(image, at + 20 + 8 * i)});
    }
    return entries;
}

// The one language's data of type/name: {file offset, size}; faults when the
// resource tree is not one name with one language.
std::pair<uint32_t, uint32_t> ResourceData(const Image &image, Shape &shape, uint32_t base,
                                           const ResourceEntry &type, const std::string &what, uint32_t &id)
{
    if (!(type.target & 0x80000000u))
        throw BadFile(what + ": type entry is not a directory");
    auto names = ResourceDirectory(image, base, type.target & 0x7fffffffu);
    shape.Expect(names.size() == 1, what + " names", std::to_string(names.size()) + ", expected 1");
    if (names.empty())
        return {0, 0};
    id = names[0].id;
    if (!(names[0].target & 0x80000000u))
        throw BadFile(what + ": name entry is not a directory");
    auto languages = ResourceDirectory(image, base, names[0].target & 0x7fffffffu);
    shape.Expect(languages.size() == 1, what + " languages", std::to_string(languages.size()) + ", expected 1");
    if (languages.empty() || (languages[0].target & 0x80000000u))
        throw BadFile(what + ": no data entry");
    uint32_t entry = base + languages[0].target;
    return {OffsetOf(image, Read32(image, entry)), Read32(image, entry + 4)};
}

void CheckIcon(const Image &image, Shape &shape)
{
    auto [rva, size] = Directory(image, 2);
    shape.Expect(rva != 0 && size != 0, "resource directory", "at " + Hex(rva) + ", " + std::to_string(size) +
                                                                   " bytes");
    if (rva == 0)
        return;
    uint32_t base = OffsetOf(image, rva);

    constexpr uint32_t iconType = 3, groupIconType = 14;
    auto types = ResourceDirectory(image, base, 0);
    std::string typeList;
    const ResourceEntry *icon = nullptr, *group = nullptr;
    for (const ResourceEntry &type : types) {
        typeList += (typeList.empty() ? "" : ",") + (type.id == 0xffffffffu ? "named" : std::to_string(type.id));
        if (type.id == iconType)
            icon = &type;
        if (type.id == groupIconType)
            group = &type;
    }
    shape.Expect(types.size() == 2 && icon && group, "resource types", typeList + ", expected 3,14 (icon, icon group)");
    if (!icon || !group)
        return;

    uint32_t groupId = 0, iconId = 0;
    auto [groupAt, groupSize] = ResourceData(image, shape, base, *group, "icon group", groupId);
    auto [iconAt, iconSize] = ResourceData(image, shape, base, *icon, "icon", iconId);
    shape.Expect(groupId == 101, "icon group id", std::to_string(groupId) + ", expected 101");

    // GRPICONDIR, then one 14-byte GRPICONDIRENTRY per image.
    uint16_t count = Read16(image, groupAt + 4);
    shape.Expect(groupSize == 6 + 14u * count && count == 1, "icon group images",
                 std::to_string(count) + " in " + std::to_string(groupSize) + " bytes, expected 1 in 20");
    if (count < 1)
        return;
    uint32_t entry = groupAt + 6;
    uint32_t width = Read(image, entry, 1), height = Read(image, entry + 1, 1), colours = Read(image, entry + 2, 1);
    uint16_t bits = Read16(image, entry + 6);
    uint32_t bytesInRes = Read32(image, entry + 8);
    uint16_t member = Read16(image, entry + 12);
    shape.Expect(width == 32 && height == 32 && colours == 16 && bits == 4, "icon group entry",
                 std::to_string(width) + "x" + std::to_string(height) + ", " + std::to_string(colours) +
                     " colours, " + std::to_string(bits) + " bpp, expected 32x32, 16 colours, 4 bpp");
    shape.Expect(member == iconId && bytesInRes == iconSize, "icon group names the icon",
                 "icon " + std::to_string(member) + " of " + std::to_string(bytesInRes) + " bytes; present: icon " +
                     std::to_string(iconId) + " of " + std::to_string(iconSize) + " bytes");

    // The image itself: a BITMAPINFOHEADER whose height counts colour and mask.
    uint32_t header = Read32(image, iconAt);
    int32_t bmWidth = static_cast<int32_t>(Read32(image, iconAt + 4));
    int32_t bmHeight = static_cast<int32_t>(Read32(image, iconAt + 8));
    uint16_t bmBits = Read16(image, iconAt + 14);
    // header, 16-colour table, 4-bit colour rows, 1-bit mask rows of 4 bytes
    uint32_t expected = 40 + 16 * 4 + 32 * 32 / 2 + 32 * 4;
    shape.Expect(header == 40 && bmWidth == 32 && bmHeight == 64 && bmBits == 4 && iconSize == expected,
                 "icon image",
                 "header " + std::to_string(header) + ", " + std::to_string(bmWidth) + "x" +
                     std::to_string(bmHeight) + ", " + std::to_string(bmBits) + " bpp, " +
                     std::to_string(iconSize) + " bytes; expected 40, 32x64, 4 bpp, " + std::to_string(expected));
}

int CheckShape(const std::string &exe)
{
    Image image = Load(exe);
    Shape shape;
    uint32_t coff = image.peOffset + 4;
    uint32_t opt = image.optionalOffset;

    uint16_t machine = Read16(image, coff);
    uint32_t timestamp = Read32(image, coff + 4);
    uint16_t characteristics = Read16(image, coff + 18);
    uint16_t magic = Read16(image, opt);
    shape.Expect(machine == 0x14c, "machine", Hex(machine) + ", expected 0x14c (i386)");
    shape.Expect(magic == 0x10b, "optional header", Hex(magic) + ", expected 0x10b (PE32)");
    if (magic != 0x10b)
        return 1;
    shape.Expect((characteristics & 0x0002) && !(characteristics & 0x2000) && !(characteristics & 0x0001),
                 "characteristics", Hex(characteristics) + ", expected an executable, not a DLL, relocations kept");
    shape.Expect(timestamp == 0, "link timestamp", Hex(timestamp) + ", expected 0 (reproducible)");

    uint16_t subsystem = Read16(image, opt + 68);
    uint16_t dll = Read16(image, opt + 70);
    shape.Expect(subsystem == 2, "subsystem", std::to_string(subsystem) + ", expected 2 (Windows GUI)");
    shape.Expect((dll & 0x0040) && (dll & 0x0100), "DLL characteristics",
                 Hex(dll) + ", expected DYNAMIC_BASE (0x40) and NX_COMPAT (0x100)");
    auto [relocs, relocSize] = Directory(image, 5);
    shape.Expect(relocs != 0 && relocSize != 0, "base relocations",
                 std::to_string(relocSize) + " bytes; ASLR needs them");

    uint32_t entry = Read32(image, opt + 16);
    bool inCode = false;
    for (const Section &section : image.sections)
        if (entry >= section.virtualAddress && entry - section.virtualAddress < section.virtualSize)
            inCode = (section.characteristics & 0x20000000u) != 0; // IMAGE_SCN_MEM_EXECUTE
    shape.Expect(inCode, "entry point", Hex(entry) + ", expected inside an executable section");
    printf("os version %u.%u, subsystem version %u.%u\n", Read16(image, opt + 40), Read16(image, opt + 42),
           Read16(image, opt + 48), Read16(image, opt + 50));

    CheckIcon(image, shape);
    printf("%s: %d faults\n", exe.c_str(), shape.faults);
    return shape.faults == 0 ? 0 : 1;
}

}

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (args.size() == 3 && args[0] == "size")
            return CheckSize(args[1], args[2]);
        if (args.size() == 3 && args[0] == "imports")
            return CheckImports(args[1], args[2]);
        if (args.size() == 2 && args[0] == "shape")
            return CheckShape(args[1]);
    } catch (const std::exception &error) {
        printf("FAIL %s: %s\n", args.size() > 1 ? args[1].c_str() : "?", error.what());
        return 1;
    }
    fprintf(stderr, "usage: PeCheck size EXE BUDGET | imports EXE ALLOWLIST | shape EXE\n");
    return 2;
}
