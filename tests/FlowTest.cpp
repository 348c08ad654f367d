// The courses of a run, seen from outside: the boxes, the removal, the start
// of the uninstaller and the result.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeWindows.h"
#include "flow/Flow.h"

namespace {

const char noticeText[] = "This program is only executed\nduring un-install. No harm done.";
const char shortText[] = "Are you sure that you wish to un-install\nVelmora 2000?";
const char longText[] = "Are you sure you want to un-install Velmora 2000?\n"
                        "\n"
                        "If you have found a bug in Velmora 2000, please\n"
                        "have a look at http://www.quillmarsh.example/velmora/\n"
                        "for an update that fixes the bug.\n"
                        "\n"
                        "Do you wish to un-install anyway?";
const char failureCaption[] = "velmora-bugs@quillmarsh.example";

std::string FailureText(const char *code)
{
    return std::string("The un-installation program could not be run.\nError code: ") + code;
}

// One key of each kind the removal deletes, so that a removal shows.
void SeedSomeRegistrations()
{
    fake::AddKey("HKCR\\.plugin");
    fake::AddKey("HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000\\99");
}

bool RemovalRan()
{
    return !fake::KeyExists("HKCR\\.plugin") && !fake::KeyExists("HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000");
}

int RunHelper(const char *tail, int showState = SW_SHOWDEFAULT)
{
    std::string copy = tail;
    return WinMain(reinterpret_cast<HINSTANCE>(0x400000), nullptr, &copy[0], showState);
}

// The log without the registry and file operations of the removal.
std::vector<std::string> FlowCalls()
{
    std::vector<std::string> lines;
    for (const std::string &line : fake::Calls())
        if (line.compare(0, 3, "Reg") != 0 && line.compare(0, 6, "remove") != 0 && line.compare(0, 3, "Set") != 0)
            lines.push_back(line);
    return lines;
}

class WinMainTest : public testing::Test {
protected:
    void SetUp() override
    {
        fake::Reset();
        SeedSomeRegistrations();
    }
};

TEST_F(WinMainTest, EmptyTailShowsOnlyTheNotice)
{
    fake::ScriptBoxAnswers({IDOK});
    EXPECT_EQ(RunHelper(""), 0);

    ASSERT_EQ(fake::Boxes().size(), 1u);
    EXPECT_EQ(fake::Boxes()[0].owner, nullptr);
    EXPECT_EQ(fake::Boxes()[0].text, noticeText);
    EXPECT_EQ(fake::Boxes()[0].caption, "Velmora");
    EXPECT_EQ(fake::Boxes()[0].style, 0x40u);
    // The date is not read, nothing is touched, nothing is started.
    EXPECT_EQ(fake::Calls(), std::vector<std::string>{"MessageBoxA(Velmora, 0x40) -> 1"});
    EXPECT_FALSE(RemovalRan());
}

TEST_F(WinMainTest, EveryCourseEndsWithZero)
{
    struct Case {
        const char *name;
        std::vector<int> answers;
        UINT started;
        std::vector<std::string> calls;
        bool removed;
    } cases[] = {
        {"declined", {IDNO}, 33, {"GetLocalTime()", "MessageBoxA(Velmora 2000, 0x24) -> 7"}, false},
        {"confirmed",
         {IDYES},
         33,
         {"GetLocalTime()", "MessageBoxA(Velmora 2000, 0x24) -> 6", "WinExec(uninst.exe /S, 10) -> 33"},
         true},
        {"failed start",
         {IDYES, IDOK},
         2,
         {"GetLocalTime()", "MessageBoxA(Velmora 2000, 0x24) -> 6", "WinExec(uninst.exe /S, 10) -> 2",
          std::string("MessageBoxA(") + failureCaption + ", 0x10) -> 1"},
         true},
        {"box that cannot be shown goes on as Yes",
         {0},
         33,
         {"GetLocalTime()", "MessageBoxA(Velmora 2000, 0x24) -> 0", "WinExec(uninst.exe /S, 10) -> 33"},
         true},
        {"IDCANCEL is not No",
         {IDCANCEL},
         33,
         {"GetLocalTime()", "MessageBoxA(Velmora 2000, 0x24) -> 2", "WinExec(uninst.exe /S, 10) -> 33"},
         true},
        {"failure box that cannot be shown",
         {IDYES, 0},
         0,
         {"GetLocalTime()", "MessageBoxA(Velmora 2000, 0x24) -> 6", "WinExec(uninst.exe /S, 10) -> 0",
          std::string("MessageBoxA(") + failureCaption + ", 0x10) -> 0"},
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        fake::ScriptBoxAnswers(c.answers);
        fake::SetWinExecResult(c.started);

        EXPECT_EQ(RunHelper("uninst.exe /S"), 0);
        EXPECT_EQ(FlowCalls(), c.calls);
        EXPECT_EQ(RemovalRan(), c.removed);
        for (const fake::Box &box : fake::Boxes())
            EXPECT_EQ(box.owner, nullptr);
        if (!fake::Boxes().empty()) {
            EXPECT_EQ(fake::Boxes()[0].caption, "Velmora 2000");
            EXPECT_EQ(fake::Boxes()[0].text, shortText);
        }
    }
}

TEST_F(WinMainTest, RemovalEndsBeforeTheUninstallerStarts)
{
    fake::ScriptBoxAnswers({IDYES});
    RunHelper("uninst.exe");

    const std::vector<std::string> &calls = fake::Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "WinExec(uninst.exe, 10) -> 33");
    ASSERT_EQ(fake::Execs().size(), 1u);
    EXPECT_TRUE(RemovalRan()) << "the keys were gone when the uninstaller started";
}

TEST_F(WinMainTest, UninstallerGetsTheTailAndShowStateUnchanged)
{
    const char tail[] = "\"C:\\Program Files\\Velmora\\unins000.exe\"  /SILENT \"/LOG=a b.txt\"\t \xe9  ";
    fake::ScriptBoxAnswers({IDYES});
    RunHelper(tail, SW_SHOWMINIMIZED);

    ASSERT_EQ(fake::Execs().size(), 1u);
    EXPECT_EQ(fake::Execs()[0].commandLine, tail);
    EXPECT_EQ(fake::Execs()[0].showState, static_cast<UINT>(SW_SHOWMINIMIZED));
}

TEST_F(WinMainTest, AnyNonEmptyTailAsksForConfirmation)
{
    for (const char *tail : {" ", "\t", "\x01", "\xff"}) {
        SetUp();
        fake::ScriptBoxAnswers({IDNO});
        RunHelper(tail);
        ASSERT_EQ(fake::Boxes().size(), 1u) << "tail [" << tail << "]";
        EXPECT_EQ(fake::Boxes()[0].caption, "Velmora 2000") << "tail [" << tail << "]";
    }
}

TEST(ConfirmationTextTest, ShortFromApril2000)
{
    struct Case {
        WORD year, month, day, hour;
        const char *text;
    } cases[] = {
        {1601, 1, 1, 0, longText},    {1999, 12, 31, 23, longText}, {2000, 1, 15, 12, longText},
        {2000, 3, 1, 0, longText},    {2000, 3, 31, 23, longText},  {2000, 4, 1, 0, shortText},
        {2000, 4, 30, 23, shortText}, {2000, 12, 1, 0, shortText},  {2001, 1, 1, 0, shortText},
        {2026, 12, 11, 12, shortText}, {30827, 12, 31, 23, shortText},
    };
    for (const Case &c : cases) {
        fake::Reset();
        fake::SetLocalDate(c.year, c.month, c.day, c.hour);
        fake::ScriptBoxAnswers({IDNO});
        RunHelper("uninst.exe");
        ASSERT_EQ(fake::Boxes().size(), 1u);
        EXPECT_EQ(fake::Boxes()[0].text, c.text) << c.year << "-" << c.month << "-" << c.day << " " << c.hour << "h";
        EXPECT_EQ(fake::Boxes()[0].style, 0x24u);
    }
}

TEST(LaunchUninstallerTest, ReportsOnlyCodesBelow32)
{
    struct Case {
        UINT started;
        const char *shown; // nullptr: no box
    } cases[] = {
        {0, "0"},          {2, "2"},           {3, "3"},
        {11, "11"},        {31, "31"},         {32, nullptr},
        {33, nullptr},     {0x7FFFFFFF, nullptr}, {0x80000000, nullptr},
        {0xFFFFFFFF, nullptr},
    };
    for (const Case &c : cases) {
        fake::Reset();
        fake::SetWinExecResult(c.started);
        LaunchUninstaller("uninst.exe", SW_SHOWNORMAL);

        ASSERT_EQ(fake::Execs().size(), 1u) << c.started;
        if (!c.shown) {
            EXPECT_TRUE(fake::Boxes().empty()) << "start result " << c.started;
            continue;
        }
        ASSERT_EQ(fake::Boxes().size(), 1u) << "start result " << c.started;
        EXPECT_EQ(fake::Boxes()[0].text, FailureText(c.shown));
        EXPECT_EQ(fake::Boxes()[0].caption, failureCaption);
        EXPECT_EQ(fake::Boxes()[0].style, 0x10u);
        EXPECT_EQ(fake::Boxes()[0].owner, nullptr);
    }
}

}
