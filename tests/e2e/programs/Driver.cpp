// Plays the user of VelmoraUninstall.exe: starts it with an exact command line,
// finds each message box it shows, reads it, answers it, and prints one line
// per box and the exit code, in visible form so that a script can compare them.
//
//   Driver CMDLINE-FILE [--show N] [--cwd DIR] [--answer ID]... [--timeout SECONDS]
//          [--pause-dir DIR] [--watch]
//
// CMDLINE-FILE holds the raw bytes of the command line (no terminator).
// --answer: OK, YES, NO or CANCEL (a click on that button) or CLOSE (WM_CLOSE
// to the box) for the first box, the next for the second...
// A box beyond the script is answered NO, else OK, and marked "unscripted".
// --pause-dir: before each answer write box-N.rect (the box's screen
// rectangle) there and wait for box-N.go, so that the box can be captured.
// --watch: answer nothing; a person answers the boxes.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "Escape.h"

namespace {

struct Options {
    std::string commandLineFile;
    bool useShow = false;
    WORD show = 0;
    std::string cwd;
    std::vector<std::string> answers;
    DWORD timeout = 20000;
    std::string pauseDir;
    bool watch = false;
};

struct Button {
    int id;
    const char *name;
};

const Button buttons[] = {
    {IDOK, "OK"},       {IDCANCEL, "CANCEL"}, {IDABORT, "ABORT"},       {IDRETRY, "RETRY"},
    {IDIGNORE, "IGNORE"}, {IDYES, "YES"},     {IDNO, "NO"},             {IDHELP, "HELP"},
    {IDTRYAGAIN, "TRYAGAIN"}, {IDCONTINUE, "CONTINUE"},
};

void Fail(const char *what)
{
    printf("driver-error %s (error %lu)\n", what, GetLastError());
    fflush(stdout);
    exit(2);
}

void Print(const std::string &line)
{
    fputs(line.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

std::string ReadFileBytes(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("cannot open the command-line file");
    std::string bytes;
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

Options ParseOptions(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--show" && hasValue) {
            options.useShow = true;
            options.show = static_cast<WORD>(atoi(argv[++i]));
        } else if (arg == "--cwd" && hasValue) {
            options.cwd = argv[++i];
        } else if (arg == "--answer" && hasValue) {
            options.answers.push_back(argv[++i]);
        } else if (arg == "--timeout" && hasValue) {
            options.timeout = static_cast<DWORD>(atoi(argv[++i])) * 1000;
        } else if (arg == "--pause-dir" && hasValue) {
            options.pauseDir = argv[++i];
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (options.commandLineFile.empty() && arg[0] != '-') {
            options.commandLineFile = arg;
        } else {
            fprintf(stdout, "driver-error unknown argument %s\n", arg.c_str());
            exit(2);
        }
    }
    if (options.commandLineFile.empty())
        Fail("no command-line file");
    return options;
}

struct Search {
    DWORD processId;
    const std::set<HWND> *seen;
    HWND found;
    std::string otherClass;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    auto *search = reinterpret_cast<Search *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || search->seen->count(window) || !IsWindowVisible(window))
        return TRUE;

    char className[64];
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0) {
        search->otherClass = className;
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

struct ButtonList {
    std::vector<int> ids;
    HWND box;
};

BOOL CALLBACK CollectButton(HWND child, LPARAM param)
{
    auto *list = reinterpret_cast<ButtonList *>(param);
    char className[32];
    GetClassNameA(child, className, sizeof className);
    // Wine's box template has every button; the unused ones are destroyed.
    if (GetParent(child) == list->box && _stricmp(className, "Button") == 0 && IsWindowVisible(child))
        list->ids.push_back(GetDlgCtrlID(child));
    return TRUE;
}

const char *ButtonName(int id)
{
    for (const Button &button : buttons)
        if (button.id == id)
            return button.name;
    return nullptr;
}

int ButtonId(const std::string &name)
{
    for (const Button &button : buttons)
        if (name == button.name)
            return button.id;
    return 0;
}

std::string WindowText(HWND window)
{
    char text[8192];
    int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

bool WaitForFile(const std::string &path, DWORD timeout)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeout; Sleep(50))
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
    return false;
}

void WriteRect(const std::string &path, HWND box)
{
    RECT rect;
    GetWindowRect(box, &rect);
    FILE *file = fopen(path.c_str(), "w");
    if (!file)
        Fail("cannot write the box rectangle");
    fprintf(file, "%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    fclose(file);
}

// Reads the box, answers it as scripted and waits until it has gone.
void HandleBox(HWND box, size_t index, const Options &options, HANDLE process)
{
    char text[8192];
    UINT textLength = GetDlgItemTextA(box, 0xFFFF, text, sizeof text);

    ButtonList list{{}, box};
    EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&list));
    std::sort(list.ids.begin(), list.ids.end());
    std::string names;
    for (int id : list.ids) {
        if (!names.empty())
            names += ",";
        const char *name = ButtonName(id);
        names += name ? name : std::to_string(id);
    }

    std::string answer;
    std::string note;
    if (options.watch) {
        answer = "user";
    } else if (index < options.answers.size()) {
        answer = options.answers[index];
    } else {
        answer = std::count(list.ids.begin(), list.ids.end(), IDNO) ? "NO" : "OK";
        note = " unscripted";
    }

    Print("box caption=\"" + Escape(WindowText(box)) + "\" text=\"" + Escape(text, textLength) + "\" buttons=" +
          names + " answer=" + answer + note);

    if (!options.pauseDir.empty()) {
        // Without a window manager Wine leaves a process's first box
        // inactive; shown to a user it would be active, so draw it so.
        SetForegroundWindow(box);
        SendMessageTimeoutA(box, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
        std::string name = options.pauseDir + "\\box-" + std::to_string(index + 1);
        WriteRect(name + ".rect", box);
        if (!WaitForFile(name + ".go", 60000))
            Print("driver-error nobody released box " + std::to_string(index + 1));
    }

    if (answer == "CLOSE") {
        // What the caption's close button sends. Wine lets even a Yes/No box
        // be closed, and the box then returns IDCANCEL.
        PostMessageA(box, WM_CLOSE, 0, 0);
    } else if (!options.watch) {
        // A click on the real button, as a user would give it.
        HWND button = GetDlgItem(box, ButtonId(answer));
        if (!button || !IsWindowVisible(button))
            Print("driver-error the box has no button " + answer);
        else
            PostMessageA(button, BM_CLICK, 0, 0);
    }

    DWORD wait = options.watch ? 3600000 : options.timeout;
    for (DWORD start = GetTickCount(); IsWindow(box) && IsWindowVisible(box); Sleep(20)) {
        if (GetTickCount() - start > wait) {
            Print("timeout box " + std::to_string(index + 1) + " still open");
            TerminateProcess(process, 99);
            return;
        }
        if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            return;
    }
}

// Every process the helper started has ended, so its records are complete.
void WaitForJob(HANDLE job, DWORD timeout)
{
    for (DWORD start = GetTickCount();; Sleep(20)) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
        if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr))
            Fail("cannot query the job");
        if (info.ActiveProcesses == 0)
            return;
        if (GetTickCount() - start > timeout) {
            Print("timeout " + std::to_string(info.ActiveProcesses) + " started processes still running");
            TerminateJobObject(job, 99);
            return;
        }
    }
}

}

int main(int argc, char **argv)
{
    Options options = ParseOptions(argc, argv);
    std::string commandLine = ReadFileBytes(options.commandLineFile);
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (options.useShow) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = options.show;
    }

    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (!job)
        Fail("cannot create a job");

    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        options.cwd.empty() ? nullptr : options.cwd.c_str(), &startup, &process))
        Fail("cannot start the program");
    if (!AssignProcessToJobObject(job, process.hProcess))
        Fail("cannot put the program in a job");
    ResumeThread(process.hThread);

    std::set<HWND> seen;
    std::string reportedClass;
    DWORD lastEvent = GetTickCount();
    DWORD idle = options.watch ? 3600000 : options.timeout;
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        Search search{process.dwProcessId, &seen, nullptr, {}};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (!search.otherClass.empty() && search.otherClass != reportedClass) {
            reportedClass = search.otherClass;
            Print("window class=\"" + Escape(reportedClass) + "\"");
        }
        if (search.found) {
            HandleBox(search.found, seen.size(), options, process.hProcess);
            seen.insert(search.found);
            lastEvent = GetTickCount();
        } else if (GetTickCount() - lastEvent > idle) {
            Print("timeout no box within " + std::to_string(idle / 1000) + " s and the program still runs");
            TerminateProcess(process.hProcess, 99);
        }
    }

    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    WaitForJob(job, options.timeout);
    Print("exit " + std::to_string(exitCode));
    return 0;
}
