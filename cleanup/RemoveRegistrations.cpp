#include <stddef.h>

#include "cleanup/Cleanup.h"

namespace {

template <typename T, size_t N> constexpr size_t CountOf(const T (&)[N])
{
    return N;
}

// File-type keys under HKEY_CLASSES_ROOT, in the order of removal.
constexpr const char *extensionKeys[] = {
    ".plugin",               ".equalizer",            ".generic_noise",        ".noise",
    ".ssp",                  ".treatment",            ".room",                 ".choir",
    ".r2000",                ".ezcompression",        ".VRT",                  ".presence",
    ".tremolo",              ".graphical_compressor", ".qreverb",              ".hiqchorus",
    ".samplerate",           ".3d-filter",            ".FileFormat",           ".spectrum",
};

// ProgID keys under HKEY_CLASSES_ROOT. The product never registered
// "aaa_program2".
constexpr const char *progIdKeys[] = {
    "aaa_program",   "aaa_program3",  "aaa_program4",  "aaa_program5",  "aaa_program6",  "aaa_program7",
    "aaa_program8",  "aaa_program9",  "aaa_program10", "aaa_program11", "aaa_program12", "aaa_program13",
    "aaa_program14", "aaa_program15", "aaa_program16", "aaa_program17", "aaa_program18", "aaa_program19",
    "aaa_program20", "aaa_program21", "aaa_program22", "aaa_program23",
};

// A root as table data: HKEY values are casts, which a constant table cannot hold.
enum KeyRoot { CLASSES_ROOT, LOCAL_MACHINE };

struct KeyStep {
    KeyRoot root;
    const char *path;
    REGSAM access;
    const char *name;
};

constexpr KeyStep machineSteps[] = {
    // root         path opened                                        access          subkey deleted
    {LOCAL_MACHINE, "SOFTWARE\\Quillmarsh\\Velmora 2000",               KEY_ALL_ACCESS, "Settings"},
    {LOCAL_MACHINE, "SOFTWARE\\Quillmarsh\\Velmora 2000",               KEY_ALL_ACCESS, "99"},
    {LOCAL_MACHINE, "SOFTWARE\\Quillmarsh",                             KEY_ALL_ACCESS, "Velmora 2000"},
    {CLASSES_ROOT,  "CLSID\\{6B1F4E01-3A7C-4D29-9C85-5D20E7A31B44}",    KEY_ALL_ACCESS, "InprocServer32"},
    {CLASSES_ROOT,  "CLSID",                                            KEY_WRITE,      "{6B1F4E01-3A7C-4D29-9C85-5D20E7A31B44}"},
    {CLASSES_ROOT,  "CLSID\\{6B1F4E02-3A7C-4D29-9C85-5D20E7A31B44}",    KEY_ALL_ACCESS, "InprocServer32"},
    {CLASSES_ROOT,  "CLSID",                                            KEY_WRITE,      "{6B1F4E02-3A7C-4D29-9C85-5D20E7A31B44}"},
};

constexpr size_t progIdSteps = 3;

static_assert(CountOf(extensionKeys) == 20, "20 file types");
static_assert(CountOf(progIdKeys) == 22, "22 ProgIDs");
static_assert(CountOf(machineSteps) == 7, "3 settings keys, 2 COM classes with their servers");
static_assert(CountOf(extensionKeys) + progIdSteps * CountOf(progIdKeys) + CountOf(machineSteps) == 93,
              "93 key deletion steps in a run");

}

void DeleteMarkerFile()
{
    const char *undoPath = ReadSetting("First Undo-path");
    if (undoPath[0] == '\0')
        return;

    // The directory stays current: the uninstaller is started from it.
    if (!SetCurrentDirectoryA(undoPath))
        return;

    RemoveFile("Awake.tmp");
}

void DeleteMachineKeys()
{
    for (const KeyStep &step : machineSteps)
        DeleteSubkey(step.root == LOCAL_MACHINE ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT, step.path, step.access,
                     step.name);
}

void RemoveRegistrations()
{
    for (const char *name : extensionKeys)
        DeleteClassKey(name);

    for (const char *name : progIdKeys)
        DeleteProgIdTree(name);

    // Reads the Settings key, so it must come before the machine keys go.
    DeleteMarkerFile();

    DeleteMachineKeys();
}
