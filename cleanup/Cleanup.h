// Removal of the product's registrations. Nothing here reports a failure:
// each failure ends its own step and the next step follows.
#pragma once

#include <windows.h>

// The whole plan: extension keys, ProgID trees, the marker file, then the
// machine keys and the COM classes.
void RemoveRegistrations();

// Removes "Awake.tmp" from the "First Undo-path" directory, which stays the
// working directory afterwards.
void DeleteMarkerFile();

// The product's keys under HKEY_LOCAL_MACHINE, then the two COM classes.
void DeleteMachineKeys();

// The text of a value of the product's Settings key, or "" when it cannot be
// read. Valid until the next call.
const char *ReadSetting(const char *valueName);

// One key deletion step: opens root\path (the root itself when path is null)
// and deletes its direct subkey name.
void DeleteSubkey(HKEY root, const char *path, REGSAM access, const char *name);

// A key directly under HKEY_CLASSES_ROOT.
void DeleteClassKey(const char *name);

// A ProgID key with its "DefaultIcon" and "Shell" subkeys.
void DeleteProgIdTree(const char *name);

// Deletes a file through the C library; a relative name resolves against the
// working directory.
void RemoveFile(const char *name);
