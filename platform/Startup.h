// The program's own start-up: what the process hands to WinMain.
#pragma once

#include <windows.h>

// The command line without the program's path and the blanks after it.
LPSTR CutCommandTail(LPSTR commandLine);

// wShowWindow when the starter set one, else SW_SHOWDEFAULT.
int ReadShowState();
