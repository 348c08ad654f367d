#pragma once

#include <windows.h>

// Starts the uninstaller's command line with the given show state, without
// waiting for it; tells the user when it cannot be started.
void LaunchUninstaller(LPCSTR commandLine, int showState);

// A box whose answer does not matter: the notice and the start failure.
void ShowMessage(LPCSTR text, LPCSTR caption, UINT style);
