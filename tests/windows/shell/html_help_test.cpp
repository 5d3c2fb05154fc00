// The HTML Help loader and "show help", against stand-in engines that record
// their calls (fake_hhctrl.dll) and against Wine's own engine.
#include "app/html_help.h"

#include <gtest/gtest.h>
#include <htmlhelp.h>

#include <string>

#include "tests/support/temp_folder.h"
#include "tests/windows/shell/fake_hhctrl.h"
#include "tests/windows/shell/shell_test_support.h"

namespace {

// A class of the test's own, registered through HKEY_CLASSES_ROOT (Wine 8
// does not show HKCU\Software\Classes there) and removed when the test ends.
constexpr char kTestClassKey[] = "CLSID\\{6D0F3A52-8E41-4C1B-9B7A-2F5C0E7D4A19}";
constexpr char kTestServerKey[] = "CLSID\\{6D0F3A52-8E41-4C1B-9B7A-2F5C0E7D4A19}\\InprocServer32";

class RegisteredTestClass {
  public:
    RegisteredTestClass(DWORD type, const std::string& value) {
        HKEY handle = nullptr;
        ok_ = RegCreateKeyExA(HKEY_CLASSES_ROOT, kTestServerKey, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &handle, nullptr) == ERROR_SUCCESS;
        if (!ok_) return;
        ok_ = RegSetValueExA(handle, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
        RegCloseKey(handle);
    }
    ~RegisteredTestClass() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kTestClassKey); }
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

std::string fakeEnginePath(const char* name = "fake_hhctrl.dll") {
    return (testProgramFolder() / name).string();
}

FakeHelpRecord* recordOf(const char* moduleName) {
    HMODULE module = GetModuleHandleA(moduleName);
    if (module == nullptr) return nullptr;
    auto get = reinterpret_cast<FakeHelpRecordFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "fakeHelpRecord")));
    return get != nullptr ? get() : nullptr;
}

app::HtmlHelpEngineLocation missingEverywhere() {
    return {"CLSID\\{00000000-0000-0000-0000-00000000DEAD}\\InprocServer32",
            "moravel_no_such_engine.ocx"};
}

TEST(HtmlHelpEngine, FailedLoadIsRememberedAndNeverRetried) {
    app::HtmlHelpEngine engine(missingEverywhere());
    EXPECT_EQ(engine.loadAttempts(), 0) << "nothing is loaded before the first call";
    engine.initialize();
    EXPECT_EQ(engine.loadAttempts(), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(engine.displayTopic(nullptr, L"C:\\x\\Pirex.chm"));
    }
    EXPECT_EQ(engine.call(nullptr, nullptr, HH_DISPLAY_TOPIC, 0), nullptr);
    engine.uninitialize();
    EXPECT_EQ(engine.loadAttempts(), 1);
}

TEST(HtmlHelpEngine, LibraryWithoutOrdinal15CountsAsMissing) {
    // The registered path loads, but the entry is not there: no fallback to
    // another library after that, and no second try.
    RegisteredTestClass registered(REG_SZ, fakeEnginePath("fake_hhctrl_noentry.dll"));
    ASSERT_TRUE(registered.ok());
    app::HtmlHelpEngine engine({kTestServerKey, "moravel_no_such_engine.ocx"});
    EXPECT_FALSE(engine.displayTopic(nullptr, L"C:\\x\\Pirex.chm"));
    EXPECT_FALSE(engine.displayTopic(nullptr, L"C:\\x\\Pirex.chm"));
    EXPECT_EQ(engine.loadAttempts(), 1);
    EXPECT_EQ(GetModuleHandleA("fake_hhctrl_noentry.dll"), nullptr)
        << "the useless library is freed";
}

TEST(HtmlHelpEngine, ExpandsTheRegisteredPathAndForwardsEveryCall) {
    // REG_EXPAND_SZ: the variable is expanded before the path is loaded.
    SetEnvironmentVariableA("MORAVEL_FAKE_ENGINE_DIR", testProgramFolder().string().c_str());
    RegisteredTestClass registered(REG_EXPAND_SZ, "%MORAVEL_FAKE_ENGINE_DIR%\\fake_hhctrl.dll");
    ASSERT_TRUE(registered.ok());
    {
        app::HtmlHelpEngine engine({kTestServerKey, "moravel_no_such_engine.ocx"});
        engine.initialize();
        FakeHelpRecord* record = recordOf("fake_hhctrl.dll");
        ASSERT_NE(record, nullptr) << "the registered engine was not loaded";
        *record = FakeHelpRecord{};

        HWND owner = GetDesktopWindow();
        EXPECT_TRUE(engine.displayTopic(owner, L"Z:\\manuals\\Pirex.chm"));
        EXPECT_EQ(record->displayCalls, 1);
        EXPECT_EQ(record->lastCommand, UINT{HH_DISPLAY_TOPIC});
        EXPECT_EQ(record->lastOwner, owner);
        EXPECT_STREQ(record->lastFile, L"Z:\\manuals\\Pirex.chm");

        engine.uninitialize();
        EXPECT_EQ(record->uninitializeCalls, 1);
        EXPECT_EQ(record->uninitializeCookie, DWORD_PTR{kFakeHelpCookie})
            << "the cookie from start-up goes back at exit";
        engine.uninitialize();
        EXPECT_EQ(record->uninitializeCalls, 1) << "a second exit call gives nothing back";
        EXPECT_EQ(engine.loadAttempts(), 1);
    }
    EXPECT_EQ(GetModuleHandleA("fake_hhctrl.dll"), nullptr)
        << "the engine is freed with its loader";
}

TEST(HtmlHelpEngine, FallsBackToTheLibraryNameWhenTheRegisteredPathDoesNotLoad) {
    RegisteredTestClass registered(REG_SZ, "C:\\nowhere\\hhctrl.ocx");
    ASSERT_TRUE(registered.ok());
    const std::string fallback = fakeEnginePath();
    app::HtmlHelpEngine engine({kTestServerKey, fallback.c_str()});
    EXPECT_TRUE(engine.displayTopic(nullptr, L"a.chm"));
    ASSERT_NE(recordOf("fake_hhctrl.dll"), nullptr);
    EXPECT_STREQ(recordOf("fake_hhctrl.dll")->lastFile, L"a.chm");
}

TEST(HtmlHelpEngine, UninitializeWithoutInitializeTouchesNothing) {
    app::HtmlHelpEngine engine(missingEverywhere());
    engine.uninitialize();
    EXPECT_EQ(engine.loadAttempts(), 0);
}

TEST(HtmlHelpEngine, SystemEngineLoadsThroughItsRegisteredClass) {
    // Wine ships an engine and registers it; start-up and exit must work
    // with it, loading once.
    app::HtmlHelpEngine engine;
    engine.initialize();
    engine.uninitialize();
    EXPECT_EQ(engine.loadAttempts(), 1);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT,
                      "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        GTEST_SKIP() << "this Wine has no registered HTML Help engine";
    RegCloseKey(key);
    EXPECT_NE(GetModuleHandleA("hhctrl.ocx"), nullptr);
}

TEST(HelpFilePath, ReplacesTheExtensionOfTheProgramName) {
    struct Case {
        const wchar_t* program;
        const wchar_t* expected;  // null: does not fit
    };
    // 259 characters, the longest path there is: the help file fits exactly.
    const std::wstring longProgram = L"C:\\" + std::wstring(MAX_PATH - 14, L'a') + L"\\Pirex.exe";
    const std::wstring longHelp = L"C:\\" + std::wstring(MAX_PATH - 14, L'a') + L"\\Pirex.chm";
    // A name without extension whose ".chm" would make 260 characters.
    const std::wstring tooLong = L"C:\\" + std::wstring(MAX_PATH - 13, L'a') + L"\\Pirex";
    const Case cases[] = {
        {L"C:\\Program Files\\Moravel\\Pirex.exe", L"C:\\Program Files\\Moravel\\Pirex.chm"},
        {L"C:\\tools.v2\\Pirex", L"C:\\tools.v2\\Pirex.chm"},
        {L"C:\\a\\Pirex.tar.EXE", L"C:\\a\\Pirex.tar.chm"},
        {L"Pirex.exe", L"Pirex.chm"},
        {L"C:Pirex", L"C:Pirex.chm"},
        {longProgram.c_str(), longHelp.c_str()},
        {tooLong.c_str(), nullptr},
    };
    for (const Case& c : cases) {
        wchar_t chm[MAX_PATH];
        const bool fits = app::helpFilePathFor(c.program, chm);
        EXPECT_EQ(fits, c.expected != nullptr) << std::wstring(c.program).size();
        if (fits && c.expected != nullptr) {
            EXPECT_STREQ(chm, c.expected);
        }
    }
}

std::wstring openedAddress;
int openCalls = 0;
bool recordOpen(const wchar_t* address) {
    ++openCalls;
    openedAddress = address;
    return true;
}

TEST(ShowHelp, ManualPagePathIsBesideTheProgram) {
    const std::wstring deep = L"C:\\" + std::wstring(MAX_PATH - 22, L'a') + L"\\";
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Program Files\\Moravel\\Pirex.exe",
         L"C:\\Program Files\\Moravel\\manual\\index.html"},
        {L"Z:/x.y/Pirex", L"Z:/x.y/manual\\index.html"},
        {L"C:Pirex.exe", L"C:manual\\index.html"},
        {L"Pirex.exe", L"manual\\index.html"},
        {deep + L"Pirex.exe", deep + L"manual\\index.html"},  // 259 characters
        {L"x" + deep + L"Pirex.exe", L""},                    // one more does not fit
    };
    for (const auto& [program, expected] : cases) {
        wchar_t page[MAX_PATH];
        const bool fits = app::manualPagePathFor(program.c_str(), page);
        EXPECT_EQ(fits, !expected.empty()) << program.size();
        if (fits) {
            EXPECT_EQ(std::wstring(page), expected);
        }
    }
}

TEST(ShowHelp, OpensTheCompiledManualElseItsPagesElseNothing) {
    TempFolder folder;
    const std::wstring program = (folder.path() / "Pirex.exe").wstring();
    const std::wstring manual = (folder.path() / "Pirex.chm").wstring();
    openCalls = 0;

    // Neither the compiled manual nor its pages: nothing opens, and the
    // engine is not even loaded.
    const std::string fakeEngine = fakeEnginePath();
    app::HtmlHelpEngine engine(
        {"CLSID\\{00000000-0000-0000-0000-00000000DEAD}", fakeEngine.c_str()});
    EXPECT_FALSE(app::showHelp(engine, program.c_str(), recordOpen));
    EXPECT_EQ(openCalls, 0);

    // The pages beside the program: the first one.
    const ProgramWithManual release(folder.path());
    EXPECT_TRUE(app::showHelp(engine, program.c_str(), recordOpen));
    EXPECT_EQ(openCalls, 1);
    EXPECT_EQ(openedAddress, release.page);
    EXPECT_EQ(engine.loadAttempts(), 0);

    // With it: the engine displays exactly that file, the browser stays shut.
    touchFile(folder.path() / "Pirex.chm");
    EXPECT_TRUE(app::showHelp(engine, program.c_str(), recordOpen));
    EXPECT_EQ(openCalls, 1);
    FakeHelpRecord* record = recordOf("fake_hhctrl.dll");
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->lastCommand, UINT{HH_DISPLAY_TOPIC});
    EXPECT_EQ(record->lastOwner, nullptr);
    EXPECT_EQ(std::wstring(record->lastFile), manual);
}

TEST(ShowHelp, TheShellOpensTheManualPageWithTheProgramForWebPages) {
    TempFolder folder;
    const ProgramWithManual release(folder.path());
    RecordingPageViewer viewer(folder.path() / "opened.txt");
    ASSERT_TRUE(viewer.ok());
    app::HtmlHelpEngine engine(missingEverywhere());
    EXPECT_TRUE(app::showHelp(engine, release.program.c_str()));
    EXPECT_EQ(viewer.openedPath(), release.page);
}

TEST(ShowHelp, LocalManualWithoutAnEngineOpensNothingAndDoesNotRetry) {
    TempFolder folder;
    touchFile(folder.path() / "Pirex.chm");
    const std::wstring program = (folder.path() / "Pirex.exe").wstring();
    openCalls = 0;
    app::HtmlHelpEngine engine(missingEverywhere());
    engine.initialize();
    EXPECT_FALSE(app::showHelp(engine, program.c_str(), recordOpen));
    EXPECT_FALSE(app::showHelp(engine, program.c_str(), recordOpen));
    EXPECT_EQ(openCalls, 0);
    EXPECT_EQ(engine.loadAttempts(), 1);
}

}  // namespace
