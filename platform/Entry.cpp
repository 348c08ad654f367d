// The process entry point. The program links without the C runtime's start-up
// code, so nothing runs before this: no global constructors, no argv.
#include <stdlib.h>

#include "platform/Startup.h"

extern "C" void WINAPI Entry()
{
    exit(WinMain(GetModuleHandleA(nullptr), nullptr, CutCommandTail(GetCommandLineA()), ReadShowState()));
}
