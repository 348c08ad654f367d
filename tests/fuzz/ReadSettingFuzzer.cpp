// ReadSetting over the fake registry, with values of any bytes, length and
// type, or no value or no Settings key, read several times in a row so that
// each read finds the setting buffer as the one before left it.
// Input: up to four records of [how: 1][type: 4][length: 2][bytes], the
// length taken modulo 301 and cut to what the input still holds.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "FakeWindows.h"
#include "cleanup/Cleanup.h"

namespace {

const char settingsKey[] = "HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000\\Settings";
const char valueName[] = "First Undo-path";

enum How { STORED, NO_KEY, NO_VALUE, OPEN_REFUSED, HOW_COUNT };
const char *const howNames[] = {"stored", "no Settings key", "no value", "open refused"};

struct Input {
    const uint8_t *data;
    size_t size;
    size_t at;

    // Missing bytes at the end read as zero.
    uint32_t Take(size_t count)
    {
        uint32_t value = 0;
        for (size_t i = 0; i < count; ++i)
            value |= static_cast<uint32_t>(at < size ? data[at++] : 0) << (8 * i);
        return value;
    }
};

void Fail(const char *what, int read, How how, DWORD type, const std::string &bytes, const char *got,
          const std::string &expected)
{
    fprintf(stderr, "%s: read %d, %s, type %u, %zu bytes; got %zu bytes, expected %zu bytes\n", what, read,
            howNames[how], static_cast<unsigned>(type), bytes.size(), got ? strnlen(got, 256) : 0, expected.size());
    abort();
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Learnt from the first read that reaches RegQueryValueExA; the same
    // buffer serves every read of the process.
    static const BYTE *settingBuffer = nullptr;

    Input input{data, size, 0};
    for (int read = 0; read < 4 && input.at < size; ++read) {
        How how = static_cast<How>(input.Take(1) % HOW_COUNT);
        DWORD type = input.Take(4);
        size_t length = input.Take(2) % 301;
        length = std::min(length, size - input.at);
        std::string bytes(reinterpret_cast<const char *>(data + input.at), length);
        input.at += length;

        fake::Reset();
        switch (how) {
        case STORED:
            fake::SetValue(settingsKey, valueName, type, bytes);
            break;
        case NO_KEY:
            fake::AddKey("HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000\\99");
            break;
        case NO_VALUE:
            fake::SetValue(settingsKey, "First Undo path", type, bytes);
            break;
        case OPEN_REFUSED:
            fake::SetValue(settingsKey, valueName, type, bytes);
            fake::DenyAccess(settingsKey, KEY_QUERY_VALUE);
            break;
        case HOW_COUNT:
            break;
        }

        // A 255-byte buffer takes at most 255 bytes; more is ERROR_MORE_DATA
        // and the empty text. What fits is text up to its first zero byte.
        std::string expected;
        if (how == STORED && bytes.size() <= 255)
            expected = bytes.substr(0, bytes.find('\0'));

        const char *text = ReadSetting(valueName);

        fake::Query query = fake::LastQuery();
        if (query.buffer) {
            if (settingBuffer && query.buffer != settingBuffer)
                Fail("the setting buffer moved", read, how, type, bytes, text, expected);
            settingBuffer = query.buffer;
            if (query.capacity > 255)
                Fail("read offered more than 255 bytes", read, how, type, bytes, text, expected);
        }
        if (!text)
            Fail("no text", read, how, type, bytes, text, expected);
        size_t got = strnlen(text, 256);
        if (got > 255)
            Fail("text longer than 255 bytes or not terminated", read, how, type, bytes, text, expected);
        if (got > 0 && reinterpret_cast<const BYTE *>(text) != settingBuffer)
            Fail("text outside the setting buffer", read, how, type, bytes, text, expected);
        if (settingBuffer && settingBuffer[255] != 0)
            Fail("last byte of the setting buffer written", read, how, type, bytes, text, expected);
        if (std::string(text, got) != expected)
            Fail("text differs from the stored bytes", read, how, type, bytes, text, expected);
        if (fake::OpenHandleCount() != 0)
            Fail("registry handle left open", read, how, type, bytes, text, expected);
    }
    return 0;
}
