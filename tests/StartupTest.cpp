// How the start-up cuts the command line and picks the show state. The rows
// are command lines as Windows hands them over, with the tail Windows' own
// rule gives.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "FakeWindows.h"
#include "platform/Startup.h"

namespace {

struct TailCase {
    const char *name;
    const char *commandLine;
    const char *tail;
};

// Shift-JIS lead bytes, as code page 932 has them.
std::set<BYTE> Cp932LeadBytes()
{
    std::set<BYTE> lead;
    for (int b = 0x81; b <= 0x9F; ++b)
        lead.insert(static_cast<BYTE>(b));
    for (int b = 0xE0; b <= 0xFC; ++b)
        lead.insert(static_cast<BYTE>(b));
    return lead;
}

// A copy in a buffer of exactly its own size, so that a read past the NUL is
// a read past the allocation.
std::string CutTail(const char *commandLine)
{
    std::vector<char> line(commandLine, commandLine + strlen(commandLine) + 1);
    LPSTR tail = CutCommandTail(line.data());
    EXPECT_GE(tail, line.data());
    EXPECT_LT(tail, line.data() + line.size());
    return tail;
}

void ExpectTails(const std::vector<TailCase> &cases)
{
    for (const TailCase &c : cases)
        EXPECT_EQ(CutTail(c.commandLine), c.tail) << c.name << ": command line [" << c.commandLine << "]";
}

class CutCommandTailTest : public testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
};

TEST_F(CutCommandTailTest, SingleByteCodePage)
{
    ExpectTails({
        {"quoted path and switches", "\"C:\\Program Files\\Velmora\\VelmoraUninstall.exe\" C:\\uninst.exe /S",
         "C:\\uninst.exe /S"},
        {"unquoted path", "C:\\V\\VelmoraUninstall.exe uninst.exe", "uninst.exe"},
        {"inner and trailing blanks kept", "x.exe   a  \"b  c\"  ", "a  \"b  c\"  "},
        {"text right after the closing quote", "\"C:\\V\\x.exe\"uninst.exe /S", "uninst.exe /S"},
        {"quote inside an unquoted path", "C:\\V\\x\"y z\".exe tail", "z\".exe tail"},
        {"unclosed quote", "\"C:\\Program Files\\x.exe uninst.exe", ""},
        {"program alone", "C:\\V\\x.exe", ""},
        {"quoted program alone", "\"C:\\V\\x.exe\"", ""},
        {"program and blanks only", "x.exe  \t \t ", ""},
        {"tabs and control bytes skipped", "x.exe\t\x01\x1f \x7f", "\x7f"},
        {"empty quotes", "\"\" tail", "tail"},
        {"empty command line", "", ""},
        {"bytes 0x80 and up are not blanks in the path", "C:\\caf\xe9\xa0\xff.exe tail", "tail"},
        {"bytes 0x80 and up start the tail", "x.exe \xe9t\xe9 \xa0", "\xe9t\xe9 \xa0"},
        {"lead-byte values are plain bytes here", "\"C:\\\x83\" tail", "tail"},
    });
}

TEST_F(CutCommandTailTest, DoubleByteCodePage)
{
    fake::SetLeadBytes(Cp932LeadBytes());
    ExpectTails({
        {"trail byte that looks like a quote", "\"C:\\\x83\"x.exe\" tail", "tail"},
        {"double-byte character then the closing quote", "\"C:\\\x83\x41\" tail", "tail"},
        {"lead byte as the last byte", "\"C:\\\x83", ""},
        {"lead byte right before the closing quote is taken with it", "\"C:\\\x83\" tail\"", ""},
        {"unquoted path does not look at lead bytes", "C:\\\x83 tail", "tail"},
    });
}

TEST(ReadShowStateTest, TakesTheStartersShowStateOnlyWhenFlagged)
{
    struct Case {
        const char *name;
        DWORD flags;
        WORD show;
        int expected;
    } cases[] = {
        {"no flag: default, whatever wShowWindow holds", 0, SW_SHOWMAXIMIZED, SW_SHOWDEFAULT},
        {"other flags only", 0x100 | 0x80, SW_SHOWMINIMIZED, SW_SHOWDEFAULT},
        {"flag with SW_HIDE", STARTF_USESHOWWINDOW, SW_HIDE, SW_HIDE},
        {"flag with SW_SHOWNORMAL", STARTF_USESHOWWINDOW, SW_SHOWNORMAL, SW_SHOWNORMAL},
        {"flag among others with 7", STARTF_USESHOWWINDOW | 0x100, 7, 7},
    };
    for (const Case &c : cases) {
        fake::Reset();
        fake::SetStartupShow(c.flags, c.show);
        EXPECT_EQ(ReadShowState(), c.expected) << c.name;
    }
}

}
