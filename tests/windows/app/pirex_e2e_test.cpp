// The real Pirex.exe under Wine, started as a child process in a folder of
// its own with a settings file next to it (so nothing is written elsewhere).
// Windows are found by class, message boxes by "#32770"; their text is read
// from control 0xFFFF and they are answered with IDOK. Every wait has a
// timeout, and a child still running at the end is killed.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/text.h"
#include "core/settings.h"
#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "tests/windows/app/app_test_support.h"

namespace {

namespace fs = std::filesystem;
using apptest::copyInto;
using apptest::programFolder;
using apptest::testData;

constexpr DWORD kStartTimeout = 15000;
constexpr DWORD kBatchTimeout = 30000;

std::wstring quoted(const std::wstring& argument) {
    return L"\"" + argument + L"\"";
}

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess() {
        if (!info_.hProcess) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const fs::path& program, const std::vector<std::wstring>& arguments) {
        std::wstring commandLine = quoted(program.wstring());
        for (const std::wstring& argument : arguments) commandLine += L" " + quoted(argument);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(0);
        return CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              program.parent_path().c_str(), &startup, &info_) != 0;
    }
    DWORD id() const { return info_.dwProcessId; }
    bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits for the end; a child that does not end in time is killed.
    bool waitForExit(DWORD milliseconds, DWORD* exitCode = nullptr) {
        if (WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
            return false;
        }
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        if (exitCode) *exitCode = code;
        return true;
    }

  private:
    PROCESS_INFORMATION info_ = {};
};

// A top-level window of `processId` with this class, polled until it shows up.
HWND waitForWindow(const ChildProcess& child, const wchar_t* className, DWORD milliseconds,
                   bool visible = false) {
    struct Search {
        DWORD processId;
        const wchar_t* className;
        bool visible;
        HWND found;
    } search = {child.id(), className, visible, nullptr};
    const DWORD until = GetTickCount() + milliseconds;
    do {
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                wchar_t name[64] = {};
                GetClassNameW(window, name, 64);
                if (owner != s->processId || wcscmp(name, s->className) != 0) return TRUE;
                if (s->visible && !IsWindowVisible(window)) return TRUE;
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found || !child.running()) return search.found;
        Sleep(20);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
    return nullptr;
}

// Whether the child shows any top-level window right now.
bool showsAWindow(const ChildProcess& child) {
    struct Search {
        DWORD processId;
        bool found;
    } search = {child.id(), false};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            // The progress window may come when a batch outlasts a second
            // (a loaded machine); it asks nothing of the user.
            wchar_t className[64] = {};
            GetClassNameW(window, className, 64);
            if (owner == s->processId && IsWindowVisible(window) &&
                std::wstring(className) != L"Pirex_progress_class")
                s->found = true;
            return !s->found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring windowText(HWND window, size_t capacity = 512) {
    std::vector<wchar_t> text(capacity, 0);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
    return text.data();
}

struct MessageBoxSeen {
    bool shown = false;
    std::wstring caption;
    std::wstring text;
};

// Reads the child's message box and answers it with OK. The box window can
// be found before it has its text: wait until it shows, text and all.
MessageBoxSeen answerMessageBox(const ChildProcess& child, DWORD milliseconds = kStartTimeout) {
    MessageBoxSeen seen;
    HWND box = waitForWindow(child, L"#32770", milliseconds, true);
    if (!box) return seen;
    for (int i = 0; i < 250; ++i) {
        seen.text = windowText(GetDlgItem(box, 0xFFFF));
        if (!seen.text.empty()) break;
        Sleep(20);
    }
    seen.shown = true;
    seen.caption = windowText(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return seen;
}

std::wstring englishString(UINT id) {
    return apptest::libraryString(programFolder() / "English.dll", id);
}

// Every file of a folder by name, with its bytes.
std::map<std::string, std::vector<uint8_t>> filesIn(const fs::path& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = readBytes(entry.path());
    return files;
}

// "name:size ..." for failure messages.
std::string describe(const std::map<std::string, std::vector<uint8_t>>& files) {
    std::string text;
    for (const auto& [name, bytes] : files) text += name + ":" + std::to_string(bytes.size()) + " ";
    return text;
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The list of failed files a batch leaves open at its end: read, then closed.
std::wstring readFailureList(const ChildProcess& child) {
    const DWORD until = GetTickCount() + kBatchTimeout;
    while (child.running() && static_cast<LONG>(until - GetTickCount()) > 0) {
        HWND progress = waitForWindow(child, L"Pirex_progress_class", 200, true);
        HWND list = progress ? GetDlgItem(progress, app::kIdProgressFailures) : nullptr;
        if (list && IsWindowVisible(list)) {
            const std::wstring text = windowText(list, 8192);
            PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            return text;
        }
        Sleep(50);
    }
    return L"<no list>";
}

// The first number in a text ("12 of 60 files done" gives 12); -1 when none.
long firstNumber(const std::wstring& text) {
    const size_t digit = text.find_first_of(L"0123456789");
    return digit == std::wstring::npos ? -1 : std::wcstol(text.c_str() + digit, nullptr, 10);
}

// A 24-bit BMP of `width` x `height` whose pixels depend on `seed`, busy
// enough that encoding it takes real work.
void writeBusyBmp(const fs::path& file, int width, int height, uint32_t seed) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> bytes(54 + static_cast<size_t>(stride) * height, 0);
    auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = 24;
    uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            uint8_t* p = &bytes[54 + static_cast<size_t>(y) * stride + x * 3];
            p[0] = static_cast<uint8_t>(x + (state & 15));
            p[1] = static_cast<uint8_t>(y + ((state >> 4) & 15));
            p[2] = static_cast<uint8_t>((x ^ y) + seed);
        }
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class PirexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        program = temp / "program";
        sources = temp / "sources";
        fs::create_directories(program);
        fs::create_directories(sources);
        installProgram(program);
        copyInto(testData() / "bmp" / "rgb24.bmp", sources, "a.bmp");
        copyInto(testData() / "bmp" / "pal8.bmp", sources, "b.bmp");
        copyInto(testData() / "png" / "ct6_d8_seq.png", sources, "c.png");
        copyInto(testData() / "jpeg" / "baseline_420.jpg", sources, "d.jpg");
        copyInto(testData() / "gif" / "transparent_background.gif", sources, "e.gif");
    }

    // Pirex.exe and both language libraries, and an empty settings file
    // next to them (the portable set-up: nothing goes to the profile).
    static void installProgram(const fs::path& folder, bool withLanguages = true) {
        copyInto(programFolder() / "Pirex.exe", folder);
        if (withLanguages) {
            copyInto(programFolder() / "English.dll", folder);
            copyInto(programFolder() / "Japanese.dll", folder);
        }
        std::ofstream(folder / "Pirex.ini", std::ios::binary).close();
    }

    void writeSettings(const Settings& settings) {
        ASSERT_TRUE(saveSettings(app::utf16((program / "Pirex.ini").c_str()), settings));
    }

    std::vector<std::wstring> sourceArguments() const {
        std::vector<std::wstring> arguments;
        for (const char* name : {"a.bmp", "b.bmp", "c.png", "d.jpg", "e.gif"})
            arguments.push_back((sources / name).wstring());
        arguments.push_back((sources / "missing.png").wstring());
        return arguments;
    }

    // moravel.exe on the same sources with the same settings file.
    void runCommandLineProgram(const char* format, const fs::path& output) {
        fs::create_directories(output);
        std::vector<std::wstring> arguments = {
            L"--settings",      (program / "Pirex.ini").wstring(),
            L"--format",        std::wstring(format, format + strlen(format)),
            L"--output-folder", output.wstring()};
        for (const char* name : {"a.bmp", "b.bmp", "c.png", "d.jpg", "e.gif"})
            arguments.push_back((sources / name).wstring());
        ChildProcess moravel;
        ASSERT_TRUE(moravel.start(apptest::binaryDir() / "cli" / "moravel.exe", arguments));
        ASSERT_TRUE(moravel.waitForExit(kBatchTimeout));
    }

    std::u16string savedLanguage() const {
        SettingsFileReader reader;
        reader.open(app::utf16((program / "Pirex.ini").c_str()));
        HeapString text;
        reader.readText(kSlotLanguage, text);
        return text.c_str();
    }

    TempFolder temp;
    fs::path program;
    fs::path sources;
};

TEST_F(PirexTest, StartedWithoutFilesShowsTheSettingsWindowAndEndsWithIt) {
    ChildProcess pirex;
    ASSERT_TRUE(pirex.start(program / "Pirex.exe", {}));
    HWND settings = waitForWindow(pirex, L"Pirex_setting_class", kStartTimeout, true);
    ASSERT_NE(settings, nullptr);
    HWND convert = waitForWindow(pirex, L"Pirex_convert_class", 1000);
    ASSERT_NE(convert, nullptr);
    EXPECT_FALSE(IsWindowVisible(convert));
    EXPECT_TRUE(GetWindowLongPtrW(settings, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(windowText(settings), L"Moravel");
    PostMessageW(settings, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(pirex.waitForExit(kStartTimeout, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(savedLanguage(), u"English");
}

// A key in the convert window and a start mode both give exactly the files
// moravel.exe writes with the same settings; start modes leave the settings
// file as it was.
TEST_F(PirexTest, BatchesGiveTheSameFilesAsTheCommandLineProgram) {
    struct Format {
        WPARAM key;
        int startMode;
        const char* cliName;
    };
    const Format formats[] = {
        {'B', 1, "bmp"}, {'P', 2, "png"}, {'J', 3, "jpeg"}, {'G', 4, "gif"}, {'T', 5, "jpegcopy"}};
    for (const Format& format : formats) {
        SCOPED_TRACE(format.cliName);
        const fs::path expected = temp / (std::string("moravel-") + format.cliName);
        const fs::path byKey = temp / (std::string("key-") + format.cliName);
        const fs::path byMode = temp / (std::string("mode-") + format.cliName);
        fs::create_directories(byKey);
        fs::create_directories(byMode);

        Settings settings;
        settings.jpegQuality = 82;
        // 1:1 (the settings window offers 4:1 and 1:1 only).
        settings.jpegSubsampling = 2;
        settings.resizeOn = format.startMode == 5 ? 0 : 1;
        settings.resizeMode = kResizeByLongerSide;
        settings.resizeTarget = 24;
        settings.keepTransparency = 1;
        settings.outputFolder.assign(app::utf16(byKey.c_str()));
        writeSettings(settings);
        runCommandLineProgram(format.cliName, expected);

        // Mode 0: the convert window waits for a key.
        {
            ChildProcess pirex;
            ASSERT_TRUE(pirex.start(program / "Pirex.exe", sourceArguments()));
            HWND convert = waitForWindow(pirex, L"Pirex_convert_class", kStartTimeout, true);
            ASSERT_NE(convert, nullptr);
            HWND settingsWindow = waitForWindow(pirex, L"Pirex_setting_class", 1000);
            EXPECT_FALSE(IsWindowVisible(settingsWindow));
            PostMessageW(convert, WM_KEYDOWN, format.key, 0);
            // Only the JPEG takes the lossless re-write: the others are listed.
            if (format.startMode == 5)
                EXPECT_NE(readFailureList(pirex).find(L"a.bmp: " + englishString(22017)),
                          std::wstring::npos);
            DWORD exitCode = 1;
            ASSERT_TRUE(pirex.waitForExit(kBatchTimeout, &exitCode));
            EXPECT_EQ(exitCode, 0u);
        }

        // The start mode: converted at once, no window, settings file untouched.
        settings.startMode = format.startMode;
        settings.outputFolder.assign(app::utf16(byMode.c_str()));
        writeSettings(settings);
        const std::vector<uint8_t> settingsBefore = readBytes(program / "Pirex.ini");
        {
            ChildProcess pirex;
            ASSERT_TRUE(pirex.start(program / "Pirex.exe", sourceArguments()));
            if (format.startMode == 5)
                EXPECT_NE(readFailureList(pirex).find(L"e.gif: " + englishString(22017)),
                          std::wstring::npos);
            bool windowShown = false;
            for (int i = 0; i < 1500 && pirex.running(); ++i) {
                windowShown = windowShown || showsAWindow(pirex);
                Sleep(10);
            }
            EXPECT_FALSE(windowShown);
            DWORD exitCode = 1;
            ASSERT_TRUE(pirex.waitForExit(kBatchTimeout, &exitCode));
            EXPECT_EQ(exitCode, 0u);
        }
        EXPECT_EQ(readBytes(program / "Pirex.ini"), settingsBefore);

        // Every picture converts; the lossless re-write takes only the JPEG.
        const auto want = filesIn(expected);
        EXPECT_EQ(want.size(), format.startMode == 5 ? 1u : 5u);
        EXPECT_TRUE(filesIn(byKey) == want) << describe(filesIn(byKey)) << "vs " << describe(want);
        EXPECT_TRUE(filesIn(byMode) == want)
            << describe(filesIn(byMode)) << "vs " << describe(want);
    }
}

TEST_F(PirexTest, EscapeEndsTheProgramWithoutConvertingAndSavesTheSettings) {
    const auto before = namesIn(sources);
    ChildProcess pirex;
    ASSERT_TRUE(pirex.start(program / "Pirex.exe", sourceArguments()));
    HWND convert = waitForWindow(pirex, L"Pirex_convert_class", kStartTimeout, true);
    ASSERT_NE(convert, nullptr);
    PostMessageW(convert, WM_KEYDOWN, VK_ESCAPE, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(pirex.waitForExit(kStartTimeout, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(namesIn(sources), before);
    EXPECT_EQ(savedLanguage(), u"English");
}

TEST_F(PirexTest, ASecondStartBringsTheFirstBackAndConvertsNothing) {
    ChildProcess first;
    ASSERT_TRUE(first.start(program / "Pirex.exe", {(sources / "a.bmp").wstring()}));
    HWND convert = waitForWindow(first, L"Pirex_convert_class", kStartTimeout, true);
    ASSERT_NE(convert, nullptr);
    PostMessageW(convert, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    for (int i = 0; i < 250 && !IsIconic(convert); ++i) Sleep(20);
    ASSERT_TRUE(IsIconic(convert));

    const auto before = namesIn(sources);
    ChildProcess second;
    ASSERT_TRUE(second.start(program / "Pirex.exe",
                             {(sources / "b.bmp").wstring(), (sources / "c.png").wstring()}));
    DWORD exitCode = 1;
    ASSERT_TRUE(second.waitForExit(kStartTimeout, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    for (int i = 0; i < 250 && IsIconic(convert); ++i) Sleep(20);
    EXPECT_FALSE(IsIconic(convert));
    EXPECT_TRUE(IsWindowVisible(convert));
    EXPECT_EQ(namesIn(sources), before);

    PostMessageW(convert, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(first.waitForExit(kStartTimeout));
    EXPECT_EQ(namesIn(sources), before);
}

// Batch errors: the box's title and text come from the language library;
// after OK the program ends.
TEST_F(PirexTest, BatchErrorBoxes) {
    const fs::path blocked = temp / "blocked";
    fs::create_directories(blocked);
    copyInto(sources / "a.bmp", blocked);
    std::ofstream(blocked / "Output") << "a file where the sub-folder would go";
    copyInto(sources / "a.bmp", program);
    struct Case {
        std::vector<std::wstring> arguments;
        int startMode;
        bool subFolder;
        UINT error;
    };
    const Case cases[] = {
        // Only missing files: the convert window first, then nothing converted.
        {{(sources / "missing.bmp").wstring(), L"Z:\\no\\such\\folder\\x.png"}, 0, false, 30002},
        {{(sources / "missing.bmp").wstring()}, 2, false, 30002},
        // A path without a folder part (found relative to the program folder).
        {{L"a.bmp"}, 2, false, 30003},
        {{(blocked / "a.bmp").wstring()}, 1, true, 30004},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        Settings settings;
        settings.startMode = c.startMode;
        settings.subFolderOn = c.subFolder;
        writeSettings(settings);
        ChildProcess pirex;
        ASSERT_TRUE(pirex.start(program / "Pirex.exe", c.arguments));
        if (c.startMode == 0) {
            HWND convert = waitForWindow(pirex, L"Pirex_convert_class", kStartTimeout, true);
            ASSERT_NE(convert, nullptr);
            PostMessageW(convert, WM_KEYDOWN, 'P', 0);
        }
        const MessageBoxSeen box = answerMessageBox(pirex);
        ASSERT_TRUE(box.shown);
        EXPECT_EQ(box.caption, englishString(30000));
        EXPECT_EQ(box.text, englishString(c.error));
        DWORD exitCode = 1;
        ASSERT_TRUE(pirex.waitForExit(kStartTimeout, &exitCode));
        EXPECT_EQ(exitCode, 0u);
    }
    EXPECT_EQ(namesIn(blocked), (std::set<std::string>{"Output", "a.bmp"}));
}

TEST_F(PirexTest, StartRefusedUnderAnotherNameOrWithoutALanguageLibrary) {
    const fs::path renamed = temp / "renamed";
    const fs::path bare = temp / "bare";
    const fs::path foreign = temp / "foreign";
    const fs::path lowercase = temp / "lowercase";
    for (const fs::path& folder : {renamed, bare, foreign, lowercase})
        fs::create_directories(folder);
    installProgram(renamed);
    fs::rename(renamed / "Pirex.exe", renamed / "Converter.exe");
    installProgram(bare, false);
    installProgram(foreign, false);
    copyInto(apptest::testLibraryFolder() / "no_marker.dll", foreign, "English.dll");
    copyInto(apptest::testLibraryFolder() / "no_marker.dll", foreign, "Japanese.dll");
    installProgram(lowercase);
    fs::rename(lowercase / "Pirex.exe", lowercase / "pIREX.exe");

    struct Case {
        fs::path program;
        const wchar_t* message;
    };
    const Case cases[] = {{renamed / "Converter.exe", L"Failed to execute file."},
                          {bare / "Pirex.exe", L"Language file not found."},
                          {foreign / "Pirex.exe", L"Language file not found."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.string());
        ChildProcess pirex;
        ASSERT_TRUE(pirex.start(c.program, {(sources / "a.bmp").wstring()}));
        const MessageBoxSeen box = answerMessageBox(pirex);
        ASSERT_TRUE(box.shown);
        EXPECT_EQ(box.caption, L"Error");
        EXPECT_EQ(box.text, c.message);
        DWORD exitCode = 1;
        ASSERT_TRUE(pirex.waitForExit(kStartTimeout, &exitCode));
        EXPECT_EQ(exitCode, 0u);
        EXPECT_EQ(fs::file_size(c.program.parent_path() / "Pirex.ini"), 0u);
    }
    EXPECT_FALSE(fs::exists(sources / "a+1.bmp"));

    // The name is compared for ASCII letters in either case.
    ChildProcess pirex;
    ASSERT_TRUE(pirex.start(lowercase / "pIREX.exe", {}));
    HWND settings = waitForWindow(pirex, L"Pirex_setting_class", kStartTimeout, true);
    ASSERT_NE(settings, nullptr);
    PostMessageW(settings, WM_CLOSE, 0, 0);
    ASSERT_TRUE(pirex.waitForExit(kStartTimeout));
}

// Missing, empty, truncated, mislabelled, locked and folder sources among good
// ones: the good ones convert, the rest are skipped, no temporary file stays.
TEST_F(PirexTest, HostileSourcesAreSkippedWithoutLeavingTemporaryFiles) {
    const fs::path work = temp / "hostile";
    const fs::path tmp = temp / "tmp";
    fs::create_directories(work);
    fs::create_directories(tmp);
    copyInto(sources / "a.bmp", work);
    std::ofstream(work / "empty.png").close();
    const auto png = readBytes(sources / "c.png");
    std::ofstream(work / "truncated.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), 60);
    std::ofstream(work / "text.jpg") << "not a picture at all";
    copyInto(sources / "d.jpg", work, "locked.jpg");
    fs::create_directories(work / "folder.gif");
    HANDLE locked = CreateFileW((work / "locked.jpg").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);

    Settings settings;
    settings.startMode = 2;
    writeSettings(settings);
    wchar_t oldTmp[MAX_PATH] = {}, oldTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", oldTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", tmp.c_str());
    SetEnvironmentVariableW(L"TEMP", tmp.c_str());
    ChildProcess pirex;
    const bool started = pirex.start(
        program / "Pirex.exe", {(work / "missing.bmp").wstring(), (work / "empty.png").wstring(),
                                (work / "truncated.png").wstring(), (work / "text.jpg").wstring(),
                                (work / "locked.jpg").wstring(), (work / "folder.gif").wstring(),
                                (work / "a.bmp").wstring()});
    SetEnvironmentVariableW(L"TMP", oldTmp);
    SetEnvironmentVariableW(L"TEMP", oldTemp);
    ASSERT_TRUE(started);
    // a.bmp converted and the others failed: the list names each with its reason.
    const std::wstring list = readFailureList(pirex);
    DWORD exitCode = 1;
    const bool ended = pirex.waitForExit(kBatchTimeout, &exitCode);
    CloseHandle(locked);
    EXPECT_EQ(list.find(L"a.bmp"), std::wstring::npos);
    for (const wchar_t* name :
         {L"empty.png: ", L"truncated.png: ", L"text.jpg: ", L"locked.jpg: ", L"folder.gif: "})
        EXPECT_NE(list.find(name), std::wstring::npos) << name;
    EXPECT_NE(list.find(L"text.jpg: " + englishString(22010) + L"\r\n"), std::wstring::npos)
        << std::string(list.begin(), list.end());
    EXPECT_NE(list.find(L"truncated.png: " + englishString(22011) + L": "), std::wstring::npos);
    ASSERT_TRUE(ended);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(namesIn(work), (std::set<std::string>{"a.bmp", "a.png", "empty.png", "folder.gif",
                                                    "locked.jpg", "text.jpg", "truncated.png"}));
    EXPECT_TRUE(namesIn(tmp).empty());
}

// Send To with 60 pictures: the batch runs on workers while the program
// answers at once and counts up in its progress window; a second Send To
// meanwhile is converted afterwards; the files are exactly those of
// moravel.exe --jobs 1 on all of them in order; no temporary file stays.
// Then the same batch cancelled: it stops early, leaving only whole files.
TEST_F(PirexTest, SendToBatchesRunOnWorkersAnswerQueueAndCancel) {
    const fs::path pictures = temp / "pictures";
    const fs::path later = temp / "later";
    const fs::path tmp = temp / "tmp";
    for (const fs::path& folder : {pictures, later, tmp}) fs::create_directories(folder);
    std::vector<std::wstring> first, second;
    for (int i = 0; i < 60; ++i) {
        const fs::path file = pictures / ("p" + std::to_string(i) + ".bmp");
        writeBusyBmp(file, 640, 480, static_cast<uint32_t>(i));
        first.push_back(file.wstring());
    }
    for (int i = 0; i < 3; ++i) {
        const fs::path file = later / ("q" + std::to_string(i) + ".bmp");
        writeBusyBmp(file, 320, 240, static_cast<uint32_t>(100 + i));
        second.push_back(file.wstring());
    }

    // What one worker makes of all 63, in order.
    const fs::path expected = temp / "expected";
    fs::create_directories(expected);
    {
        std::vector<std::wstring> arguments = {
            L"--format", L"png", L"--jobs", L"1", L"--output-folder", expected.wstring()};
        arguments.insert(arguments.end(), first.begin(), first.end());
        arguments.insert(arguments.end(), second.begin(), second.end());
        ChildProcess moravel;
        ASSERT_TRUE(moravel.start(apptest::binaryDir() / "cli" / "moravel.exe", arguments));
        ASSERT_TRUE(moravel.waitForExit(120000));
    }
    const auto want = filesIn(expected);
    ASSERT_EQ(want.size(), 63u);

    auto startBatch = [&](const fs::path& output, ChildProcess& pirex) {
        Settings settings;
        settings.startMode = 2;
        settings.outputFolder.assign(app::utf16(output.c_str()));
        writeSettings(settings);
        fs::create_directories(output);
        wchar_t oldTmp[MAX_PATH] = {};
        GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
        SetEnvironmentVariableW(L"TMP", tmp.c_str());
        const bool started = pirex.start(program / "Pirex.exe", first);
        SetEnvironmentVariableW(L"TMP", oldTmp);
        return started;
    };

    // The whole batch, with a second Send To while it runs.
    const fs::path whole = temp / "whole";
    {
        ChildProcess pirex;
        ASSERT_TRUE(startBatch(whole, pirex));
        HWND convert = waitForWindow(pirex, L"Pirex_convert_class", kStartTimeout);
        ASSERT_NE(convert, nullptr);
        int slowAnswers = 0, answers = 0;
        std::vector<long> counts;
        bool handedOver = false;
        while (pirex.running()) {
            DWORD_PTR ignored = 0;
            const DWORD before = GetTickCount();
            const bool answered =
                SendMessageTimeoutW(convert, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &ignored) != 0;
            if (!IsWindow(convert)) break;
            ++answers;
            if (!answered || GetTickCount() - before > 500) ++slowAnswers;
            HWND progress = waitForWindow(pirex, L"Pirex_progress_class", 0, true);
            if (progress) {
                const long count =
                    firstNumber(windowText(GetDlgItem(progress, app::kIdProgressCount)));
                if (count >= 0 && (counts.empty() || counts.back() != count))
                    counts.push_back(count);
            }
            if (progress && !handedOver) {
                ChildProcess again;
                ASSERT_TRUE(again.start(program / "Pirex.exe", second));
                DWORD exitCode = 1;
                ASSERT_TRUE(again.waitForExit(kStartTimeout, &exitCode));
                EXPECT_EQ(exitCode, 0u);
                handedOver = true;
            }
            Sleep(100);
        }
        DWORD exitCode = 1;
        ASSERT_TRUE(pirex.waitForExit(kBatchTimeout, &exitCode));
        EXPECT_EQ(exitCode, 0u);
        EXPECT_GT(answers, 5);
        EXPECT_EQ(slowAnswers, 0);
        EXPECT_TRUE(handedOver) << "the progress window never showed";
        ASSERT_GE(counts.size(), 2u);
        EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    }
    const auto made = filesIn(whole);
    EXPECT_TRUE(made == want) << describe(made);
    EXPECT_TRUE(namesIn(tmp).empty());

    // Cancelled once the progress window counts: fewer files, each whole.
    const fs::path part = temp / "part";
    {
        ChildProcess pirex;
        ASSERT_TRUE(startBatch(part, pirex));
        HWND progress = waitForWindow(pirex, L"Pirex_progress_class", kBatchTimeout, true);
        ASSERT_NE(progress, nullptr);
        PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        // Nothing converted yet would end in the usual box.
        const DWORD until = GetTickCount() + kBatchTimeout;
        while (pirex.running() && static_cast<LONG>(until - GetTickCount()) > 0) {
            if (waitForWindow(pirex, L"#32770", 0, true)) answerMessageBox(pirex, 1000);
            Sleep(50);
        }
        ASSERT_TRUE(pirex.waitForExit(kStartTimeout));
    }
    const auto cancelled = filesIn(part);
    EXPECT_LT(cancelled.size(), 60u);
    EXPECT_EQ(namesIn(part).size(), cancelled.size());  // nothing hidden or half-made
    for (const auto& [name, bytes] : cancelled) {
        ASSERT_TRUE(want.count(name)) << name;
        EXPECT_TRUE(want.at(name) == bytes) << name;
    }
    EXPECT_TRUE(namesIn(tmp).empty());
}

// Run with a Japanese user interface (LANG=ja_JP.UTF-8): the default
// language is Japanese, and English stands in when only it is there.
TEST_F(PirexTest, JapaneseUserInterface) {
    if (GetUserDefaultUILanguage() != 0x0411) GTEST_SKIP() << "needs a Japanese user interface";
    for (bool japanesePresent : {true, false}) {
        SCOPED_TRACE(japanesePresent);
        if (!japanesePresent) fs::remove(program / "Japanese.dll");
        std::ofstream(program / "Pirex.ini", std::ios::binary).close();
        ChildProcess pirex;
        ASSERT_TRUE(pirex.start(program / "Pirex.exe", {}));
        HWND settings = waitForWindow(pirex, L"Pirex_setting_class", kStartTimeout, true);
        ASSERT_NE(settings, nullptr);
        PostMessageW(settings, WM_CLOSE, 0, 0);
        ASSERT_TRUE(pirex.waitForExit(kStartTimeout));
        EXPECT_EQ(savedLanguage(), japanesePresent ? u"Japanese" : u"English");
        if (!japanesePresent) continue;

        // The error box speaks Japanese, text and title intact.
        Settings atOnce;
        atOnce.startMode = 2;
        writeSettings(atOnce);
        ChildProcess batch;
        ASSERT_TRUE(batch.start(program / "Pirex.exe", {(sources / "missing.bmp").wstring()}));
        const MessageBoxSeen box = answerMessageBox(batch);
        ASSERT_TRUE(box.shown);
        const fs::path japanese = programFolder() / "Japanese.dll";
        EXPECT_EQ(box.caption, apptest::libraryString(japanese, 30000));
        EXPECT_EQ(box.text, apptest::libraryString(japanese, 30002));
        EXPECT_NE(box.text, englishString(30002));
        ASSERT_TRUE(batch.waitForExit(kStartTimeout));
    }
}

}  // namespace
