#include "FakeWindows.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>

namespace {

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Folded(const std::string &text)
{
    std::string folded = text;
    std::transform(folded.begin(), folded.end(), folded.begin(), Lower);
    return folded;
}

struct NoCaseLess {
    bool operator()(const std::string &a, const std::string &b) const { return Folded(a) < Folded(b); }
};

struct Value {
    DWORD type;
    std::string bytes;
};

struct Key {
    std::string name; // as created, for AllKeys
    std::map<std::string, Value, NoCaseLess> values;
    REGSAM refused = 0;
};

struct Handle {
    std::string path;
    REGSAM access;
};

struct Fault {
    std::string callPrefix;
    int occurrence;
    LONG result;
    int seen;
};

struct Machine {
    std::map<std::string, Key, NoCaseLess> keys;
    std::map<uintptr_t, Handle> handles;
    uintptr_t nextHandle = 0x1000;
    int predefinedOpens = 0;

    std::set<std::string, NoCaseLess> directories;
    std::map<std::string, bool, NoCaseLess> files; // path -> in use
    std::string currentDirectory;

    std::vector<int> answers;
    size_t nextAnswer = 0;
    std::vector<fake::Box> boxes;

    UINT winExecResult = 33;
    std::vector<fake::Exec> execs;

    SYSTEMTIME date{};
    std::set<BYTE> leadBytes;
    std::string commandLine;
    DWORD startupFlags = 0;
    WORD startupShow = 0;

    std::vector<Fault> faults;
    fake::Query lastQuery{};

    std::vector<std::string> calls;
};

Machine machine;

// Handles of the predefined roots are fixed values, as on Windows.
const char *RootName(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return "HKCR";
    if (key == HKEY_LOCAL_MACHINE)
        return "HKLM";
    return nullptr;
}

bool ResolveHandle(HKEY key, std::string &path)
{
    if (const char *root = RootName(key)) {
        path = root;
        return true;
    }
    auto found = machine.handles.find(reinterpret_cast<uintptr_t>(key));
    if (found == machine.handles.end())
        return false;
    path = found->second.path;
    return true;
}

bool HasSubkeys(const std::string &path)
{
    std::string prefix = Folded(path) + "\\";
    for (const auto &entry : machine.keys)
        if (Folded(entry.first).compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

std::string Text(LPCSTR text)
{
    return text ? text : "NULL";
}

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

LONG Log(const std::string &call, LONG result)
{
    machine.calls.push_back(call + " -> " + std::to_string(result));
    return result;
}

// Every fault that matches counts the call, so that occurrences stay those of
// the program's own calls; the first fault due decides the result.
bool Faulted(const std::string &call, LONG &result)
{
    bool due = false;
    for (Fault &fault : machine.faults) {
        if (call.compare(0, fault.callPrefix.size(), fault.callPrefix) != 0)
            continue;
        ++fault.seen;
        if (!due && (fault.occurrence == 0 || fault.occurrence == fault.seen)) {
            due = true;
            result = fault.result;
        }
    }
    return due;
}

std::string Absolute(const std::string &path)
{
    if (path.size() >= 2 && path[1] == ':')
        return path;
    if (!path.empty() && path[0] == '\\')
        return machine.currentDirectory.substr(0, 2) + path;
    std::string base = machine.currentDirectory;
    if (base.back() != '\\')
        base += '\\';
    return base + path;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

}

namespace fake {

void Reset()
{
    machine = Machine{};
    machine.keys["HKCR"].name = "HKCR";
    machine.keys["HKLM"].name = "HKLM";
    machine.directories.insert("C:\\");
    machine.currentDirectory = "C:\\";
    SetLocalDate(2026, 12, 11);
}

void AddKey(const std::string &path)
{
    for (size_t end = path.find('\\'); ; end = path.find('\\', end + 1)) {
        std::string part = path.substr(0, end);
        Key &key = machine.keys[part];
        if (key.name.empty())
            key.name = part;
        if (end == std::string::npos)
            break;
    }
}

void SetValue(const std::string &keyPath, const std::string &name, DWORD type, const std::string &bytes)
{
    AddKey(keyPath);
    machine.keys[keyPath].values[name] = Value{type, bytes};
}

void SetText(const std::string &keyPath, const std::string &name, const std::string &text)
{
    SetValue(keyPath, name, REG_SZ, text + '\0');
}

void DenyAccess(const std::string &keyPath, REGSAM refused)
{
    AddKey(keyPath);
    machine.keys[keyPath].refused = refused;
}

bool KeyExists(const std::string &path)
{
    return machine.keys.count(path) != 0;
}

std::vector<std::string> AllKeys()
{
    std::vector<std::string> names;
    for (const auto &entry : machine.keys)
        if (entry.first.find('\\') != std::string::npos)
            names.push_back(entry.second.name);
    return names;
}

int OpenHandleCount()
{
    return static_cast<int>(machine.handles.size()) + machine.predefinedOpens;
}

void AddDirectory(const std::string &path)
{
    machine.directories.insert(WithoutTrailingSlash(path));
}

void AddFile(const std::string &path, bool inUse)
{
    machine.files[path] = inUse;
}

bool FileExists(const std::string &path)
{
    return machine.files.count(path) != 0;
}

std::string CurrentDirectory()
{
    return machine.currentDirectory;
}

void SetCurrentDirectory(const std::string &path)
{
    AddDirectory(path);
    machine.currentDirectory = WithoutTrailingSlash(path);
}

void ScriptBoxAnswers(const std::vector<int> &answers)
{
    machine.answers = answers;
    machine.nextAnswer = 0;
}

const std::vector<Box> &Boxes()
{
    return machine.boxes;
}

void SetWinExecResult(UINT result)
{
    machine.winExecResult = result;
}

const std::vector<Exec> &Execs()
{
    return machine.execs;
}

void SetLocalDate(WORD year, WORD month, WORD day, WORD hour)
{
    machine.date = SYSTEMTIME{year, month, 0, day, hour, 30, 15, 500};
}

void SetLeadBytes(const std::set<BYTE> &leadBytes)
{
    machine.leadBytes = leadBytes;
}

void SetCommandLine(const std::string &commandLine)
{
    machine.commandLine = commandLine;
}

void SetStartupShow(DWORD flags, WORD showWindow)
{
    machine.startupFlags = flags;
    machine.startupShow = showWindow;
}

void FailCalls(const std::string &callPrefix, int occurrence, LONG result)
{
    machine.faults.push_back(Fault{callPrefix, occurrence, result, 0});
}

Query LastQuery()
{
    return machine.lastQuery;
}

const std::vector<std::string> &Calls()
{
    return machine.calls;
}

std::vector<std::string> CallsOf(const std::string &operation)
{
    std::vector<std::string> lines;
    for (const std::string &line : machine.calls)
        if (line.compare(0, operation.size() + 1, operation + "(") == 0)
            lines.push_back(line);
    return lines;
}

}

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, PHKEY result)
{
    std::string base;
    std::string call = "RegOpenKeyExA(";
    if (!ResolveHandle(key, base))
        return Log(call + "?, " + Text(subKey) + ")", ERROR_INVALID_HANDLE);
    call += base + ", " + Text(subKey) + ", " + std::to_string(options) + ", " + Hex(access) + ")";
    LONG injected;
    if (Faulted(call, injected))
        return Log(call, injected);

    std::string path = subKey && *subKey ? base + "\\" + subKey : base;
    auto found = machine.keys.find(path);
    if (found == machine.keys.end())
        return Log(call, ERROR_FILE_NOT_FOUND);
    if (access & found->second.refused)
        return Log(call, ERROR_ACCESS_DENIED);

    // Wine hands back the predefined handle itself for a root opened without a
    // subkey; closing it is harmless and the root stays usable.
    if (RootName(key) && !(subKey && *subKey)) {
        ++machine.predefinedOpens;
        *result = key;
        return Log(call, ERROR_SUCCESS);
    }

    uintptr_t handle = machine.nextHandle;
    machine.nextHandle += 4;
    machine.handles[handle] = Handle{path, access};
    *result = reinterpret_cast<HKEY>(handle);
    return Log(call, ERROR_SUCCESS);
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    std::string path;
    std::string call = "RegQueryValueExA(";
    if (!ResolveHandle(key, path) || reserved)
        return Log(call + "?, " + Text(valueName) + ")", ERROR_INVALID_HANDLE);
    call += path + ", " + Text(valueName) + ", " + (size ? std::to_string(*size) : "NULL") + ")";
    machine.lastQuery = fake::Query{data, size ? *size : 0};
    LONG injected;
    if (Faulted(call, injected))
        return Log(call, injected);

    auto handle = machine.handles.find(reinterpret_cast<uintptr_t>(key));
    if (handle != machine.handles.end() && !(handle->second.access & KEY_QUERY_VALUE))
        return Log(call, ERROR_ACCESS_DENIED);

    const Key &opened = machine.keys[path];
    auto value = opened.values.find(valueName ? valueName : "");
    if (value == opened.values.end())
        return Log(call, ERROR_FILE_NOT_FOUND);

    const std::string &bytes = value->second.bytes;
    if (type)
        *type = value->second.type;
    if (data && size && bytes.size() > *size) {
        *size = static_cast<DWORD>(bytes.size());
        return Log(call, ERROR_MORE_DATA);
    }
    if (data)
        memcpy(data, bytes.data(), bytes.size());
    if (size)
        *size = static_cast<DWORD>(bytes.size());
    return Log(call, ERROR_SUCCESS);
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    std::string base;
    std::string call = "RegDeleteKeyA(";
    if (!ResolveHandle(key, base))
        return Log(call + "?, " + Text(subKey) + ")", ERROR_INVALID_HANDLE);
    call += base + ", " + Text(subKey) + ")";
    LONG injected;
    if (Faulted(call, injected))
        return Log(call, injected);

    std::string path = base + "\\" + Text(subKey);
    auto found = machine.keys.find(path);
    if (found == machine.keys.end())
        return Log(call, ERROR_FILE_NOT_FOUND);
    if (HasSubkeys(path) || (found->second.refused & DELETE))
        return Log(call, ERROR_ACCESS_DENIED);

    machine.keys.erase(found);
    return Log(call, ERROR_SUCCESS);
}

LONG WINAPI RegCloseKey(HKEY key)
{
    if (const char *root = RootName(key)) {
        if (machine.predefinedOpens > 0)
            --machine.predefinedOpens;
        return Log(std::string("RegCloseKey(") + root + ")", ERROR_SUCCESS);
    }
    auto found = machine.handles.find(reinterpret_cast<uintptr_t>(key));
    if (found == machine.handles.end())
        return Log("RegCloseKey(?)", ERROR_INVALID_HANDLE);
    std::string call = "RegCloseKey(" + found->second.path + ")";
    machine.handles.erase(found);
    return Log(call, ERROR_SUCCESS);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path)
{
    std::string call = "SetCurrentDirectoryA(" + Text(path) + ")";
    LONG injected;
    if (Faulted(call, injected))
        return Log(call, injected);
    if (!path || !*path)
        return Log(call, FALSE);
    std::string target = WithoutTrailingSlash(Absolute(path));
    if (!machine.directories.count(target))
        return Log(call, FALSE);
    machine.currentDirectory = target;
    return Log(call, TRUE);
}

// The C library's remove(), which msvcrt implements with DeleteFileA; defined
// here it takes the place of the host's own for the whole test program.
extern "C" int remove(const char *name) noexcept
{
    std::string call = "remove(" + Text(name) + ")";
    LONG injected;
    if (Faulted(call, injected))
        return Log(call, injected);
    auto found = machine.files.find(Absolute(name));
    if (found == machine.files.end() || found->second)
        return Log(call, -1);
    machine.files.erase(found);
    return Log(call, 0);
}

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    *time = machine.date;
    machine.calls.push_back("GetLocalTime()");
}

UINT WINAPI WinExec(LPCSTR commandLine, UINT showState)
{
    machine.execs.push_back(fake::Exec{Text(commandLine), showState, machine.currentDirectory});
    Log("WinExec(" + Text(commandLine) + ", " + std::to_string(showState) + ")",
        static_cast<LONG>(machine.winExecResult));
    return machine.winExecResult;
}

BOOL WINAPI IsDBCSLeadByte(BYTE testChar)
{
    return machine.leadBytes.count(testChar) != 0;
}

LPSTR WINAPI GetCommandLineA()
{
    return &machine.commandLine[0];
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA startupInfo)
{
    // Windows fills the whole structure; poison it so that a field the
    // program should not rely on cannot pass as zero.
    memset(startupInfo, 0xBD, sizeof *startupInfo);
    startupInfo->cb = sizeof *startupInfo;
    startupInfo->dwFlags = machine.startupFlags;
    startupInfo->wShowWindow = machine.startupShow;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName)
{
    return moduleName ? nullptr : reinterpret_cast<HMODULE>(0x400000);
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    machine.boxes.push_back(fake::Box{owner, Text(text), Text(caption), style});
    int answer = machine.nextAnswer < machine.answers.size() ? machine.answers[machine.nextAnswer++] : 0;
    return Log("MessageBoxA(" + Text(caption) + ", " + Hex(style) + ")", answer);
}
