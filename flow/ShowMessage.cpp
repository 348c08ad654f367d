#include "flow/Flow.h"

void ShowMessage(LPCSTR text, LPCSTR caption, UINT style)
{
    MessageBoxA(nullptr, text, caption, style);
}
