// Stands in for the product's un-installation program. It records how it was
// started and does nothing else. A console program, so that the helper's
// WinExec returns at once instead of waiting for a window to go idle.
//
// The record goes to the directory named by VELMORA_STANDIN_DIR, else next to
// the program: run-N.cmdline and run-N.cwd hold the raw bytes of
// GetCommandLineA and GetCurrentDirectoryA, and standin.log gets one line per
// start with the same in visible form.
#include <windows.h>

#include <string>

#include "Escape.h"

namespace {

std::string RecordDirectory()
{
    char dir[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VELMORA_STANDIN_DIR", dir, sizeof dir);
    if (length > 0 && length < sizeof dir)
        return dir;

    length = GetModuleFileNameA(nullptr, dir, sizeof dir);
    std::string path(dir, length);
    return path.substr(0, path.find_last_of('\\'));
}

bool WriteBytes(HANDLE file, const std::string &bytes)
{
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool WriteNewFile(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = WriteBytes(file, bytes);
    CloseHandle(file);
    return ok;
}

bool AppendLine(const std::string &path, const std::string &line)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = WriteBytes(file, line + "\n");
    CloseHandle(file);
    return ok;
}

// Whether the helper had finished its removal before it started us: the
// second COM class is the last key it deletes.
const char *LastKeyState()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\CLSID\\{6B1F4E02-3A7C-4D29-9C85-5D20E7A31B44}", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return "absent";
    RegCloseKey(key);
    return "present";
}

const char *MarkerState()
{
    return GetFileAttributesA("Awake.tmp") == INVALID_FILE_ATTRIBUTES ? "absent" : "present";
}

}

int main()
{
    std::string commandLine = GetCommandLineA();

    char cwd[MAX_PATH];
    DWORD cwdLength = GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string workingDirectory(cwd, cwdLength < sizeof cwd ? cwdLength : 0);

    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);

    std::string dir = RecordDirectory();

    // Numbered records: a second start must not overwrite the first.
    int run = 1;
    while (!WriteNewFile(dir + "\\run-" + std::to_string(run) + ".cmdline", commandLine)) {
        if (GetLastError() != ERROR_FILE_EXISTS || ++run > 99)
            return 1;
    }
    std::string name = dir + "\\run-" + std::to_string(run);
    if (!WriteNewFile(name + ".cwd", workingDirectory))
        return 1;

    char flags[64];
    snprintf(flags, sizeof flags, "flags=0x%lx show=%u", startup.dwFlags, startup.wShowWindow);
    std::string line = "run " + std::to_string(run) + " " + flags + " last-key=" + LastKeyState() +
                       " marker=" + MarkerState() + " cwd=\"" + Escape(workingDirectory) + "\" cmdline=\"" +
                       Escape(commandLine) + "\"";
    return AppendLine(dir + "\\standin.log", line) ? 0 : 1;
}
