// The start-up's cut of the command line, over arbitrary bytes and an
// arbitrary set of lead bytes. Input: 32 bytes of lead-byte mask (byte b is a
// lead byte when bit b % 8 of mask byte b / 8 is set), then the command line
// up to its first zero byte.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>

#include "FakeWindows.h"
#include "platform/Startup.h"

namespace {

const size_t maskSize = 32;

void Fail(const char *what, const std::string &line, long got, long expected)
{
    fprintf(stderr, "%s: command line of %zu bytes [", what, line.size());
    for (unsigned char c : line)
        fprintf(stderr, c >= 0x21 && c < 0x7F && c != '\\' ? "%c" : "\\x%02x", c);
    fprintf(stderr, "], tail at %ld, expected %ld\n", got, expected);
    abort();
}

// The rule as Windows' start-up states it, by index: after an opening quote
// every byte up to the next quote or the end is path, a lead byte taking the
// byte after it along unless that is the end, then the closing quote; without
// an opening quote every byte above 0x20 is path. Bytes 0x01 to 0x20 after
// the path are skipped; the rest is the tail.
size_t ReferenceTailStart(const std::string &line, const bool (&lead)[256])
{
    size_t n = line.size();
    size_t i = 0;
    if (n > 0 && line[0] == '"') {
        i = 1;
        while (i < n && line[i] != '"') {
            bool takesNext = lead[static_cast<unsigned char>(line[i])] && i + 1 < n;
            i += takesNext ? 2 : 1;
        }
        if (i < n)
            ++i;
    } else {
        while (i < n && static_cast<unsigned char>(line[i]) > 0x20)
            ++i;
    }
    while (i < n && static_cast<unsigned char>(line[i]) >= 0x01 && static_cast<unsigned char>(line[i]) <= 0x20)
        ++i;
    return i;
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    uint8_t mask[maskSize] = {};
    memcpy(mask, data, size < maskSize ? size : maskSize);
    bool lead[256];
    for (size_t b = 0; b < 256; ++b)
        lead[b] = mask[b / 8] >> (b % 8) & 1;

    // Most runs keep the mask; rebuilding the fake's set every time would
    // cost more than the cut itself.
    static uint8_t faked[maskSize] = {};
    if (memcmp(mask, faked, maskSize) != 0) {
        std::set<BYTE> leadBytes;
        for (size_t b = 0; b < 256; ++b)
            if (lead[b])
                leadBytes.insert(static_cast<BYTE>(b));
        fake::SetLeadBytes(leadBytes);
        memcpy(faked, mask, maskSize);
    }

    const uint8_t *text = size > maskSize ? data + maskSize : data + size;
    size_t textSize = size > maskSize ? size - maskSize : 0;
    const void *zero = memchr(text, 0, textSize);
    std::string line(reinterpret_cast<const char *>(text),
                     zero ? static_cast<const uint8_t *>(zero) - text : textSize);

    // Exactly the line and its zero on the heap: a read past the terminator
    // is a read past the allocation.
    size_t n = line.size();
    char *buffer = static_cast<char *>(malloc(n + 1));
    memcpy(buffer, line.data(), n + 1);

    char *tail = CutCommandTail(buffer);

    long at = tail - buffer;
    if (tail < buffer || tail > buffer + n)
        Fail("tail outside the command line", line, at, -1);
    if (memcmp(buffer, line.data(), n + 1) != 0)
        Fail("command line changed", line, at, -1);
    if (line.compare(at, std::string::npos, tail) != 0)
        Fail("tail is not a suffix of the command line", line, at, -1);

    // A quoted path ends at a quote: with none after the opening one the tail
    // is empty, and it never starts at or before the first quote after it.
    if (n > 0 && line[0] == '"') {
        size_t close = line.find('"', 1);
        if (close == std::string::npos && static_cast<size_t>(at) != n)
            Fail("tail inside an unclosed quoted path", line, at, static_cast<long>(n));
        if (close != std::string::npos && static_cast<size_t>(at) <= close)
            Fail("tail starts inside the quoted path", line, at, static_cast<long>(close + 1));
    }

    long expected = static_cast<long>(ReferenceTailStart(line, lead));
    if (at != expected)
        Fail("tail differs from the rule", line, at, expected);

    free(buffer);
    return 0;
}
