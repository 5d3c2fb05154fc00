// The program's shell in-process: the real windows are created and driven
// with the messages a user's actions send (keys, commands, dropped files,
// system-menu commands, log-off), against the real English library.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/background_batch.h"
#include "app/control_ids.h"
#include "app/text.h"
#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "lang/resource_ids.h"
#include "tests/windows/app/app_test_support.h"

namespace {

using apptest::programFolder;
using apptest::testData;
namespace fs = std::filesystem;

struct Shown {
    std::wstring ownerClass;
    std::wstring text;
    std::wstring caption;
    UINT flags;
};

std::wstring englishString(UINT id) {
    return apptest::libraryString(programFolder() / "English.dll", id);
}

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    if (window) GetClassNameW(window, name, 64);
    return name;
}

std::wstring textOf(HWND window) {
    wchar_t text[260] = {};
    GetWindowTextW(window, text, 260);
    return text;
}

// An HDROP as the shell delivers it: a DROPFILES block with wide paths.
HDROP makeDrop(const std::vector<fs::path>& paths) {
    size_t characters = 1;
    for (const fs::path& path : paths) characters += path.wstring().size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
    for (const fs::path& path : paths) {
        const std::wstring text = path.wstring();
        std::copy(text.begin(), text.end(), out);
        out += text.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

// Whether HWND_NOTOPMOST takes an owned window out of the topmost band.
bool systemClearsOwnedTopmost() {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_CAPTION, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND owned = CreateWindowExW(0, L"STATIC", L"", WS_SYSMENU, 0, 0, 50, 50, owner, nullptr,
                                 nullptr, nullptr);
    SetWindowPos(owned, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(owned, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const bool cleared = !(GetWindowLongPtrW(owned, GWL_EXSTYLE) & WS_EX_TOPMOST);
    DestroyWindow(owned);
    DestroyWindow(owner);
    return cleared;
}

class ProgramWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sources = temp / "sources";
        settingsFile = temp / "Pirex.ini";
        apptest::copySampleSources(sources);
    }

    void TearDown() override {
        program.reset();
        drainMessages();
    }

    // Writes the settings file the program will find.
    void writeSettings(const Settings& settings) {
        ASSERT_TRUE(saveSettings(app::utf16(settingsFile.c_str()), settings));
    }

    // Starts the program with these file arguments (none: started without files).
    bool start(const std::vector<fs::path>& files, int osClass = 5) {
        std::wstring commandLine = L"\"" + (programFolder() / "Pirex.exe").wstring() + L"\"";
        for (const fs::path& file : files) commandLine += L" \"" + file.wstring() + L"\"";
        arguments.split(commandLine.c_str());
        location.programFolder.assign(app::utf16(languageFolder.c_str()));
        location.settingsFile.assign(app::utf16(settingsFile.c_str()));
        program = std::make_unique<app::Application>(
            GetModuleHandleW(nullptr),
            [this](HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
                shown.push_back({classOf(owner), text, caption, flags});
            });
        app::StartOptions options;
        options.osClass = osClass;
        options.arguments = &arguments;
        options.location = &location;
        options.uiLanguage = 0x0409;
        return program->initialize(options);
    }

    HWND convert() { return program->convertWindow().hwnd(); }
    HWND settingsWindow() { return program->settingsWindow().hwnd(); }

    bool drainMessages() { return apptest::drainMessages(); }

    // Lets the batches on their thread run to the end while this thread
    // answers messages, as the message loop would; a list of failed files
    // left open is read and closed.
    void finishBatches() {
        const DWORD until = GetTickCount() + 60000;
        while (program && program->batchRunning() &&
               static_cast<LONG>(until - GetTickCount()) > 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) {
                    PostQuitMessage(static_cast<int>(message.wParam));
                    return;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            HWND progress = FindWindowW(L"Pirex_progress_class", nullptr);
            HWND list = progress ? GetDlgItem(progress, app::kIdProgressFailures) : nullptr;
            if (list && IsWindowVisible(list)) {
                wchar_t text[2048] = {};
                GetWindowTextW(list, text, 2048);
                failureLists.push_back(text);
                SendMessageW(progress, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
        }
        EXPECT_FALSE(program && program->batchRunning()) << "the batch did not end";
    }

    void press(WPARAM key) { SendMessageW(convert(), WM_KEYDOWN, key, 0); }
    void click(HWND window, int id) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    }
    void drop(const std::vector<fs::path>& paths) {
        SendMessageW(settingsWindow(), WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(paths)), 0);
    }

    // The program ended: windows gone, WM_QUIT posted, language unloaded.
    void expectEnded() {
        finishBatches();
        EXPECT_FALSE(program->convertWindow().exists());
        EXPECT_FALSE(program->settingsWindow().exists());
        EXPECT_TRUE(drainMessages());
        EXPECT_FALSE(program->language().loaded());
    }

    // A number or a text as the settings file holds it now.
    int32_t savedNumber(uint32_t slot) {
        SettingsFileReader reader;
        reader.open(app::utf16(settingsFile.c_str()));
        return reader.readNumber(slot, -999);
    }
    std::u16string savedText(uint32_t slot) {
        SettingsFileReader reader;
        reader.open(app::utf16(settingsFile.c_str()));
        HeapString text;
        reader.readText(slot, text);
        return text.c_str();
    }

    TempFolder temp;
    fs::path sources;
    fs::path settingsFile;
    fs::path languageFolder = programFolder();
    app::ArgumentVector arguments;
    SettingsLocation location;
    std::unique_ptr<app::Application> program;
    std::vector<Shown> shown;
    std::vector<std::wstring> failureLists;
};

TEST_F(ProgramWindowsTest, StartedWithoutFilesTheSettingsWindowIsTheDropTarget) {
    ASSERT_TRUE(start({}));
    EXPECT_TRUE(IsWindowVisible(settingsWindow()));
    EXPECT_FALSE(IsWindowVisible(convert()));
    EXPECT_TRUE(GetWindowLongPtrW(settingsWindow(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_FALSE(GetWindowLongPtrW(convert(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(GetWindow(settingsWindow(), GW_OWNER), convert());

    // Classes, captions, styles, client sizes and centring of both windows.
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    struct Expected {
        HWND window;
        const wchar_t* className;
        DWORD style;
        int width, height;
    };
    const Expected windows[] = {
        {convert(), L"Pirex_convert_class",
         WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 222, 107},
        {settingsWindow(), L"Pirex_setting_class", WS_SYSMENU | WS_MINIMIZEBOX, 506, 314},
    };
    for (const Expected& e : windows) {
        EXPECT_EQ(classOf(e.window), e.className);
        EXPECT_EQ(textOf(e.window), L"Moravel");
        EXPECT_EQ(GetWindowLongPtrW(e.window, GWL_STYLE) & e.style, e.style) << e.className;
        EXPECT_EQ(
            GetWindowLongPtrW(e.window, GWL_EXSTYLE) & (WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME),
            WS_EX_APPWINDOW | WS_EX_DLGMODALFRAME)
            << e.className;
        RECT client, outer;
        GetClientRect(e.window, &client);
        GetWindowRect(e.window, &outer);
        EXPECT_EQ(client.right, e.width) << e.className;
        EXPECT_EQ(client.bottom, e.height) << e.className;
        const int width = outer.right - outer.left, height = outer.bottom - outer.top;
        EXPECT_EQ(outer.left, (work.left + work.right - width) >> 1) << e.className;
        EXPECT_EQ(outer.top, (work.top + work.bottom - height) >> 1) << e.className;
    }

    // The system menu: always-on-top and a separator first; no maximise, no size.
    HMENU menu = GetSystemMenu(settingsWindow(), FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemID(menu, 0), 5000u);
    wchar_t itemText[100] = {};
    GetMenuStringW(menu, 0, itemText, 100, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(itemText), englishString(5000));
    EXPECT_TRUE(GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_EQ(GetMenuState(menu, SC_SIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
    EXPECT_NE(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));

    // Always on top: the menu item and a caption double-click toggle it, and
    // the item is ticked exactly while it is on.
    auto topmost = [&] {
        return (GetWindowLongPtrW(settingsWindow(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    };
    auto ticked = [&] {
        SendMessageW(settingsWindow(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                     MAKELPARAM(0, TRUE));
        return (GetMenuState(menu, 5000, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    EXPECT_FALSE(topmost());
    EXPECT_FALSE(ticked());
    SendMessageW(settingsWindow(), WM_SYSCOMMAND, 5000, 0);
    EXPECT_TRUE(topmost());
    EXPECT_TRUE(ticked());
    // The way back: Wine 8 keeps a window that is owned by a captioned window
    // topmost through HWND_NOTOPMOST, so it is checked only where the system
    // lets any such window go back.
    if (systemClearsOwnedTopmost()) {
        SendMessageW(settingsWindow(), WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
        EXPECT_FALSE(topmost());
        EXPECT_FALSE(ticked());
        SendMessageW(settingsWindow(), WM_SYSCOMMAND, 5000, 0);
        EXPECT_TRUE(topmost());
    }

    // A mouse button anywhere gives the settings window the keyboard focus.
    SetFocus(nullptr);
    SendMessageW(settingsWindow(), WM_RBUTTONDOWN, 0, 0);
    EXPECT_EQ(GetFocus(), settingsWindow());

    // Closing the settings window confirms it and, started without files,
    // ends the program, which saves the settings.
    SendMessageW(settingsWindow(), WM_CLOSE, 0, 0);
    expectEnded();
    ASSERT_TRUE(fs::exists(settingsFile));
    EXPECT_EQ(savedText(kSlotLanguage), u"English");
    EXPECT_TRUE(shown.empty());
}

TEST_F(ProgramWindowsTest, DropsStartBatchesOrWaitForAFormat) {
    const fs::path other = temp / "other";
    fs::create_directories(other);
    apptest::copyInto(testData() / "gif" / "palette256.gif", other, "d.gif");
    ASSERT_TRUE(start({}));

    // A folder first: the whole drop is ignored.
    drop({sources, sources / "a.bmp"});
    EXPECT_TRUE(IsWindowVisible(settingsWindow()));
    EXPECT_FALSE(program->dropPending());

    // Start mode 0: the files wait in the convert window; 1006 drops them.
    drop({sources / "a.bmp", sources, sources / "missing.png"});
    EXPECT_TRUE(program->dropPending());
    EXPECT_TRUE(IsWindowVisible(convert()));
    EXPECT_FALSE(IsWindowVisible(settingsWindow()));
    click(convert(), app::kIdOpenSettings);
    EXPECT_FALSE(program->dropPending());
    EXPECT_TRUE(IsWindowVisible(settingsWindow()));
    EXPECT_FALSE(IsWindowVisible(convert()));

    // Again, and a format key converts; the program goes back to the settings window.
    drop({sources / "a.bmp", sources / "b.png", sources});
    ASSERT_TRUE(IsWindowVisible(convert()));
    press('G');
    finishBatches();
    // The folder among the files failed; the others converted, so it is listed.
    ASSERT_EQ(failureLists.size(), 1u);
    EXPECT_EQ(failureLists[0],
              L"sources: cannot be read: cannot be opened or read, or is empty or cut short\r\n");
    EXPECT_TRUE(fs::exists(sources / "a.gif"));
    EXPECT_TRUE(fs::exists(sources / "b.gif"));
    EXPECT_FALSE(program->dropPending());
    EXPECT_TRUE(IsWindowVisible(settingsWindow()));
    EXPECT_FALSE(IsWindowVisible(convert()));
    EXPECT_TRUE(program->convertWindow().exists());

    // Start mode 2 converts to PNG at once, into the first file's folder.
    SendMessageW(GetDlgItem(settingsWindow(), IDC_START_MODE_LIST), CB_SETCURSEL, 2, 0);
    drop({other / "d.gif", sources / "c.jpg"});
    finishBatches();
    EXPECT_TRUE(fs::exists(other / "d.png"));
    EXPECT_TRUE(fs::exists(other / "c.png"));
    EXPECT_FALSE(fs::exists(sources / "c.png"));
    EXPECT_TRUE(IsWindowVisible(settingsWindow()));
    EXPECT_FALSE(drainMessages());

    // A drop of files that all fail: one box, owned by the settings window.
    drop({sources / "missing.bmp", sources / "also missing.png"});
    finishBatches();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].ownerClass, L"Pirex_setting_class");
    EXPECT_EQ(shown[0].text, englishString(30002));
    EXPECT_EQ(shown[0].caption, englishString(30000));
    EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_ICONERROR | MB_SETFOREGROUND));

    click(settingsWindow(), IDS_SAVE_AND_CLOSE);
    expectEnded();
    EXPECT_EQ(savedNumber(kSlotStartMode), 2);
}

TEST_F(ProgramWindowsTest, ConvertWindowControlsKeysAndResizeSwitch) {
    ASSERT_TRUE(start({sources / "c.jpg", sources / "missing.bmp"}));
    EXPECT_TRUE(IsWindowVisible(convert()));
    EXPECT_FALSE(IsWindowVisible(settingsWindow()));
    EXPECT_FALSE(GetWindowLongPtrW(settingsWindow(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);

    struct Control {
        int id;
        const wchar_t* className;
        LONG kind;
        RECT place;
    };
    const Control controls[] = {
        {1000, L"Button", BS_PUSHBUTTON, {10, 10, 74, 34}},
        {1001, L"Button", BS_PUSHBUTTON, {79, 10, 143, 34}},
        {1003, L"Button", BS_PUSHBUTTON, {148, 10, 212, 34}},
        {1002, L"Button", BS_PUSHBUTTON, {10, 39, 74, 63}},
        {1004, L"Button", BS_PUSHBUTTON, {79, 39, 212, 63}},
        {1005, L"Button", BS_AUTOCHECKBOX, {13, 77, 119, 92}},
        {1006, L"Button", BS_PUSHBUTTON, {127, 73, 212, 97}},
    };
    for (const Control& c : controls) {
        HWND control = GetDlgItem(convert(), c.id);
        ASSERT_NE(control, nullptr) << c.id;
        EXPECT_EQ(textOf(control), englishString(c.id)) << c.id;
        EXPECT_EQ(GetWindowLongPtrW(control, GWL_STYLE) & 0x0F, c.kind) << c.id;
        EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)),
                  program->uiFont());
        RECT place;
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, convert(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, c.place.left) << c.id;
        EXPECT_EQ(place.top, c.place.top) << c.id;
        EXPECT_EQ(place.right, c.place.right) << c.id;
        EXPECT_EQ(place.bottom, c.place.bottom) << c.id;
    }
    LOGFONTW font = {};
    GetObjectW(program->uiFont(), sizeof font, &font);
    EXPECT_EQ(std::wstring(font.lfFaceName), englishString(20000).substr(0, 31));
    EXPECT_EQ(font.lfHeight, -12);

    // The resize switch disables the lossless button; T still re-writes,
    // ignoring the resize settings.
    HWND jpegCopy = GetDlgItem(convert(), 1004);
    EXPECT_TRUE(IsWindowEnabled(jpegCopy));
    SendMessageW(GetDlgItem(convert(), 1005), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(jpegCopy));
    EXPECT_EQ(GetFocus(), convert());
    // Keys other than the format letters do nothing.
    for (WPARAM key : {WPARAM{'A'}, WPARAM{'X'}, WPARAM{VK_RETURN}, WPARAM{VK_SPACE}}) press(key);
    EXPECT_TRUE(program->convertWindow().exists());
    EXPECT_EQ(std::distance(fs::directory_iterator(sources), fs::directory_iterator()), 3);
    press('T');
    finishBatches();
    EXPECT_TRUE(fs::exists(sources / "c+1.jpg"));
    expectEnded();
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(savedNumber(kSlotResizeOn), 1);
}

TEST_F(ProgramWindowsTest, EscapeEndsTheProgramAndSavesWithoutConverting) {
    Settings settings;
    settings.jpegQuality = 33;
    writeSettings(settings);
    const auto before = readBytes(settingsFile);
    ASSERT_TRUE(start({sources / "a.bmp"}));
    // The settings window (key S) and back: the files still wait.
    press('S');
    EXPECT_TRUE(IsWindowVisible(settingsWindow()));
    SendMessageW(settingsWindow(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(convert()));
    EXPECT_FALSE(IsWindowVisible(settingsWindow()));
    press(VK_ESCAPE);
    expectEnded();
    EXPECT_EQ(savedNumber(kSlotJpegQuality), 33);
    EXPECT_NE(readBytes(settingsFile), before);  // the language is now stored
    EXPECT_EQ(std::distance(fs::directory_iterator(sources), fs::directory_iterator()), 3);
}

TEST_F(ProgramWindowsTest, EndSessionSavesOnlyWhenTheSessionEnds) {
    ASSERT_TRUE(start({sources / "a.bmp"}));
    EXPECT_NE(SendMessageW(convert(), WM_ENDSESSION, FALSE, 0), 1);
    EXPECT_FALSE(fs::exists(settingsFile));
    EXPECT_EQ(SendMessageW(convert(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF), 0);
    EXPECT_TRUE(fs::exists(settingsFile));
    EXPECT_TRUE(program->convertWindow().exists());
}

TEST_F(ProgramWindowsTest, StartModesConvertAtOnceAndLeaveTheSettingsFile) {
    struct Case {
        int mode;
        const char* output;
    };
    const Case cases[] = {{1, "c.bmp"}, {2, "c.png"}, {3, "c+1.jpg"}, {4, "c.gif"}, {5, "c+1.jpg"}};
    for (const Case& c : cases) {
        const fs::path folder = temp / ("mode" + std::to_string(c.mode));
        fs::create_directories(folder);
        apptest::copyInto(sources / "c.jpg", folder);
        Settings settings;
        settings.startMode = c.mode;
        writeSettings(settings);
        const auto before = readBytes(settingsFile);
        ASSERT_TRUE(start({folder / "c.jpg", folder / "missing.gif"})) << c.mode;
        finishBatches();
        EXPECT_TRUE(fs::exists(folder / c.output)) << c.mode;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2)
            << c.mode;
        expectEnded();
        EXPECT_EQ(readBytes(settingsFile), before) << c.mode;
        program.reset();
    }
    EXPECT_TRUE(shown.empty());
}

TEST_F(ProgramWindowsTest, BatchErrorsAreBoxesWithTheLibrarysTexts) {
    // Each row is one start in mode 2 (PNG at once).
    const fs::path blocked = temp / "blocked";
    fs::create_directories(blocked);
    apptest::copyInto(sources / "a.bmp", blocked);
    std::ofstream(blocked / "Output") << "a file where the sub-folder should be";
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(sources.c_str());
    struct Case {
        std::vector<fs::path> files;
        bool subFolder;
        UINT error;
    };
    const Case cases[] = {
        {{sources / "missing.bmp", temp / "gone" / "x.png"}, false, 30002},
        {{sources / "not a picture.bmp"}, false, 30002},
        // A relative path has no folder part: its folder is no directory.
        {{"a.bmp"}, false, 30003},
        {{blocked / "a.bmp"}, true, 30004},
    };
    std::ofstream(sources / "not a picture.bmp") << "BM but nothing else";
    for (const Case& c : cases) {
        Settings settings;
        settings.startMode = 2;
        settings.subFolderOn = c.subFolder;
        writeSettings(settings);
        shown.clear();
        ASSERT_TRUE(start(c.files));
        finishBatches();
        ASSERT_EQ(shown.size(), 1u) << c.error;
        EXPECT_EQ(shown[0].text, englishString(c.error));
        EXPECT_EQ(shown[0].caption, englishString(30000));
        EXPECT_EQ(shown[0].ownerClass, L"Pirex_setting_class");
        EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_ICONERROR | MB_SETFOREGROUND));
        expectEnded();
        program.reset();
    }
    SetCurrentDirectoryW(previous);
    EXPECT_FALSE(fs::exists(blocked / "a.png"));
    EXPECT_FALSE(fs::exists(sources / "a.png"));
}

TEST_F(ProgramWindowsTest, StartFailuresAndTheSecondInstance) {
    // An unsupported system.
    EXPECT_FALSE(start({}, 0));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Failed to execute file.");
    EXPECT_EQ(shown[0].caption, L"Error");
    EXPECT_EQ(shown[0].ownerClass, L"");
    EXPECT_EQ(shown[0].flags, static_cast<UINT>(MB_ICONERROR | MB_SETFOREGROUND));
    EXPECT_FALSE(FindWindowW(L"Pirex_convert_class", nullptr));

    // No language library.
    shown.clear();
    languageFolder = temp / "empty";
    fs::create_directories(languageFolder);
    EXPECT_FALSE(start({sources / "a.bmp"}));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"Language file not found.");
    EXPECT_EQ(shown[0].caption, L"Error");
    EXPECT_FALSE(fs::exists(settingsFile));
    languageFolder = programFolder();

    // The first instance runs; a second start finds it and ends silently.
    shown.clear();
    ASSERT_TRUE(start({}));
    HWND first = convert();
    app::Application second(GetModuleHandleW(nullptr),
                            [this](HWND, const wchar_t* text, const wchar_t*, UINT) {
                                shown.push_back({L"", text, L"", 0});
                            });
    app::ArgumentVector secondArguments;
    const std::wstring commandLine = L"Pirex.exe \"" + (sources / "a.bmp").wstring() + L"\"";
    secondArguments.split(commandLine.c_str());
    app::StartOptions options;
    options.osClass = 5;
    options.arguments = &secondArguments;
    options.location = &location;
    options.uiLanguage = 0x0409;
    EXPECT_FALSE(second.initialize(options));
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(IsWindow(first));
    EXPECT_FALSE(fs::exists(sources / "a+1.bmp"));
}

// A batch takes one worker per processor the process may run on: held to
// one processor, one; free again, every processor.
TEST(BatchWorkers, FollowTheProcessAffinity) {
    HANDLE process = GetCurrentProcess();
    DWORD_PTR processMask = 0, systemMask = 0;
    ASSERT_TRUE(GetProcessAffinityMask(process, &processMask, &systemMask));
    if (std::popcount(processMask) < 2) GTEST_SKIP() << "needs two processors";
    const uint32_t all = app::processorCount();
    EXPECT_EQ(all, std::min<uint32_t>(std::popcount(processMask), 64));
    ASSERT_TRUE(SetProcessAffinityMask(process, processMask & (~processMask + 1)));
    EXPECT_EQ(app::processorCount(), 1u);
    ASSERT_TRUE(SetProcessAffinityMask(process, processMask));
    EXPECT_EQ(app::processorCount(), all);
}

}  // namespace
