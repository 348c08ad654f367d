// Bytes as one line of visible text, so a report can be compared exactly:
// printable ASCII stays, backslash and quote are escaped, line feed and tab
// are \n and \t, every other byte is \xHH.
#pragma once

#include <stddef.h>
#include <stdio.h>

#include <string>

inline std::string Escape(const char *bytes, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\\' || c == '"') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            text += hex;
        }
    }
    return text;
}

inline std::string Escape(const std::string &bytes)
{
    return Escape(bytes.data(), bytes.size());
}
