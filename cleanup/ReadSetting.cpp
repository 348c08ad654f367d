#include "cleanup/Cleanup.h"

namespace {

// One byte more than a read may store, so the text always ends in a zero even
// when the value was stored without one.
char settingText[256];

}

const char *ReadSetting(const char *valueName)
{
    settingText[0] = '\0';

    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillmarsh\\Velmora 2000\\Settings", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return settingText;

    DWORD size = sizeof settingText - 1;
    LONG result = RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE *>(settingText), &size);
    RegCloseKey(key);

    // A failed read (ERROR_MORE_DATA among them) gives the empty text, whatever
    // it left in the buffer. Text values are not always stored with their zero,
    // and a shorter value must not run on into what an earlier read left.
    if (result != ERROR_SUCCESS || size > sizeof settingText - 1)
        size = 0;
    settingText[size] = '\0';
    return settingText;
}
