// The program when the private heap refuses memory for a batch's file list:
// error 30001 in a box owned as documented, nothing converted, and the
// program either goes on (a drop) or ends (the command line).
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/text.h"
#include "platform/platform.h"
#include "tests/windows/app/app_test_support.h"

namespace {

namespace fs = std::filesystem;
using apptest::programFolder;

struct Shown {
    std::wstring ownerClass;
    std::wstring text;
};

// Lets the heap refuse every allocation while it lives.
class HeapRefusal {
  public:
    HeapRefusal() { platform::privateHeap().refuseAfter(0); }
    ~HeapRefusal() { platform::privateHeap().refuseAfter(-1); }
};

HDROP makeDrop(const fs::path& path) {
    const std::wstring text = path.wstring();
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + (text.size() + 2) * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::copy(text.begin(), text.end(),
              reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES)));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

class ProgramMemoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        apptest::copyInto(apptest::testData() / "bmp" / "rgb24.bmp", temp.path(), "a.bmp");
    }
    void TearDown() override {
        program.reset();
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }

    void start(const std::vector<fs::path>& files) {
        std::wstring commandLine = L"Pirex.exe";
        for (const fs::path& file : files) commandLine += L" \"" + file.wstring() + L"\"";
        arguments.split(commandLine.c_str());
        location.programFolder.assign(app::utf16(programFolder().c_str()));
        location.settingsFile.assign(app::utf16((temp / "Pirex.ini").c_str()));
        program = std::make_unique<app::Application>(
            GetModuleHandleW(nullptr),
            [this](HWND owner, const wchar_t* text, const wchar_t*, UINT) {
                wchar_t name[64] = {};
                GetClassNameW(owner, name, 64);
                shown.push_back({name, text});
            });
        app::StartOptions options;
        options.osClass = 5;
        options.arguments = &arguments;
        options.location = &location;
        options.uiLanguage = 0x0409;
        ASSERT_TRUE(program->initialize(options));
    }

    TempFolder temp;
    app::ArgumentVector arguments;
    SettingsLocation location;
    std::unique_ptr<app::Application> program;
    std::vector<Shown> shown;
};

TEST_F(ProgramMemoryTest, DropListThatCannotBeHadIsReportedAndTheProgramGoesOn) {
    start({});
    HWND settings = program->settingsWindow().hwnd();
    {
        HeapRefusal refusal;
        SendMessageW(settings, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(temp / "a.bmp")), 0);
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].ownerClass, L"Pirex_setting_class");
    EXPECT_EQ(shown[0].text, apptest::libraryString(programFolder() / "English.dll", 30001));
    EXPECT_FALSE(program->dropPending());
    EXPECT_TRUE(IsWindowVisible(settings));
    EXPECT_FALSE(fs::exists(temp / "a+1.bmp"));

    // With memory back, the same drop works.
    program->settings().startMode = 1;
    SendMessageW(settings, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(temp / "a.bmp")), 0);
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(ProgramMemoryTest, CommandLineListThatCannotBeHadEndsTheProgram) {
    start({temp / "a.bmp"});
    HWND convert = program->convertWindow().hwnd();
    {
        HeapRefusal refusal;
        SendMessageW(convert, WM_KEYDOWN, 'P', 0);
    }
    ASSERT_GE(shown.size(), 1u);
    EXPECT_EQ(shown[0].ownerClass, L"Pirex_convert_class");
    EXPECT_EQ(shown[0].text, apptest::libraryString(programFolder() / "English.dll", 30001));
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_FALSE(IsWindow(convert));
    EXPECT_FALSE(fs::exists(temp / "a.png"));
}

}  // namespace
