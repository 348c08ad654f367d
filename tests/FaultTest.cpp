// Every Windows call of a confirmed run that can fail, made to fail alone and
// all together. Whatever fails, the run still walks the whole plan in order,
// starts the uninstaller once, shows no box after the confirmation but the
// start failure, leaves no registry handle open and returns 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "FakeWindows.h"
#include "ProductKeys.h"

namespace {

using expected::class1;
using expected::class2;
using expected::extensions;
using expected::Plan;
using expected::progIds;
using expected::Step;

const char settingsKey[] = "HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000\\Settings";
const char undoPath[] = "C:\\Program Files\\Velmora";
const char marker[] = "C:\\Program Files\\Velmora\\Awake.tmp";
const char startDirectory[] = "C:\\Start";
const char tail[] = "\"C:\\Program Files\\Velmora\\unins000.exe\" /SILENT";
const char confirmText[] = "Are you sure that you wish to un-install\nVelmora 2000?";
const char failureCaption[] = "velmora-bugs@quillmarsh.example";

const char settingsOpen[] = "RegOpenKeyExA(HKLM, SOFTWARE\\Quillmarsh\\Velmora 2000\\Settings, 0, 0x20019)";
const char settingsQuery[] = "RegQueryValueExA(HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000\\Settings, First Undo-path, 255)";
const char directoryChange[] = "SetCurrentDirectoryA(C:\\Program Files\\Velmora)";
const char markerRemoval[] = "remove(Awake.tmp)";

std::string Key(const Step &step)
{
    return step.path.empty() ? step.root : step.root + "\\" + step.path;
}

std::string Target(const Step &step)
{
    return Key(step) + "\\" + step.name;
}

std::string OpenLine(const Step &step)
{
    return "RegOpenKeyExA(" + step.root + ", " + (step.path.empty() ? "NULL" : step.path) + ", 0, " + step.access + ")";
}

const size_t stepsBeforeSettings = 20 + 3 * 22;

struct Fault {
    std::string callPrefix;
    int occurrence;
    LONG result;
};

// A fault on the open of one step: the how-many-th open with the same
// arguments it is.
Fault OpenFault(size_t index, LONG result)
{
    const std::vector<Step> &plan = Plan();
    std::string line = OpenLine(plan[index]);
    int occurrence = 1;
    for (size_t i = 0; i < index; ++i)
        occurrence += OpenLine(plan[i]) == line;
    return {line, occurrence, result};
}

enum class Setting { Path, NoKey, NoValue, TooLong };
enum class Marker { Present, Missing, InUse };

struct Row {
    std::string name;

    // The machine and the faults.
    std::vector<Fault> faults;
    Setting setting = Setting::Path;
    bool directoryExists = true;
    Marker marker = Marker::Present;
    std::vector<int> answers = {IDYES, IDOK};
    UINT started = 33;

    // What the run must then do.
    std::set<size_t> failedOpens;
    LONG settingsOpenResult = ERROR_SUCCESS;
    LONG queryResult = ERROR_SUCCESS;
    int directoryResult = TRUE;
    int removeResult = 0;
    bool deletionsRefused = false;
};

// NT does not delete a key that still has subkeys: the target of a step that
// could not open stays, and so does every key above it.
std::set<std::string> KeptKeys(const Row &row)
{
    std::set<std::string> kept;
    for (size_t index = 0; index < Plan().size(); ++index) {
        std::string target = Target(Plan()[index]);
        if (!row.deletionsRefused && !row.failedOpens.count(index))
            continue;
        for (size_t end = target.find('\\'); end != std::string::npos; end = target.find('\\', end + 1))
            kept.insert(target.substr(0, end));
        kept.insert(target);
    }
    return kept;
}

void Seed(const Row &row)
{
    fake::Reset();
    fake::SetCurrentDirectory(startDirectory);
    fake::AddFile(std::string(startDirectory) + "\\Awake.tmp");

    for (const Step &step : Plan())
        if (row.setting != Setting::NoKey || Target(step) != settingsKey)
            fake::AddKey(Target(step));
    fake::AddKey("HKCR\\.txt");
    fake::AddKey("HKLM\\SOFTWARE\\Quillmarsh\\Other Product");

    switch (row.setting) {
    case Setting::Path:
        fake::SetText(settingsKey, "First Undo-path", undoPath);
        break;
    case Setting::NoKey:
        break;
    case Setting::NoValue:
        fake::SetText(settingsKey, "Language", "English");
        break;
    case Setting::TooLong:
        fake::SetText(settingsKey, "First Undo-path", std::string(255, 'V'));
        break;
    }

    if (row.directoryExists)
        fake::AddDirectory(undoPath);
    if (row.marker != Marker::Missing)
        fake::AddFile(marker, row.marker == Marker::InUse);
    fake::AddFile(std::string(undoPath) + "\\unins000.exe");

    for (const Fault &fault : row.faults)
        fake::FailCalls(fault.callPrefix, fault.occurrence, fault.result);
    fake::ScriptBoxAnswers(row.answers);
    fake::SetWinExecResult(row.started);
}

std::string Result(const std::string &call, long result)
{
    return call + " -> " + std::to_string(result);
}

// The removal's calls, between the confirmation and the start, against the
// plan: every step opened in order, deleted and closed when it opened, passed
// over when it did not; the setting read and the marker removed only as far as
// each call before them succeeded.
void CheckRemoval(const Row &row, const std::vector<std::string> &calls)
{
    size_t at = 0;
    auto expect = [&](const std::string &what, bool wholeLine) {
        std::string got = at < calls.size() ? calls[at] : "<no more calls>";
        bool same = wholeLine ? got == what : got.compare(0, what.size(), what) == 0;
        if (!same)
            ADD_FAILURE() << row.name << ": removal call " << at << "\n  got      [" << got << "]\n  expected ["
                          << what << (wholeLine ? "]" : "...]");
        ++at;
        return same;
    };
    auto step = [&](size_t index) {
        const Step &s = Plan()[index];
        std::string open = OpenLine(s) + " -> ";
        if (!expect(open, false))
            return false;
        bool opened = calls[at - 1] == open + "0";
        if (opened == (row.failedOpens.count(index) != 0)) {
            ADD_FAILURE() << row.name << ": step " << index << " [" << calls[at - 1] << "], expected the open to "
                          << (opened ? "fail" : "succeed");
            return false;
        }
        if (!opened)
            return true;
        return expect("RegDeleteKeyA(" + Key(s) + ", " + s.name + ") -> ", false) &&
               expect(Result("RegCloseKey(" + Key(s) + ")", 0), true);
    };

    for (size_t index = 0; index < stepsBeforeSettings; ++index)
        if (!step(index))
            return;

    if (!expect(Result(settingsOpen, row.settingsOpenResult), true))
        return;
    if (row.settingsOpenResult == ERROR_SUCCESS) {
        if (!expect(Result(settingsQuery, row.queryResult), true) ||
            !expect(Result(std::string("RegCloseKey(") + settingsKey + ")", 0), true))
            return;
        if (row.queryResult == ERROR_SUCCESS) {
            if (!expect(Result(directoryChange, row.directoryResult), true))
                return;
            if (row.directoryResult && !expect(Result(markerRemoval, row.removeResult), true))
                return;
        }
    }

    for (size_t index = stepsBeforeSettings; index < Plan().size(); ++index)
        if (!step(index))
            return;
    if (at < calls.size())
        ADD_FAILURE() << row.name << ": calls after the last step, first [" << calls[at] << "]";
}

void RunRow(const Row &row)
{
    SCOPED_TRACE(row.name);
    Seed(row);
    std::vector<std::string> keysBefore = fake::AllKeys();

    std::string copy = tail;
    EXPECT_EQ(WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, &copy[0], SW_SHOWNORMAL), 0) << row.name;

    EXPECT_EQ(fake::OpenHandleCount(), 0) << row.name << ": registry handles left open";

    // The confirmation, then only the start-failure box, and that only when the
    // start failed.
    const std::vector<fake::Box> &boxes = fake::Boxes();
    bool failed = row.started < 32;
    ASSERT_EQ(boxes.size(), failed ? 2u : 1u) << row.name << ": boxes for start result " << row.started;
    EXPECT_EQ(boxes[0].text, confirmText) << row.name;
    EXPECT_EQ(boxes[0].style, 0x24u) << row.name;
    if (failed) {
        EXPECT_EQ(boxes[1].text,
                  "The un-installation program could not be run.\nError code: " + std::to_string(row.started))
            << row.name;
        EXPECT_EQ(boxes[1].caption, failureCaption) << row.name;
        EXPECT_EQ(boxes[1].style, 0x10u) << row.name;
    }
    for (const fake::Box &box : boxes)
        EXPECT_EQ(box.owner, nullptr) << row.name;

    // One start, with the tail and show state as given, from the setting's
    // directory only when the change to it succeeded.
    ASSERT_EQ(fake::Execs().size(), 1u) << row.name;
    EXPECT_EQ(fake::Execs()[0].commandLine, tail) << row.name;
    EXPECT_EQ(fake::Execs()[0].showState, static_cast<UINT>(SW_SHOWNORMAL)) << row.name;
    bool changed = row.settingsOpenResult == ERROR_SUCCESS && row.queryResult == ERROR_SUCCESS && row.directoryResult;
    EXPECT_EQ(fake::Execs()[0].directory, changed ? undoPath : startDirectory) << row.name;

    // The whole log: date, confirmation, removal, start, failure box.
    const std::vector<std::string> &calls = fake::Calls();
    ASSERT_GE(calls.size(), 3u) << row.name;
    EXPECT_EQ(calls[0], "GetLocalTime()") << row.name;
    EXPECT_EQ(calls[1], Result("MessageBoxA(Velmora 2000, 0x24)", row.answers[0])) << row.name;
    auto start = std::find_if(calls.begin(), calls.end(),
                              [](const std::string &line) { return line.compare(0, 8, "WinExec(") == 0; });
    ASSERT_NE(start, calls.end()) << row.name;
    EXPECT_EQ(*start, Result(std::string("WinExec(") + tail + ", 1)", static_cast<long>(row.started))) << row.name;
    CheckRemoval(row, std::vector<std::string>(calls.begin() + 2, start));
    std::vector<std::string> after(start + 1, calls.end());
    std::vector<std::string> expectedAfter;
    if (failed)
        expectedAfter.push_back(Result(std::string("MessageBoxA(") + failureCaption + ", 0x10)", row.answers[1]));
    EXPECT_EQ(after, expectedAfter) << row.name << ": calls after the start";

    // Keys: what the plan deletes goes unless a failure kept it; nothing else.
    std::set<std::string> kept = KeptKeys(row);
    std::set<std::string> targets;
    for (const Step &step : Plan())
        targets.insert(Target(step));
    std::vector<std::string> expectedKeys;
    for (const std::string &key : keysBefore)
        if (!targets.count(key) || kept.count(key))
            expectedKeys.push_back(key);
    std::vector<std::string> keysAfter = fake::AllKeys();
    std::sort(expectedKeys.begin(), expectedKeys.end());
    std::sort(keysAfter.begin(), keysAfter.end());
    EXPECT_EQ(keysAfter, expectedKeys) << row.name;

    // Files: at most the marker goes, and only when its removal succeeded.
    bool markerGone = changed && row.removeResult == 0;
    EXPECT_EQ(fake::FileExists(marker), row.marker != Marker::Missing && !markerGone) << row.name;
    EXPECT_TRUE(fake::FileExists(std::string(startDirectory) + "\\Awake.tmp")) << row.name;
    EXPECT_TRUE(fake::FileExists(std::string(undoPath) + "\\unins000.exe")) << row.name;
}

Row Named(const std::string &name)
{
    Row row;
    row.name = name;
    return row;
}

std::string StepName(size_t index)
{
    const Step &step = Plan()[index];
    return "step " + std::to_string(index + 1) + " (open " + Key(step) + " to delete " + step.name + ")";
}

TEST(FaultTest, EachOpenFailingAlone)
{
    for (LONG code : {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND}) {
        const char *how = code == ERROR_ACCESS_DENIED ? " denied" : " missing";
        for (size_t index = 0; index < Plan().size(); ++index) {
            Row row = Named(StepName(index) + how);
            row.faults = {OpenFault(index, code)};
            row.failedOpens = {index};
            RunRow(row);
        }

        Row row = Named(std::string("open of the Settings key") + how);
        row.faults = {{settingsOpen, 1, code}};
        row.settingsOpenResult = code;
        RunRow(row);
    }

    Row row = Named("no Settings key at all");
    row.setting = Setting::NoKey;
    row.settingsOpenResult = ERROR_FILE_NOT_FOUND;
    RunRow(row);
}

TEST(FaultTest, EachOtherCallFailingAlone)
{
    std::vector<Row> rows;
    auto add = [&](const std::string &name) -> Row & {
        rows.push_back(Named(name));
        return rows.back();
    };

    Row *row = &add("value query finds no value");
    row->faults = {{settingsQuery, 1, ERROR_FILE_NOT_FOUND}};
    row->queryResult = ERROR_FILE_NOT_FOUND;
    row = &add("value query needs more room");
    row->faults = {{settingsQuery, 1, ERROR_MORE_DATA}};
    row->queryResult = ERROR_MORE_DATA;
    row = &add("Settings key without the value");
    row->setting = Setting::NoValue;
    row->queryResult = ERROR_FILE_NOT_FOUND;
    row = &add("value of 255 characters and its zero");
    row->setting = Setting::TooLong;
    row->queryResult = ERROR_MORE_DATA;

    row = &add("directory change refused");
    row->faults = {{"SetCurrentDirectoryA(", 1, FALSE}};
    row->directoryResult = FALSE;
    row = &add("directory does not exist");
    row->directoryExists = false;
    row->directoryResult = FALSE;

    row = &add("marker file missing");
    row->marker = Marker::Missing;
    row->removeResult = -1;
    row = &add("marker file in use");
    row->marker = Marker::InUse;
    row->removeResult = -1;

    row = &add("every key deletion refused");
    row->faults = {{"RegDeleteKeyA(", 0, ERROR_ACCESS_DENIED}};
    row->deletionsRefused = true;

    row = &add("confirmation box cannot be shown");
    row->answers = {0};

    for (UINT started : {0u, 2u, 11u, 31u, 32u}) {
        row = &add("WinExec returns " + std::to_string(started));
        row->started = started;
    }
    row = &add("start fails and its box cannot be shown");
    row->started = 2;
    row->answers = {IDYES, 0};

    for (const Row &r : rows)
        RunRow(r);
}

TEST(FaultTest, AllTogether)
{
    std::vector<Fault> stepOpensDenied, stepOpensMissing;
    std::set<size_t> allSteps;
    for (size_t index = 0; index < Plan().size(); ++index) {
        stepOpensDenied.push_back(OpenFault(index, ERROR_ACCESS_DENIED));
        stepOpensMissing.push_back(OpenFault(index, ERROR_FILE_NOT_FOUND));
        allSteps.insert(index);
    }

    Row every = Named("every call fails, no box can be shown, WinExec returns 0");
    every.faults = {{"RegOpenKeyExA(", 0, ERROR_ACCESS_DENIED},
                    {"RegQueryValueExA(", 0, ERROR_FILE_NOT_FOUND},
                    {"RegDeleteKeyA(", 0, ERROR_ACCESS_DENIED},
                    {"SetCurrentDirectoryA(", 0, FALSE},
                    {"remove(", 0, -1}};
    every.answers = {0, 0};
    every.started = 0;
    every.failedOpens = allSteps;
    every.settingsOpenResult = ERROR_ACCESS_DENIED;
    RunRow(every);

    Row tooLong = Named("every step open missing, value too long, confirmation not shown, WinExec returns 11");
    tooLong.faults = stepOpensMissing;
    tooLong.setting = Setting::TooLong;
    tooLong.answers = {0, IDOK};
    tooLong.started = 11;
    tooLong.failedOpens = allSteps;
    tooLong.queryResult = ERROR_MORE_DATA;
    RunRow(tooLong);

    Row noDirectory = Named("every step open denied, directory change refused, WinExec returns 31");
    noDirectory.faults = stepOpensDenied;
    noDirectory.faults.push_back({"SetCurrentDirectoryA(", 0, FALSE});
    noDirectory.started = 31;
    noDirectory.failedOpens = allSteps;
    noDirectory.directoryResult = FALSE;
    RunRow(noDirectory);

    Row inUse = Named("every step open denied, every deletion refused, marker in use, WinExec returns 2 unseen");
    inUse.faults = stepOpensDenied;
    inUse.faults.push_back({"RegDeleteKeyA(", 0, ERROR_ACCESS_DENIED});
    inUse.marker = Marker::InUse;
    inUse.answers = {IDYES, 0};
    inUse.started = 2;
    inUse.failedOpens = allSteps;
    inUse.removeResult = -1;
    inUse.deletionsRefused = true;
    RunRow(inUse);

    Row started = Named("every removal call fails, WinExec returns 32");
    started.faults = {{"RegOpenKeyExA(", 0, ERROR_FILE_NOT_FOUND}};
    started.started = 32;
    started.failedOpens = allSteps;
    started.settingsOpenResult = ERROR_FILE_NOT_FOUND;
    RunRow(started);
}

}
