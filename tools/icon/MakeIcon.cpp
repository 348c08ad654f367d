// MakeIcon: turns res/icon.txt (legend plus 32 rows of 32 characters) into a 32x32 16-colour .ico
// and, when asked, a PNG preview (optionally enlarged). Regenerate the committed files with:
//   MakeIcon res/icon.txt res/VelmoraUninstall.ico docs/icon.png && MakeIcon res/icon.txt res/VelmoraUninstall.ico docs/icon-large.png 8

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int kSide = 32;
const int kMaxColours = 16;
const int kBitCount = 4;
const int kMaxScale = 32;

struct Colour {
    char key;
    uint8_t red, green, blue;
};

struct IconText {
    std::vector<Colour> palette;
    char transparent = 0;
    std::vector<std::string> rows;
    std::vector<int> rowLines;
};

typedef std::vector<uint8_t> Bytes;

std::string DescribeChar(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    char text[16];
    if (u > 32 && u < 127)
        std::snprintf(text, sizeof text, "'%c'", c);
    else
        std::snprintf(text, sizeof text, "byte 0x%02X", u);
    return text;
}

bool ParseHexColour(const std::string& text, Colour* colour)
{
    if (text.size() != 6)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    unsigned long value = std::strtoul(text.c_str(), nullptr, 16);
    colour->red = static_cast<uint8_t>(value >> 16);
    colour->green = static_cast<uint8_t>(value >> 8);
    colour->blue = static_cast<uint8_t>(value);
    return true;
}

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
        size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t')
            ++end;
        if (end > at)
            words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

int FindColour(const IconText& icon, char key)
{
    for (size_t i = 0; i < icon.palette.size(); ++i)
        if (icon.palette[i].key == key)
            return static_cast<int>(i);
    return -1;
}

// Where the AND mask is set the screen is XORed with the colour, so a masked pixel must carry
// black (000000) to leave the background unchanged.
int FindBlack(const IconText& icon)
{
    for (size_t i = 0; i < icon.palette.size(); ++i) {
        const Colour& c = icon.palette[i];
        if (c.red == 0 && c.green == 0 && c.blue == 0)
            return static_cast<int>(i);
    }
    return -1;
}

bool Fail(std::string* error, const std::string& where, int line, const std::string& message)
{
    *error = where + ":" + std::to_string(line) + ": " + message;
    return false;
}

bool CheckLegendKey(const IconText& icon, const std::string& word, const std::string& where,
                    int line, std::string* error)
{
    if (word.size() != 1 || word[0] == '#' || word[0] == '\\')
        return Fail(error, where, line, "legend key must be one printable character other than '#', got \"" + word + "\"");
    if (FindColour(icon, word[0]) >= 0 || icon.transparent == word[0])
        return Fail(error, where, line, "legend key " + DescribeChar(word[0]) + " is already defined");
    return true;
}

bool ParseLegendLine(IconText* icon, const std::vector<std::string>& words, const std::string& where,
                     int line, std::string* error)
{
    if (words[0] == "colour") {
        if (words.size() < 3)
            return Fail(error, where, line, "expected: colour <key> <RRGGBB> [name]");
        if (static_cast<int>(icon->palette.size()) == kMaxColours)
            return Fail(error, where, line, "more than 16 colours; a 4-bit icon holds at most 16");
        if (!CheckLegendKey(*icon, words[1], where, line, error))
            return false;
        Colour colour = { words[1][0], 0, 0, 0 };
        if (!ParseHexColour(words[2], &colour))
            return Fail(error, where, line, "colour must be six hex digits RRGGBB, got \"" + words[2] + "\"");
        icon->palette.push_back(colour);
        return true;
    }
    if (words[0] == "transparent") {
        if (words.size() != 2)
            return Fail(error, where, line, "expected: transparent <key>");
        if (icon->transparent != 0)
            return Fail(error, where, line, "transparent key is defined twice");
        if (!CheckLegendKey(*icon, words[1], where, line, error))
            return false;
        icon->transparent = words[1][0];
        return true;
    }
    return Fail(error, where, line, "unknown legend line \"" + words[0] + "\"; expected colour, transparent or pixels");
}

bool CheckPixelRow(const IconText& icon, const std::string& row, const std::string& where, int line,
                   std::string* error)
{
    if (static_cast<int>(row.size()) != kSide)
        return Fail(error, where, line, "pixel row has " + std::to_string(row.size()) +
                                            " characters, expected " + std::to_string(kSide));
    for (size_t column = 0; column < row.size(); ++column) {
        char c = row[column];
        if (c != icon.transparent && FindColour(icon, c) < 0)
            return Fail(error, where, line, "column " + std::to_string(column + 1) + ": " +
                                                DescribeChar(c) + " is not in the legend");
    }
    return true;
}

bool ReadIconText(const std::string& path, IconText* icon, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot open";
        return false;
    }
    bool inPixels = false;
    bool usesTransparent = false;
    int line = 0;
    std::string text;
    while (std::getline(in, text)) {
        ++line;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (!text.empty() && text[0] == '#')
            continue;
        if (!inPixels) {
            std::vector<std::string> words = SplitWords(text);
            if (words.empty())
                continue;
            if (words[0] == "pixels" && words.size() == 1) {
                if (icon->palette.empty())
                    return Fail(error, path, line, "pixels before any colour");
                inPixels = true;
                continue;
            }
            if (!ParseLegendLine(icon, words, path, line, error))
                return false;
            continue;
        }
        if (static_cast<int>(icon->rows.size()) == kSide)
            return Fail(error, path, line, "pixel row " + std::to_string(kSide + 1) +
                                               "; the icon has exactly " + std::to_string(kSide) + " rows");
        if (!CheckPixelRow(*icon, text, path, line, error))
            return false;
        if (icon->transparent != 0 && text.find(icon->transparent) != std::string::npos)
            usesTransparent = true;
        icon->rows.push_back(text);
        icon->rowLines.push_back(line);
    }
    if (!inPixels)
        return Fail(error, path, line, "end of file without a \"pixels\" line");
    if (static_cast<int>(icon->rows.size()) != kSide)
        return Fail(error, path, line, "end of file after " + std::to_string(icon->rows.size()) +
                                           " pixel rows, expected " + std::to_string(kSide));
    if (usesTransparent && FindBlack(*icon) < 0)
        return Fail(error, path, icon->rowLines[0], "transparent pixels need a colour 000000 in the legend");
    return true;
}

void PutU16(Bytes* out, unsigned value)
{
    out->push_back(static_cast<uint8_t>(value));
    out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(Bytes* out, uint32_t value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

void PutU32BigEndian(Bytes* out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(value >> shift));
}

// Bitmap rows are padded to whole 32-bit words.
int GetRowBytes(int width, int bitCount)
{
    return (width * bitCount + 31) / 32 * 4;
}

Bytes BuildIco(const IconText& icon)
{
    const int xorRow = GetRowBytes(kSide, kBitCount);
    const int andRow = GetRowBytes(kSide, 1);
    const uint32_t headerSize = 40;
    const uint32_t imageSize = static_cast<uint32_t>((xorRow + andRow) * kSide);
    const uint32_t resourceSize = headerSize + kMaxColours * 4 + imageSize;
    const uint32_t imageOffset = 6 + 16;
    const int black = FindBlack(icon);

    Bytes out;
    PutU16(&out, 0); // ICONDIR
    PutU16(&out, 1);
    PutU16(&out, 1);
    out.push_back(kSide); // ICONDIRENTRY
    out.push_back(kSide);
    out.push_back(kMaxColours);
    out.push_back(0);
    PutU16(&out, 1);
    PutU16(&out, kBitCount);
    PutU32(&out, resourceSize);
    PutU32(&out, imageOffset);

    PutU32(&out, headerSize); // BITMAPINFOHEADER; the height covers the XOR and the AND bitmap
    PutU32(&out, kSide);
    PutU32(&out, kSide * 2);
    PutU16(&out, 1);
    PutU16(&out, kBitCount);
    PutU32(&out, 0);
    PutU32(&out, imageSize);
    PutU32(&out, 0);
    PutU32(&out, 0);
    PutU32(&out, 0);
    PutU32(&out, 0);

    for (int i = 0; i < kMaxColours; ++i) {
        Colour c = i < static_cast<int>(icon.palette.size()) ? icon.palette[i] : Colour{ 0, 0, 0, 0 };
        out.push_back(c.blue);
        out.push_back(c.green);
        out.push_back(c.red);
        out.push_back(0);
    }

    for (int y = kSide - 1; y >= 0; --y) {
        Bytes row(xorRow, 0);
        for (int x = 0; x < kSide; ++x) {
            char key = icon.rows[y][x];
            int index = key == icon.transparent ? black : FindColour(icon, key);
            row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = kSide - 1; y >= 0; --y) {
        Bytes row(andRow, 0);
        for (int x = 0; x < kSide; ++x)
            if (icon.rows[y][x] == icon.transparent)
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

uint32_t ComputeCrc32(const uint8_t* data, size_t size)
{
    uint32_t table[256];
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t ComputeAdler32(const Bytes& data)
{
    uint32_t a = 1, b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void PutPngChunk(Bytes* out, const char* type, const Bytes& data)
{
    PutU32BigEndian(out, static_cast<uint32_t>(data.size()));
    size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    PutU32BigEndian(out, ComputeCrc32(out->data() + start, out->size() - start));
}

// zlib stream of stored deflate blocks; a stored block holds at most 65535 bytes.
Bytes BuildStoredZlib(const Bytes& raw)
{
    Bytes out = { 0x78, 0x01 };
    size_t at = 0;
    do {
        size_t length = raw.size() - at;
        if (length > 65535)
            length = 65535;
        bool last = at + length == raw.size();
        out.push_back(last ? 1 : 0);
        PutU16(&out, static_cast<unsigned>(length));
        PutU16(&out, static_cast<unsigned>(~length & 0xFFFF));
        out.insert(out.end(), raw.begin() + at, raw.begin() + at + length);
        at += length;
    } while (at < raw.size());
    PutU32BigEndian(&out, ComputeAdler32(raw));
    return out;
}

Bytes BuildPng(const IconText& icon, int scale)
{
    const uint32_t side = static_cast<uint32_t>(kSide * scale);
    Bytes raw;
    for (uint32_t y = 0; y < side; ++y) {
        raw.push_back(0); // filter: none
        for (uint32_t x = 0; x < side; ++x) {
            char key = icon.rows[y / scale][x / scale];
            if (key == icon.transparent) {
                raw.insert(raw.end(), { 0, 0, 0, 0 });
                continue;
            }
            const Colour& c = icon.palette[FindColour(icon, key)];
            raw.insert(raw.end(), { c.red, c.green, c.blue, 255 });
        }
    }
    Bytes header;
    PutU32BigEndian(&header, side);
    PutU32BigEndian(&header, side);
    header.insert(header.end(), { 8, 6, 0, 0, 0 }); // 8-bit RGBA, no interlace

    Bytes out = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n' };
    PutPngChunk(&out, "IHDR", header);
    PutPngChunk(&out, "IDAT", BuildStoredZlib(raw));
    PutPngChunk(&out, "IEND", Bytes());
    return out;
}

bool WriteBytes(const std::string& path, const Bytes& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "MakeIcon: %s: cannot write\n", path.c_str());
        return false;
    }
    return true;
}

bool ParseScale(const char* text, int* scale)
{
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || value < 1 || value > kMaxScale)
        return false;
    *scale = static_cast<int>(value);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 5) {
        std::fprintf(stderr, "usage: MakeIcon icon.txt out.ico [out.png [scale 1-%d]]\n", kMaxScale);
        return 2;
    }
    int scale = 1;
    if (argc == 5 && !ParseScale(argv[4], &scale)) {
        std::fprintf(stderr, "MakeIcon: scale must be a whole number from 1 to %d, got \"%s\"\n", kMaxScale, argv[4]);
        return 2;
    }
    IconText icon;
    std::string error;
    if (!ReadIconText(argv[1], &icon, &error)) {
        std::fprintf(stderr, "MakeIcon: %s\n", error.c_str());
        return 1;
    }
    if (!WriteBytes(argv[2], BuildIco(icon)))
        return 1;
    if (argc >= 4 && !WriteBytes(argv[3], BuildPng(icon, scale)))
        return 1;
    return 0;
}
