#include <stdio.h>
#include <string.h>

#include "cleanup/Cleanup.h"
#include "flow/Flow.h"
#include "flow/Texts.h"

namespace {

// The box's answer; 0 when it could not be shown.
int AskConfirmation()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    int month = now.wYear * 12 + now.wMonth;

    char text[confirmBufferSize];
    sprintf(text, "%s", month >= shortTextFrom ? shortConfirmText : longConfirmText);
    return MessageBoxA(nullptr, text, confirmCaption, MB_YESNO | MB_ICONQUESTION);
}

}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int showState)
{
    if (strlen(commandTail) == 0) {
        ShowMessage(noticeText, noticeCaption, MB_OK | MB_ICONINFORMATION);
        return 0;
    }

    // Only an explicit No stops the run; a box that cannot be shown does not.
    if (AskConfirmation() == IDNO)
        return 0;

    RemoveRegistrations();
    LaunchUninstaller(commandTail, showState);
    return 0;
}
