// The release as a user meets it, under Wine: Pirex.exe unpacked from the zip
// into a fresh prefix, its Send To shortcut made through the settings window,
// and pictures sent to that shortcut the way Explorer does (start.exe opens
// the link, which runs its target with the files as arguments). Every batch
// must give exactly the files moravel.exe from the same zip writes with the
// same settings file.
//
// The cases run in order and build on each other, as a user's steps do: the
// first makes the shortcut and the settings file the later ones use.
//
// Environment (host paths): MORAVEL_RELEASE_PROGRAM, the unpacked folder;
// MORAVEL_RELEASE_WORK, an empty folder for sources and outputs;
// MORAVEL_TEST_DATA, the test pictures.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <windows.h>
// After windows.h:
#include <tlhelp32.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "core/settings.h"
#include "core/settings_store.h"
#include "tests/windows/app/app_test_support.h"

namespace {

namespace fs = std::filesystem;
using apptest::copyInto;
using apptest::folderFromEnvironment;

constexpr DWORD kStartTimeout = 15000;
constexpr DWORD kBatchTimeout = 30000;

fs::path programFolder() {
    return folderFromEnvironment("MORAVEL_RELEASE_PROGRAM");
}
fs::path workFolder() {
    return folderFromEnvironment("MORAVEL_RELEASE_WORK");
}

fs::path knownFolder(int id) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
    return path;
}
fs::path sendToLink() {
    return knownFolder(CSIDL_SENDTO) / "Moravel.lnk";
}
// No Pirex.ini comes in the zip, so the program keeps its settings here.
fs::path settingsFile() {
    return knownFolder(CSIDL_APPDATA) / "Pirex" / "Pirex.ini";
}

bool samePath(const fs::path& a, const fs::path& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A process handle that is closed, and its process killed, when it goes.
class Process {
  public:
    Process() = default;
    explicit Process(HANDLE process) : handle_(process) {}
    ~Process() { reset(); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    Process& operator=(Process&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.handle_;
            other.handle_ = nullptr;
        }
        return *this;
    }

    bool start(const fs::path& program, const std::vector<std::wstring>& arguments) {
        std::wstring commandLine = L"\"" + program.wstring() + L"\"";
        for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";
        std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
        buffer.push_back(0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info))
            return false;
        CloseHandle(info.hThread);
        reset();
        handle_ = info.hProcess;
        return true;
    }
    HANDLE handle() const { return handle_; }
    bool running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }
    // The exit code, or nothing when the process did not end in time (it is
    // killed then).
    std::optional<DWORD> waitForExit(DWORD milliseconds) {
        if (!handle_) return std::nullopt;
        if (WaitForSingleObject(handle_, milliseconds) != WAIT_OBJECT_0) {
            TerminateProcess(handle_, 99);
            WaitForSingleObject(handle_, 5000);
            return std::nullopt;
        }
        DWORD code = 0;
        GetExitCodeProcess(handle_, &code);
        return code;
    }

  private:
    void reset() {
        if (!handle_) return;
        if (running()) {
            TerminateProcess(handle_, 99);
            WaitForSingleObject(handle_, 5000);
        }
        CloseHandle(handle_);
        handle_ = nullptr;
    }
    HANDLE handle_ = nullptr;
};

// The top-level window of this class, polled; with `visible`, only once shown.
HWND waitForWindow(const wchar_t* className, DWORD milliseconds, bool visible) {
    const DWORD until = GetTickCount() + milliseconds;
    do {
        HWND window = FindWindowW(className, nullptr);
        if (window && (!visible || IsWindowVisible(window))) return window;
        Sleep(20);
    } while (static_cast<LONG>(until - GetTickCount()) > 0);
    return nullptr;
}

// The process that owns a window, opened to wait for it and to write into it.
Process ownerOf(HWND window) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    return Process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION |
                                   PROCESS_VM_OPERATION | PROCESS_VM_WRITE,
                               FALSE, id));
}

LRESULT sendTo(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}

bool isTicked(HWND dialog, int id) {
    return sendTo(GetDlgItem(dialog, id), BM_GETCHECK) == BST_CHECKED;
}

// Whether a process of this program file name is running.
bool programRunning(const wchar_t* fileName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
         more = Process32NextW(snapshot, &entry))
        found = _wcsicmp(entry.szExeFile, fileName) == 0;
    CloseHandle(snapshot);
    return found;
}

std::wstring windowText(HWND window) {
    wchar_t text[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, nullptr);
    return text;
}

// What a batch started without a window showed while it ran.
struct QuietBatch {
    bool ended = false;
    bool windowShown = false;
    std::wstring messageBoxText;  // a box is answered with OK
};

// Waits for start.exe and every Pirex.exe to end (start.exe need not outlive
// the program it opened), watching for any window of the program.
QuietBatch watchQuietBatch(Process& start) {
    QuietBatch seen;
    const DWORD until = GetTickCount() + kBatchTimeout;
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
        for (const wchar_t* name : {L"Pirex_convert_class", L"Pirex_setting_class"}) {
            HWND window = FindWindowW(name, nullptr);
            seen.windowShown = seen.windowShown || (window && IsWindowVisible(window));
        }
        if (HWND box = FindWindowW(L"#32770", nullptr); box && IsWindowVisible(box)) {
            seen.windowShown = true;
            Sleep(200);  // until it has its text
            seen.messageBoxText = windowText(GetDlgItem(box, 0xFFFF));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        if (!start.running() && !programRunning(L"Pirex.exe")) {
            seen.ended = true;
            break;
        }
        Sleep(10);
    }
    return seen;
}

// What the shell link holds, read back through IShellLinkW.
struct LinkContents {
    bool loaded = false;
    std::wstring target, arguments, icon;
    int iconIndex = -1;
    int showCommand = 0;
};

LinkContents readLink(const fs::path& link) {
    LinkContents contents;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return contents;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH] = {};
            contents.loaded = true;
            shellLink->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
            contents.target = text;
            text[0] = 0;
            shellLink->GetArguments(text, MAX_PATH);
            contents.arguments = text;
            text[0] = 0;
            shellLink->GetIconLocation(text, MAX_PATH, &contents.iconIndex);
            contents.icon = text;
            shellLink->GetShowCmd(&contents.showCommand);
        }
        file->Release();
    }
    shellLink->Release();
    return contents;
}

// Every file under a folder by relative path, with its bytes.
std::map<std::wstring, std::vector<uint8_t>> filesUnder(const fs::path& folder) {
    std::map<std::wstring, std::vector<uint8_t>> files;
    // Hidden delivery copies ("~mv*.tmp") come and go while a batch runs;
    // only finished files count.
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().wstring().rfind(L"~mv", 0) != 0 && entry.is_regular_file())
            files[fs::relative(entry.path(), folder).wstring()] = readBytes(entry.path());
    return files;
}

std::string describe(const std::map<std::wstring, std::vector<uint8_t>>& files) {
    std::string text;
    for (const auto& [name, bytes] : files)
        text += fs::path(name).string() + ":" + std::to_string(bytes.size()) + " ";
    return text;
}

// Sources with spaces in their names, as Explorer passes them, in every format
// the program reads natively.
const char* const kSources[][2] = {
    {"jpeg/baseline_420.jpg", "x y.jpg"}, {"bmp/rgb24.bmp", "photo one.bmp"},
    {"png/ct6_d8_seq.png", "b c.png"},    {"gif/transparent_background.gif", "e.gif"},
    {"bmp/pal8.bmp", "pal 8.bmp"},
};

class SendToTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    static void TearDownTestSuite() { CoUninitialize(); }

    // A new folder holding a copy of every source; the program writes beside
    // the first one.
    static fs::path freshSources(const std::string& name) {
        const fs::path folder = workFolder() / name;
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const auto& source : kSources)
            copyInto(apptest::testData() / source[0], folder, source[1]);
        return folder;
    }
    static std::vector<std::wstring> sourcePaths(const fs::path& folder) {
        std::vector<std::wstring> paths;
        for (const auto& source : kSources) paths.push_back((folder / source[1]).wstring());
        return paths;
    }

    // moravel.exe from the zip with the program's own settings file, on a
    // twin of the sources, so that names taken by the sources collide alike.
    // Its exit status is 1 when some file could not be converted.
    static void runCommandLineProgram(const char* format, const fs::path& folder,
                                      DWORD expectedExit = 0) {
        std::vector<std::wstring> arguments = {L"--settings", settingsFile().wstring(), L"--format",
                                               fs::path(format).wstring()};
        for (const std::wstring& path : sourcePaths(folder)) arguments.push_back(path);
        Process moravel;
        ASSERT_TRUE(moravel.start(programFolder() / "moravel.exe", arguments));
        const auto exitCode = moravel.waitForExit(kBatchTimeout);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, expectedExit);
    }

    // Explorer's Send To: the link opened with the files as arguments.
    static bool sendToShortcut(Process& start, const fs::path& folder) {
        wchar_t startProgram[MAX_PATH] = {};
        if (!SearchPathW(nullptr, L"start.exe", nullptr, MAX_PATH, startProgram, nullptr))
            return false;
        std::vector<std::wstring> arguments = {L"/wait", sendToLink().wstring()};
        for (const std::wstring& path : sourcePaths(folder)) arguments.push_back(path);
        return start.start(startProgram, arguments);
    }

    // The program's outputs equal moravel.exe's, file for file.
    static void expectSameFiles(const fs::path& byProgram, const fs::path& byCommandLine,
                                size_t outputs) {
        const auto want = filesUnder(byCommandLine);
        const auto got = filesUnder(byProgram);
        EXPECT_EQ(want.size(), std::size(kSources) + outputs) << describe(want);
        EXPECT_TRUE(got == want) << describe(got) << "vs " << describe(want);
    }

    // Starts Pirex.exe without files; returns its visible settings window.
    static HWND openSettingsWindow(Process& pirex) {
        if (!pirex.start(programFolder() / "Pirex.exe", {})) return nullptr;
        return waitForWindow(L"Pirex_setting_class", kStartTimeout, true);
    }

    // Presses "Save and close" and waits for the program to end.
    static void saveAndClose(HWND settingsWindow, Process& pirex) {
        sendTo(GetDlgItem(settingsWindow, 1091), BM_CLICK);
        const auto exitCode = pirex.waitForExit(kStartTimeout);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 0u);
    }
};

TEST_F(SendToTest, TickingSendToMakesALinkToTheUnpackedProgram) {
    ASSERT_FALSE(fs::exists(sendToLink())) << "the prefix is not fresh";
    ASSERT_FALSE(fs::exists(settingsFile())) << "the prefix is not fresh";
    Process pirex;
    HWND settingsWindow = openSettingsWindow(pirex);
    ASSERT_NE(settingsWindow, nullptr);
    EXPECT_FALSE(isTicked(settingsWindow, 1060));
    sendTo(GetDlgItem(settingsWindow, 1060), BM_CLICK);
    EXPECT_TRUE(isTicked(settingsWindow, 1060));
    saveAndClose(settingsWindow, pirex);

    ASSERT_TRUE(fs::exists(sendToLink()));
    const LinkContents link = readLink(sendToLink());
    ASSERT_TRUE(link.loaded);
    EXPECT_TRUE(samePath(link.target, programFolder() / "Pirex.exe")) << fs::path(link.target);
    EXPECT_EQ(link.arguments, L"");
    EXPECT_TRUE(samePath(link.icon, programFolder() / "Pirex.exe")) << fs::path(link.icon);
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.showCommand, SW_SHOWNORMAL);
    // The settings went to the profile, nothing next to the program.
    EXPECT_TRUE(fs::exists(settingsFile()));
    EXPECT_FALSE(fs::exists(programFolder() / "Pirex.ini"));
    // A first start takes the shipped plug-ins' folder.
    SettingsFileReader reader;
    reader.open(reinterpret_cast<const char16_t*>(settingsFile().c_str()));
    Settings saved;
    loadAllSettings(reader, saved);
    const bool shipsPlugIns = fs::exists(programFolder() / "plugins");
    EXPECT_TRUE(shipsPlugIns
                    ? samePath(reinterpret_cast<const wchar_t*>(saved.pluginFolder.c_str()),
                               programFolder() / "plugins")
                    : saved.pluginFolder.empty())
        << fs::path(reinterpret_cast<const wchar_t*>(saved.pluginFolder.c_str()));
}

// Start mode 0: the convert window asks; a format key converts and ends it.
TEST_F(SendToTest, PicturesSentToTheShortcutConvertWithTheKeyChosen) {
    ASSERT_TRUE(fs::exists(sendToLink())) << "needs the shortcut the first case makes";
    struct Case {
        WPARAM key;
        const char* format;
        size_t outputs;
        DWORD commandLineExit;
    };
    // The lossless re-write takes the JPEG only; moravel.exe says so.
    for (const Case& c :
         {Case{'P', "png", 5, 0}, Case{'G', "gif", 5, 0}, Case{'T', "jpegcopy", 1, 1}}) {
        SCOPED_TRACE(c.format);
        const fs::path byProgram = freshSources(std::string("key-") + c.format);
        const fs::path byCommandLine = freshSources(std::string("moravel-") + c.format);
        runCommandLineProgram(c.format, byCommandLine, c.commandLineExit);

        Process start;
        ASSERT_TRUE(sendToShortcut(start, byProgram));
        HWND convert = waitForWindow(L"Pirex_convert_class", kStartTimeout, true);
        ASSERT_NE(convert, nullptr);
        Process pirex = ownerOf(convert);
        PostMessageW(convert, WM_KEYDOWN, c.key, 0);
        // Files that failed beside converted ones are listed until closed.
        const DWORD until = GetTickCount() + kBatchTimeout;
        while (pirex.running() && static_cast<LONG>(until - GetTickCount()) > 0) {
            HWND progress = FindWindowW(L"Pirex_progress_class", nullptr);
            HWND list = progress ? GetDlgItem(progress, app::kIdProgressFailures) : nullptr;
            if (list && IsWindowVisible(list))
                PostMessageW(progress, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            Sleep(50);
        }
        const auto exitCode = pirex.waitForExit(kBatchTimeout);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 0u);
        ASSERT_TRUE(start.waitForExit(kStartTimeout).has_value());
        expectSameFiles(byProgram, byCommandLine, c.outputs);
    }
}

// Start mode 3 (JPEG at once), chosen in the settings window's list: the
// files sent convert without any window.
TEST_F(SendToTest, StartModeThreeConvertsWithoutAWindow) {
    ASSERT_TRUE(fs::exists(sendToLink())) << "needs the shortcut the first case makes";
    {
        Process pirex;
        HWND settingsWindow = openSettingsWindow(pirex);
        ASSERT_NE(settingsWindow, nullptr);
        // The box shows the shortcut that exists now.
        EXPECT_TRUE(isTicked(settingsWindow, 1060));
        sendTo(GetDlgItem(settingsWindow, 1011), CB_SETCURSEL, 3);
        saveAndClose(settingsWindow, pirex);
    }
    ASSERT_TRUE(fs::exists(sendToLink()));

    const fs::path byProgram = freshSources("mode3");
    const fs::path byCommandLine = freshSources("moravel-mode3");
    runCommandLineProgram("jpeg", byCommandLine);
    Process start;
    ASSERT_TRUE(sendToShortcut(start, byProgram));
    const QuietBatch seen = watchQuietBatch(start);
    ASSERT_TRUE(seen.ended);
    EXPECT_FALSE(seen.windowShown) << "message box: " << fs::path(seen.messageBoxText);
    expectSameFiles(byProgram, byCommandLine, 5);
}

// A DROPFILES block written into the program's memory: a fixed global block
// is its own handle, so DragQueryFileW reads it as if the shell had made it.
// The program's DragFinish cannot free memory its heap did not give out, and
// fails quietly; the block goes with the process.
bool dropFromOutside(const Process& pirex, HWND window, const std::vector<std::wstring>& paths) {
    std::vector<uint8_t> block(sizeof(DROPFILES));
    auto* header = reinterpret_cast<DROPFILES*>(block.data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    for (const std::wstring& path : paths) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), 0);
    void* remote = VirtualAllocEx(pirex.handle(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    if (!remote) return false;
    if (!WriteProcessMemory(pirex.handle(), remote, block.data(), block.size(), nullptr))
        return false;
    return PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0) != 0;
}

// The program's thread has handled everything posted to it before: a batch
// runs inside the message handler that started it.
bool waitUntilIdle(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kBatchTimeout, &ignored) != 0;
}

// A batch keeps its windows answering but disabled: over once the window
// takes input again.
bool waitForBatchEnd(HWND window) {
    const DWORD until = GetTickCount() + kBatchTimeout;
    while (!IsWindowEnabled(window) && static_cast<LONG>(until - GetTickCount()) > 0) Sleep(20);
    return IsWindowEnabled(window) && waitUntilIdle(window);
}

// Drops on the settings window: in start mode 3 (as saved) the files convert
// at once; with "ask" chosen in the list the convert window waits for a key,
// and the settings window comes back after the batch, the program running on.
TEST_F(SendToTest, FilesDroppedOnTheSettingsWindowConvert) {
    Process pirex;
    HWND settingsWindow = openSettingsWindow(pirex);
    ASSERT_NE(settingsWindow, nullptr);
    HWND startModes = GetDlgItem(settingsWindow, 1011);
    ASSERT_EQ(sendTo(startModes, CB_GETCURSEL), 3);
    {
        const fs::path byProgram = freshSources("drop-mode3");
        const fs::path byCommandLine = freshSources("moravel-drop-mode3");
        runCommandLineProgram("jpeg", byCommandLine);
        const size_t expected = filesUnder(byCommandLine).size();
        ASSERT_TRUE(dropFromOutside(pirex, settingsWindow, sourcePaths(byProgram)));
        // Started once the first output shows; over once the window takes input.
        for (int i = 0; i < 1500 && filesUnder(byProgram).size() == std::size(kSources); ++i)
            Sleep(20);
        ASSERT_TRUE(waitForBatchEnd(settingsWindow));
        EXPECT_TRUE(IsWindowVisible(settingsWindow));
        EXPECT_EQ(filesUnder(byProgram).size(), expected);
        expectSameFiles(byProgram, byCommandLine, 5);
    }

    sendTo(startModes, CB_SETCURSEL, 0);
    {
        const fs::path byProgram = freshSources("drop-ask");
        const fs::path byCommandLine = freshSources("moravel-drop-ask");
        runCommandLineProgram("bmp", byCommandLine);
        ASSERT_TRUE(dropFromOutside(pirex, settingsWindow, sourcePaths(byProgram)));
        HWND convert = waitForWindow(L"Pirex_convert_class", kStartTimeout, true);
        ASSERT_NE(convert, nullptr);
        // The convert window is shown before the settings window is hidden,
        // so that the program keeps the activation: the second follows.
        for (int i = 0; i < 250 && IsWindowVisible(settingsWindow); ++i) Sleep(20);
        EXPECT_FALSE(IsWindowVisible(settingsWindow));
        PostMessageW(convert, WM_KEYDOWN, 'B', 0);
        // A sent message overtakes the posted key: wait for the batch's end
        // to hide the convert window first.
        for (int i = 0; i < 1500 && IsWindowVisible(convert); ++i) Sleep(20);
        ASSERT_TRUE(waitUntilIdle(convert));
        EXPECT_TRUE(IsWindowVisible(settingsWindow));
        EXPECT_FALSE(IsWindowVisible(convert));
        expectSameFiles(byProgram, byCommandLine, 5);
    }
    EXPECT_TRUE(pirex.running());
    PostMessageW(settingsWindow, WM_CLOSE, 0, 0);
    const auto exitCode = pirex.waitForExit(kStartTimeout);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0u);
}

// The plug-ins in the zip's "plugins" folder read what the program's own
// readers do not (start mode 2: PNG at once); moravel.exe finds them beside
// itself without being told.
TEST_F(SendToTest, ShippedPlugInsReadPicturesSentToTheShortcut) {
    const fs::path plugins = programFolder() / "plugins";
    if (!fs::exists(plugins / "webp.sph")) GTEST_SKIP() << "no plug-ins in this release";
    ASSERT_TRUE(fs::exists(sendToLink())) << "needs the shortcut the first case makes";
    Settings settings;
    settings.startMode = 2;
    settings.pluginFolder.assign(reinterpret_cast<const char16_t*>(plugins.c_str()));
    ASSERT_TRUE(saveSettings(reinterpret_cast<const char16_t*>(settingsFile().c_str()), settings));

    const fs::path samples = folderFromEnvironment("MORAVEL_SOURCE_DIR") / "tests/formats/data";
    std::vector<std::pair<fs::path, const char*>> pictures = {
        {samples / "lossy.webp", "web p.webp"}};
    if (fs::exists(plugins / "heif.sph"))
        pictures.push_back({samples / "rotated.heic", "turned one.heic"});
    if (fs::exists(plugins / "avif.sph")) {
        // Made at build time by avifenc; release_test.py names it.
        const wchar_t* avif = _wgetenv(L"MORAVEL_RELEASE_AVIF");
        ASSERT_TRUE(avif && fs::exists(avif)) << "the release has avif.sph but no AVIF sample";
        pictures.push_back({avif, "turned avif.avif"});
    }
    const fs::path byProgram = workFolder() / "plugins";
    const fs::path byCommandLine = workFolder() / "moravel-plugins";
    std::vector<std::wstring> programArguments = {L"/wait", sendToLink().wstring()};
    std::vector<std::wstring> commandLineArguments = {L"--format", L"png"};
    for (const fs::path& folder : {byProgram, byCommandLine}) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        for (const auto& [sample, name] : pictures) copyInto(sample, folder, name);
    }
    for (const auto& [sample, name] : pictures) {
        programArguments.push_back((byProgram / name).wstring());
        commandLineArguments.push_back((byCommandLine / name).wstring());
    }

    Process moravel;
    ASSERT_TRUE(moravel.start(programFolder() / "moravel.exe", commandLineArguments));
    const auto exitCode = moravel.waitForExit(kBatchTimeout);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0u);

    wchar_t startProgram[MAX_PATH] = {};
    ASSERT_TRUE(SearchPathW(nullptr, L"start.exe", nullptr, MAX_PATH, startProgram, nullptr));
    Process start;
    ASSERT_TRUE(start.start(startProgram, programArguments));
    const QuietBatch seen = watchQuietBatch(start);
    ASSERT_TRUE(seen.ended);
    EXPECT_FALSE(seen.windowShown) << "message box: " << fs::path(seen.messageBoxText);

    const auto want = filesUnder(byCommandLine);
    EXPECT_EQ(want.size(), 2 * pictures.size()) << describe(want);
    EXPECT_TRUE(filesUnder(byProgram) == want)
        << describe(filesUnder(byProgram)) << "vs " << describe(want);
}

}  // namespace
