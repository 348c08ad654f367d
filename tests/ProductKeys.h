// The product's registrations as the tests expect them removed, written out
// from the list of what the product registers, not taken from the program.
#pragma once

#include <string>
#include <vector>

namespace expected {

inline const char *const extensions[] = {
    ".plugin", ".equalizer", ".generic_noise", ".noise",   ".ssp",       ".treatment",            ".room",
    ".choir",  ".r2000",     ".ezcompression", ".VRT",     ".presence",  ".tremolo",              ".graphical_compressor",
    ".qreverb", ".hiqchorus", ".samplerate",   ".3d-filter", ".FileFormat", ".spectrum",
};

// There is no "aaa_program2".
inline const char *const progIds[] = {
    "aaa_program",   "aaa_program3",  "aaa_program4",  "aaa_program5",  "aaa_program6",  "aaa_program7",
    "aaa_program8",  "aaa_program9",  "aaa_program10", "aaa_program11", "aaa_program12", "aaa_program13",
    "aaa_program14", "aaa_program15", "aaa_program16", "aaa_program17", "aaa_program18", "aaa_program19",
    "aaa_program20", "aaa_program21", "aaa_program22", "aaa_program23",
};

inline const char class1[] = "{6B1F4E01-3A7C-4D29-9C85-5D20E7A31B44}";
inline const char class2[] = "{6B1F4E02-3A7C-4D29-9C85-5D20E7A31B44}";

// One key deletion step: open root\path (the root itself when path is empty)
// with the access mask, as the call log prints it, and delete its subkey name.
struct Step {
    std::string root; // "HKCR" or "HKLM"
    std::string path;
    const char *access;
    std::string name;
};

// The 93 key deletion steps in the order of the run; the Settings key is read
// between the ProgID trees and the machine keys.
inline const std::vector<Step> &Plan()
{
    static const std::vector<Step> plan = [] {
        const std::string product = "SOFTWARE\\Quillmarsh\\Velmora 2000";
        std::vector<Step> steps;
        for (const char *name : extensions)
            steps.push_back({"HKCR", "", "0xF003F", name});
        for (const char *name : progIds) {
            steps.push_back({"HKCR", name, "0xF003F", "DefaultIcon"});
            steps.push_back({"HKCR", name, "0xF003F", "Shell"});
            steps.push_back({"HKCR", "", "0xF003F", name});
        }
        steps.push_back({"HKLM", product, "0xF003F", "Settings"});
        steps.push_back({"HKLM", product, "0xF003F", "99"});
        steps.push_back({"HKLM", "SOFTWARE\\Quillmarsh", "0xF003F", "Velmora 2000"});
        steps.push_back({"HKCR", std::string("CLSID\\") + class1, "0xF003F", "InprocServer32"});
        steps.push_back({"HKCR", "CLSID", "0x20006", class1});
        steps.push_back({"HKCR", std::string("CLSID\\") + class2, "0xF003F", "InprocServer32"});
        steps.push_back({"HKCR", "CLSID", "0x20006", class2});
        return steps;
    }();
    return plan;
}

}
