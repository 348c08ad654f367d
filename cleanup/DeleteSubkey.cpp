#include "cleanup/Cleanup.h"

void DeleteSubkey(HKEY root, const char *path, REGSAM access, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, access, &key) != ERROR_SUCCESS)
        return;

    // NT refuses to delete a key that still has subkeys; the plan names them
    // first, so a refusal here leaves only keys the plan does not know.
    RegDeleteKeyA(key, name);
    RegCloseKey(key);
}

void DeleteClassKey(const char *name)
{
    DeleteSubkey(HKEY_CLASSES_ROOT, nullptr, KEY_ALL_ACCESS, name);
}

void DeleteProgIdTree(const char *name)
{
    DeleteSubkey(HKEY_CLASSES_ROOT, name, KEY_ALL_ACCESS, "DefaultIcon");
    DeleteSubkey(HKEY_CLASSES_ROOT, name, KEY_ALL_ACCESS, "Shell");
    DeleteClassKey(name);
}
