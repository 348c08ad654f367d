#include <stdio.h>

#include "flow/Flow.h"
#include "flow/Texts.h"

void LaunchUninstaller(LPCSTR commandLine, int showState)
{
    UINT started = WinExec(commandLine, showState);
    if (started >= 32)
        return;

    // msvcrt's own sprintf: its snprintf is not C99's, and MinGW's C99 one is
    // several kilobytes. The code is 0 to 31 here, so the text fits.
    char text[failureBufferSize];
    sprintf(text, failureFormat, static_cast<int>(started));
    ShowMessage(text, failureCaption, MB_OK | MB_ICONERROR);
}
