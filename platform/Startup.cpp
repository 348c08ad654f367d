#include "platform/Startup.h"

LPSTR CutCommandTail(LPSTR commandLine)
{
    // Bytes are unsigned: 0x80 and above are text, never blanks.
    auto *p = reinterpret_cast<unsigned char *>(commandLine);

    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            // A lead byte takes its trail byte along, which may itself be a quote;
            // it never takes the terminating NUL.
            if (IsDBCSLeadByte(*p) && p[1] != '\0')
                ++p;
            ++p;
        }
        if (*p == '"')
            ++p;
    } else {
        while (*p > ' ')
            ++p;
    }

    while (*p != '\0' && *p <= ' ')
        ++p;

    return reinterpret_cast<LPSTR>(p);
}

int ReadShowState()
{
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);

    if (startup.dwFlags & STARTF_USESHOWWINDOW)
        return startup.wShowWindow;
    return SW_SHOWDEFAULT;
}
