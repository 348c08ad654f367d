// Control of the fake Windows that the host tests link the program against.
// It models what the program relies on, the way Windows NT behaves:
//  - a registry under HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE, names compared
//    without case; a key with subkeys cannot be deleted (ERROR_ACCESS_DENIED);
//    an open asks for rights that each key may refuse; every handle must be
//    closed; a value is read as RegQueryValueExA does, ERROR_MORE_DATA and an
//    untouched buffer when it does not fit;
//  - a working directory, directories and files, some of them in use;
//  - message boxes with scripted answers, WinExec with scripted results, the
//    local date, the ANSI code page's lead bytes and the start-up information;
//  - a log of every call, in order.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace fake {

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

struct Exec {
    std::string commandLine;
    UINT showState;
    std::string directory;
};

// Back to a machine with empty roots, C:\ as the only directory and working
// directory, no boxes, no starts and an empty log.
void Reset();

// Registry paths start with the root: "HKCR\\.plugin", "HKLM\\SOFTWARE\\...".
// Missing parents are created.
void AddKey(const std::string &path);
void SetValue(const std::string &keyPath, const std::string &name, DWORD type, const std::string &bytes);
void SetText(const std::string &keyPath, const std::string &name, const std::string &text);
// Rights that opens of this key are refused; a refused DELETE makes the key
// itself undeletable.
void DenyAccess(const std::string &keyPath, REGSAM refused);
bool KeyExists(const std::string &path);
// Every key below the roots, in the fake's own case.
std::vector<std::string> AllKeys();
// Handles opened and not yet closed.
int OpenHandleCount();

void AddDirectory(const std::string &path);
void AddFile(const std::string &path, bool inUse = false);
bool FileExists(const std::string &path);
std::string CurrentDirectory();
void SetCurrentDirectory(const std::string &path);

// Answers the next boxes in turn; unscripted boxes answer 0, as a box that
// cannot be shown does.
void ScriptBoxAnswers(const std::vector<int> &answers);
const std::vector<Box> &Boxes();

void SetWinExecResult(UINT result);
const std::vector<Exec> &Execs();

void SetLocalDate(WORD year, WORD month, WORD day = 15, WORD hour = 12);
void SetLeadBytes(const std::set<BYTE> &leadBytes);
void SetCommandLine(const std::string &commandLine);
void SetStartupShow(DWORD flags, WORD showWindow);

// Makes calls fail without any effect: the occurrence-th call (1 for the
// first since Reset, 0 for every one) whose log line, before " -> ", starts
// with callPrefix returns result instead. For RegOpenKeyExA, RegQueryValueExA,
// RegDeleteKeyA, SetCurrentDirectoryA and remove. Each fault counts the calls
// it matches on its own.
void FailCalls(const std::string &callPrefix, int occurrence, LONG result);

// The buffer and capacity that the program last gave RegQueryValueExA.
struct Query {
    const BYTE *buffer;
    DWORD capacity;
};
Query LastQuery();

// One line per call: the operation, then its arguments as the program gave
// them, then " -> " and the result.
const std::vector<std::string> &Calls();
// Only the lines that start with this operation's name.
std::vector<std::string> CallsOf(const std::string &operation);

}
