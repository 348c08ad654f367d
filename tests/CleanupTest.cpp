// The removal plan against a registry and a file system: what goes, what
// stays, in which order, with which rights, and that no handle is left open.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakeWindows.h"
#include "ProductKeys.h"
#include "cleanup/Cleanup.h"

namespace {

using expected::class1;
using expected::class2;
using expected::extensions;
using expected::progIds;

const char product[] = "HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000";
const char settings[] = "HKLM\\SOFTWARE\\Quillmarsh\\Velmora 2000\\Settings";
const char undoPath[] = "C:\\Program Files\\Velmora";

std::string Classes(const std::string &name)
{
    return "HKCR\\" + name;
}

std::string Clsid(const std::string &name)
{
    return "HKCR\\CLSID\\" + name;
}

void SeedFullRegistration()
{
    for (const char *name : extensions)
        fake::SetText(Classes(name), "", "Velmora.Effect");
    for (const char *name : progIds) {
        fake::SetText(Classes(name) + "\\DefaultIcon", "", "C:\\Program Files\\Velmora\\v2000.exe,1");
        fake::AddKey(Classes(name) + "\\Shell");
    }
    for (const char *name : {class1, class2})
        fake::SetText(Clsid(name) + "\\InprocServer32", "", "C:\\Program Files\\Velmora\\fx.dll");
    fake::SetText(settings, "First Undo-path", undoPath);
    fake::SetText(settings, "Language", "English");
    fake::AddKey(std::string(product) + "\\99");

    fake::AddDirectory(undoPath);
    fake::AddFile(std::string(undoPath) + "\\Awake.tmp");
    fake::AddFile(std::string(undoPath) + "\\unins000.exe");
}

// Keys that the plan does not name, next to those it does.
const char *const bystanders[] = {
    "HKLM\\SOFTWARE\\Quillmarsh\\Other Product\\Settings",
    "HKCR\\CLSID\\{6B1F4E03-3A7C-4D29-9C85-5D20E7A31B44}\\InprocServer32",
    "HKCR\\aaa_program2\\DefaultIcon",
    "HKCR\\.txt",
    "HKCR\\.plugins",
    "HKLM\\SOFTWARE\\Velmora 2000",
};

void SeedBystanders()
{
    for (const char *path : bystanders)
        fake::AddKey(path);
}

// The expected log of one key deletion step.
void Step(std::vector<std::string> &log, const std::string &root, const std::string &path, const char *access,
          const std::string &name, int opened, int deleted)
{
    std::string key = path.empty() ? root : root + "\\" + path;
    log.push_back("RegOpenKeyExA(" + root + ", " + (path.empty() ? "NULL" : path) + ", 0, " + access + ") -> " +
                  std::to_string(opened));
    if (opened != 0)
        return;
    log.push_back("RegDeleteKeyA(" + key + ", " + name + ") -> " + std::to_string(deleted));
    log.push_back("RegCloseKey(" + key + ") -> 0");
}

std::vector<std::string> KeyStepCalls()
{
    std::vector<std::string> lines;
    for (const std::string &line : fake::Calls())
        if (line.find("Settings, 0, 0x20019") == std::string::npos && line.compare(0, 16, "RegQueryValueExA") != 0 &&
            line != std::string("RegCloseKey(") + settings + ") -> 0" && line.compare(0, 3, "Reg") == 0)
            lines.push_back(line);
    return lines;
}

// The 93 steps on a machine where every key of the plan exists, or none: an
// open of a root itself succeeds even then.
std::vector<std::string> ExpectedSteps(bool present)
{
    std::vector<std::string> log;
    for (const expected::Step &step : expected::Plan())
        Step(log, step.root, step.path, step.access, step.name, present || step.path.empty() ? 0 : 2, present ? 0 : 2);
    return log;
}

void ExpectSameLog(const std::vector<std::string> &got, const std::vector<std::string> &expected)
{
    size_t n = std::min(got.size(), expected.size());
    for (size_t i = 0; i < n; ++i)
        ASSERT_EQ(got[i], expected[i]) << "call " << i;
    EXPECT_EQ(got.size(), expected.size());
}

class RemoveRegistrationsTest : public testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override { EXPECT_EQ(fake::OpenHandleCount(), 0) << "registry handles left open"; }
};

TEST_F(RemoveRegistrationsTest, FullRegistrationGoesAndOnlyIt)
{
    SeedFullRegistration();
    SeedBystanders();
    RemoveRegistrations();

    ExpectSameLog(KeyStepCalls(), ExpectedSteps(true));

    std::vector<std::string> left = fake::AllKeys();
    std::vector<std::string> expected(std::begin(bystanders), std::end(bystanders));
    for (const char *path : bystanders)
        for (size_t end = std::string(path).find('\\', 5); end != std::string::npos; end = std::string(path).find('\\', end + 1))
            expected.push_back(std::string(path).substr(0, end));
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, expected) << "the maker's key, CLSID and the bystanders stay; nothing else";

    EXPECT_FALSE(fake::FileExists(std::string(undoPath) + "\\Awake.tmp"));
    EXPECT_TRUE(fake::FileExists(std::string(undoPath) + "\\unins000.exe"));
    EXPECT_EQ(fake::CurrentDirectory(), undoPath);
}

TEST_F(RemoveRegistrationsTest, NothingToRemove)
{
    RemoveRegistrations();

    ExpectSameLog(KeyStepCalls(), ExpectedSteps(false));
    EXPECT_TRUE(fake::CallsOf("SetCurrentDirectoryA").empty());
    EXPECT_TRUE(fake::CallsOf("remove").empty());
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\");
}

TEST_F(RemoveRegistrationsTest, SecondRunFindsNothing)
{
    SeedFullRegistration();
    RemoveRegistrations();
    fake::SetCurrentDirectory("C:\\");
    fake::AddFile("C:\\Awake.tmp");
    size_t firstRun = fake::Calls().size();

    RemoveRegistrations();

    std::vector<std::string> second(fake::Calls().begin() + static_cast<long>(firstRun), fake::Calls().end());
    EXPECT_EQ(std::count_if(second.begin(), second.end(),
                            [](const std::string &line) { return line.compare(0, 13, "RegDeleteKeyA") == 0 &&
                                                                 line.substr(line.size() - 4) == "-> 0"; }),
              0);
    EXPECT_TRUE(fake::FileExists("C:\\Awake.tmp")) << "no setting, so no file is removed anywhere";
    EXPECT_EQ(fake::CurrentDirectory(), "C:\\");
}

TEST_F(RemoveRegistrationsTest, PartialRegistration)
{
    // Every other extension, ProgIDs with only some subkeys, the first class
    // without its server, no "99".
    for (size_t i = 0; i < 20; i += 2)
        fake::AddKey(Classes(extensions[i]));
    fake::AddKey(Classes("aaa_program"));
    fake::AddKey(Classes("aaa_program3\\DefaultIcon"));
    fake::AddKey(Classes("aaa_program23\\Shell"));
    fake::AddKey(Clsid(class1));
    fake::AddKey(Clsid(class2) + "\\InprocServer32");
    fake::AddKey(settings);

    RemoveRegistrations();

    for (const std::string &left : fake::AllKeys())
        EXPECT_TRUE(left == "HKLM\\SOFTWARE" || left == "HKLM\\SOFTWARE\\Quillmarsh" || left == "HKCR\\CLSID")
            << left << " should be gone";
    EXPECT_EQ(fake::CallsOf("RegOpenKeyExA").size(), 20u + 66u + 7u + 1u) << "every step opens once, plus the setting";
}

TEST_F(RemoveRegistrationsTest, UnnamedSubkeysKeepTheirParents)
{
    // NT does not delete a key with subkeys: a verb under "Shell", a subkey the
    // plan does not name under a class, an extension's own subkey.
    SeedFullRegistration();
    fake::AddKey(Classes("aaa_program5\\Shell\\open\\command"));
    fake::AddKey(Clsid(class2) + "\\ProgID");
    fake::AddKey(Classes(".room\\ShellNew"));
    fake::AddKey(std::string(product) + "\\Presets");

    RemoveRegistrations();

    for (std::string kept : {Classes("aaa_program5\\Shell\\open\\command"), Clsid(class2) + "\\ProgID",
                             Classes(".room\\ShellNew"), std::string(product) + "\\Presets"})
        EXPECT_TRUE(fake::KeyExists(kept)) << kept;
    EXPECT_FALSE(fake::KeyExists(Classes("aaa_program5\\DefaultIcon")));
    EXPECT_FALSE(fake::KeyExists(Clsid(class2) + "\\InprocServer32"));
    EXPECT_FALSE(fake::KeyExists(settings));
    EXPECT_FALSE(fake::KeyExists(Classes("aaa_program6")));
    EXPECT_FALSE(fake::KeyExists(Classes(".choir")));
}

TEST_F(RemoveRegistrationsTest, RefusedOpensEndOnlyTheirStep)
{
    struct Case {
        const char *name;
        const char *key;
        REGSAM refused;
        std::vector<std::string> kept;
        std::vector<std::string> gone;
    } cases[] = {
        {"classes root refuses full access", "HKCR", DELETE,
         {Classes(".plugin"), Classes(".spectrum"), Classes("aaa_program"), Classes("aaa_program23")},
         {Classes("aaa_program\\DefaultIcon"), Classes("aaa_program23\\Shell"), Clsid(class1), Clsid(class2)}},
        {"CLSID refuses all but write", "HKCR\\CLSID", KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY,
         {},
         {Clsid(class1), Clsid(class2)}},
        {"CLSID refuses write", "HKCR\\CLSID", KEY_SET_VALUE,
         {Clsid(class1), Clsid(class2)},
         {Clsid(class1) + "\\InprocServer32", Clsid(class2) + "\\InprocServer32", product}},
        {"one ProgID refuses", "HKCR\\aaa_program7", KEY_CREATE_LINK,
         {Classes("aaa_program7\\DefaultIcon"), Classes("aaa_program7\\Shell")},
         {Classes("aaa_program8"), Classes("aaa_program6")}},
        {"product key refuses", product, KEY_CREATE_SUB_KEY,
         {settings, std::string(product) + "\\99"},
         {Clsid(class1), Clsid(class2), Classes(".plugin")}},
        {"the maker's key refuses", "HKLM\\SOFTWARE\\Quillmarsh", KEY_CREATE_SUB_KEY,
         {product},
         {settings, std::string(product) + "\\99", Clsid(class1)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        SeedFullRegistration();
        fake::DenyAccess(c.key, c.refused);
        RemoveRegistrations();
        for (const std::string &key : c.kept)
            EXPECT_TRUE(fake::KeyExists(key)) << key << " should stay";
        for (const std::string &key : c.gone)
            EXPECT_FALSE(fake::KeyExists(key)) << key << " should be gone";
        EXPECT_EQ(fake::CallsOf("RegOpenKeyExA").size(), 94u) << "every step is still attempted";
        TearDown();
    }
}

class ReadSettingTest : public testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override { EXPECT_EQ(fake::OpenHandleCount(), 0); }
};

TEST_F(ReadSettingTest, StoredBytesUpToTheirFirstZero)
{
    struct Case {
        const char *name;
        DWORD type;
        std::string bytes;
        std::string expected;
    } cases[] = {
        {"path with its zero", REG_SZ, std::string("C:\\Program Files\\Velmora") + '\0', "C:\\Program Files\\Velmora"},
        {"254 characters and zero fit", REG_SZ, std::string(254, 'a') + '\0', std::string(254, 'a')},
        {"255 characters and zero do not", REG_SZ, std::string(255, 'b') + '\0', ""},
        {"255 bytes without zero", REG_SZ, std::string(255, 'c'), std::string(255, 'c')},
        {"256 bytes without zero", REG_SZ, std::string(256, 'd'), ""},
        {"binary up to its first zero", REG_BINARY, std::string("ab\0cd", 5), "ab"},
        {"a DWORD's bytes", REG_DWORD, std::string("ABC\0", 4), "ABC"},
        {"expandable text is not expanded", REG_EXPAND_SZ, std::string("%TEMP%\\Velmora") + '\0', "%TEMP%\\Velmora"},
        {"empty text", REG_SZ, std::string(1, '\0'), ""},
        {"no bytes at all", REG_BINARY, "", ""},
        {"bytes 0x80 and up", REG_SZ, std::string("C:\\Caf\xe9\x83\x41") + '\0', "C:\\Caf\xe9\x83\x41"},
    };
    for (const Case &c : cases) {
        SetUp();
        fake::SetValue(settings, "First Undo-path", c.type, c.bytes);
        const char *text = ReadSetting("First Undo-path");
        EXPECT_EQ(std::string(text), c.expected) << c.name;
        EXPECT_LE(strlen(text), 255u) << c.name;
    }
}

TEST_F(ReadSettingTest, ReadsTheSettingsKeyWithReadRights)
{
    fake::SetText(settings, "First Undo-path", "C:\\V");
    ReadSetting("First Undo-path");
    EXPECT_EQ(fake::Calls(), (std::vector<std::string>{
                                 std::string("RegOpenKeyExA(HKLM, ") + (settings + 5) + ", 0, 0x20019) -> 0",
                                 std::string("RegQueryValueExA(") + settings + ", First Undo-path, 255) -> 0",
                                 std::string("RegCloseKey(") + settings + ") -> 0",
                             }));
}

TEST_F(ReadSettingTest, EmptyWhenItCannotBeRead)
{
    struct Case {
        const char *name;
        void (*seed)();
    } cases[] = {
        {"no Settings key", [] { fake::AddKey(product); }},
        {"no such value", [] { fake::SetText(settings, "Language", "English"); }},
        {"value under another name", [] { fake::SetText(settings, "First Undo path", "C:\\V"); }},
        {"read refused", [] {
             fake::SetText(settings, "First Undo-path", "C:\\V");
             fake::DenyAccess(settings, KEY_QUERY_VALUE);
         }},
    };
    for (const Case &c : cases) {
        SetUp();
        c.seed();
        EXPECT_EQ(std::string(ReadSetting("First Undo-path")), "") << c.name;
        TearDown();
    }
}

TEST_F(ReadSettingTest, ShorterValueDoesNotRunOnIntoAnEarlierOne)
{
    fake::SetValue(settings, "First Undo-path", REG_SZ, std::string(200, 'x'));
    EXPECT_EQ(std::string(ReadSetting("First Undo-path")), std::string(200, 'x'));

    fake::SetValue(settings, "First Undo-path", REG_SZ, "C:\\V");
    EXPECT_EQ(std::string(ReadSetting("First Undo-path")), "C:\\V");

    fake::SetValue(settings, "First Undo-path", REG_SZ, std::string(300, 'y'));
    EXPECT_EQ(std::string(ReadSetting("First Undo-path")), "") << "too long after a successful read";
}

TEST(DeleteMarkerFileTest, RemovesTheMarkerOnlyFromTheSettingsDirectory)
{
    struct Case {
        const char *name;
        const char *setting; // nullptr: no value
        bool directoryExists;
        bool markerExists;
        bool markerInUse;
        const char *directoryAfter;
        bool markerRemoved;
    } cases[] = {
        {"directory with the marker", "C:\\Program Files\\Velmora", true, true, false, "C:\\Program Files\\Velmora", true},
        {"trailing backslash", "C:\\Program Files\\Velmora\\", true, true, false, "C:\\Program Files\\Velmora", true},
        {"directory without the marker", "C:\\Program Files\\Velmora", true, false, false, "C:\\Program Files\\Velmora",
         false},
        {"marker in use", "C:\\Program Files\\Velmora", true, true, true, "C:\\Program Files\\Velmora", false},
        {"missing directory", "C:\\Program Files\\Velmora", false, true, false, "C:\\Start", false},
        {"empty setting", "", true, true, false, "C:\\Start", false},
        {"no setting", nullptr, true, true, false, "C:\\Start", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        fake::SetCurrentDirectory("C:\\Start");
        fake::AddFile("C:\\Start\\Awake.tmp");
        fake::AddFile("C:\\Start\\keep.txt");
        fake::AddKey(settings);
        if (c.setting)
            fake::SetText(settings, "First Undo-path", c.setting);
        if (c.directoryExists)
            fake::AddDirectory("C:\\Program Files\\Velmora");
        if (c.markerExists)
            fake::AddFile("C:\\Program Files\\Velmora\\Awake.tmp", c.markerInUse);
        fake::AddFile("C:\\Program Files\\Velmora\\Awake.tmp.bak");

        DeleteMarkerFile();

        EXPECT_EQ(fake::CurrentDirectory(), c.directoryAfter);
        EXPECT_EQ(fake::FileExists("C:\\Program Files\\Velmora\\Awake.tmp"), c.markerExists && !c.markerRemoved);
        EXPECT_TRUE(fake::FileExists("C:\\Start\\Awake.tmp")) << "the start directory's file is never touched";
        EXPECT_TRUE(fake::FileExists("C:\\Start\\keep.txt"));
        EXPECT_TRUE(fake::FileExists("C:\\Program Files\\Velmora\\Awake.tmp.bak"));
        std::vector<std::string> removes = fake::CallsOf("remove");
        EXPECT_LE(removes.size(), 1u);
        for (const std::string &line : removes)
            EXPECT_EQ(line.substr(0, 17), "remove(Awake.tmp)") << "by its bare name";
        EXPECT_EQ(fake::OpenHandleCount(), 0);
    }
}

TEST(DeleteProgIdTreeTest, KeyWithoutSubkeysAndMissingKey)
{
    fake::Reset();
    fake::AddKey(Classes("aaa_program"));
    DeleteProgIdTree("aaa_program");
    DeleteProgIdTree("aaa_program2");

    std::vector<std::string> expected;
    Step(expected, "HKCR", "aaa_program", "0xF003F", "DefaultIcon", 0, 2);
    Step(expected, "HKCR", "aaa_program", "0xF003F", "Shell", 0, 2);
    Step(expected, "HKCR", "", "0xF003F", "aaa_program", 0, 0);
    Step(expected, "HKCR", "aaa_program2", "0xF003F", "DefaultIcon", 2, 0);
    Step(expected, "HKCR", "aaa_program2", "0xF003F", "Shell", 2, 0);
    Step(expected, "HKCR", "", "0xF003F", "aaa_program2", 0, 2);
    EXPECT_EQ(fake::Calls(), expected);
    EXPECT_FALSE(fake::KeyExists(Classes("aaa_program")));
    EXPECT_EQ(fake::OpenHandleCount(), 0);
}

}
