// Send To and desktop shortcuts: real shell links written and read back
// through IShellLinkW, in folders of the test's own and, when the runner has
// made them real folders inside the Wine prefix, in the system's folders.
#include "app/shortcuts.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/settings.h"
#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "tests/support/temp_folder.h"
#include "tests/windows/shell/shell_test_support.h"

namespace {

namespace fs = std::filesystem;

struct LinkContents {
    bool loaded = false;
    std::wstring target;
    std::wstring arguments;
    std::wstring iconFile;
    int iconIndex = -1;
    int showCommand = -1;
};

// Reads a shell link the way Explorer does.
LinkContents readLink(const fs::path& file) {
    LinkContents contents;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return contents;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        if (SUCCEEDED(persist->Load(file.wstring().c_str(), STGM_READ))) {
            wchar_t text[MAX_PATH] = {};
            contents.loaded = true;
            if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))
                contents.target = text;
            text[0] = L'\0';
            if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) contents.arguments = text;
            text[0] = L'\0';
            if (SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &contents.iconIndex)))
                contents.iconFile = text;
            link->GetShowCmd(&contents.showCommand);
        }
        persist->Release();
    }
    link->Release();
    return contents;
}

class ComApartment {
  public:
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

// A Send To and a desktop folder inside a temporary folder, and a "program"
// (any existing file) for the links to point at.
class ShortcutFolders : public ::testing::Test {
  protected:
    ShortcutFolders() {
        fs::create_directories(sendTo());
        fs::create_directories(desktop());
        fs::create_directories(program().parent_path());
        touchFile(program(), "MZ");
        copy(sendTo(), locations.sendToFolder);
        copy(desktop(), locations.desktopFolder);
        copy(program(), locations.programPath);
    }
    static void copy(const fs::path& path, wchar_t (&to)[MAX_PATH]) {
        wcsncpy(to, path.wstring().c_str(), MAX_PATH - 1);
    }
    fs::path sendTo() const { return folder.path() / "SendTo"; }
    fs::path desktop() const { return folder.path() / "Desktop"; }
    fs::path program() const { return folder.path() / "Moravel program" / "Pirex.exe"; }
    fs::path elsewhere() const { return folder.path() / "Other.exe"; }

    void expectOurLink(const fs::path& file) const {
        const LinkContents link = readLink(file);
        ASSERT_TRUE(link.loaded) << file;
        EXPECT_EQ(link.target, program().wstring());
        EXPECT_EQ(link.arguments, L"");
        EXPECT_EQ(link.iconFile, program().wstring());
        EXPECT_EQ(link.iconIndex, 0);
        EXPECT_EQ(link.showCommand, SW_SHOWNORMAL);
    }

    ComApartment com;
    TempFolder folder;
    app::ShortcutLocations locations;
};

TEST_F(ShortcutFolders, CreatedLinkReadsBackAsSpecified) {
    const fs::path link = folder.path() / "made.lnk";
    ASSERT_TRUE(app::createShellLink(link.wstring().c_str(), program().wstring().c_str()));
    expectOurLink(link);
}

TEST_F(ShortcutFolders, ShortcutPathIsTheFolderAndMoravelLnk) {
    wchar_t path[MAX_PATH];
    ASSERT_TRUE(app::shortcutPath(locations, app::ShortcutPlace::SendTo, path));
    EXPECT_EQ(fs::path(path), sendTo() / "Moravel.lnk");
    ASSERT_TRUE(app::shortcutPath(locations, app::ShortcutPlace::Desktop, path));
    EXPECT_EQ(fs::path(path), desktop() / "Moravel.lnk");

    // An unknown folder or one too long for a path gives no shortcut at all.
    app::ShortcutLocations odd = locations;
    odd.desktopFolder[0] = L'\0';
    EXPECT_FALSE(app::shortcutPath(odd, app::ShortcutPlace::Desktop, path));
    EXPECT_FALSE(app::shortcutExists(odd, app::ShortcutPlace::Desktop));
    EXPECT_FALSE(app::applyShortcut(odd, app::ShortcutPlace::Desktop, true));
    EXPECT_TRUE(app::applyShortcut(odd, app::ShortcutPlace::Desktop, false));
    const std::wstring deep = L"C:\\" + std::wstring(MAX_PATH - 12, L'd');
    copy(deep, odd.sendToFolder);
    EXPECT_FALSE(app::shortcutPath(odd, app::ShortcutPlace::SendTo, path));
}

TEST_F(ShortcutFolders, ApplySwitchCreatesDeletesAndNeverRewrites) {
    enum class Before { None, Ours, Elsewhere };
    struct Case {
        Before before;
        bool wanted;
        bool existsAfter;
    };
    const Case cases[] = {
        {Before::None, true, true},      {Before::None, false, false},
        {Before::Ours, true, true},      {Before::Ours, false, false},
        {Before::Elsewhere, true, true}, {Before::Elsewhere, false, false},
    };
    for (app::ShortcutPlace place : {app::ShortcutPlace::SendTo, app::ShortcutPlace::Desktop}) {
        const fs::path link =
            (place == app::ShortcutPlace::SendTo ? sendTo() : desktop()) / "Moravel.lnk";
        const fs::path other =
            (place == app::ShortcutPlace::SendTo ? desktop() : sendTo()) / "Moravel.lnk";
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "place " << int(place) << " before " << int(c.before)
                                            << " wanted " << c.wanted);
            fs::remove(link);
            if (c.before == Before::Ours) {
                ASSERT_TRUE(
                    app::createShellLink(link.wstring().c_str(), program().wstring().c_str()));
            }
            if (c.before == Before::Elsewhere) {
                ASSERT_TRUE(
                    app::createShellLink(link.wstring().c_str(), elsewhere().wstring().c_str()));
            }
            const std::string bytesBefore = fileBytes(link);

            EXPECT_TRUE(app::applyShortcut(locations, place, c.wanted));
            EXPECT_EQ(fs::exists(link), c.existsAfter);
            EXPECT_EQ(app::shortcutExists(locations, place), c.existsAfter);
            EXPECT_FALSE(fs::exists(other)) << "the other place is left alone";
            if (c.existsAfter && c.before == Before::None) expectOurLink(link);
            if (c.existsAfter && c.before != Before::None) {
                EXPECT_EQ(fileBytes(link), bytesBefore) << "an existing link is never rewritten";
            }
            if (c.before == Before::Elsewhere && c.existsAfter) {
                EXPECT_EQ(readLink(link).target, elsewhere().wstring());
            }
        }
        fs::remove(link);
    }
}

TEST_F(ShortcutFolders, MigrationOfOlderSendToShortcuts) {
    // Flags before, which files are in Send To before → tick of the Send To
    // box, which files are there afterwards.
    struct Case {
        int migrated1, migrated2;
        bool first, second,
            current;  // "Convert (BMP PNG JPEG).lnk", "PirexMoravel.lnk", "Moravel.lnk"
        bool ticked;
        bool firstAfter, secondAfter, currentAfter;
    };
    const Case cases[] = {
        // First start with the oldest shortcut: replaced and ticked.
        {0, 0, true, false, false, true, false, false, true},
        // First start, no settings, our shortcut already there: unticked, kept.
        {0, 0, false, false, true, false, false, false, true},
        {0, 0, false, false, false, false, false, false, false},
        // Before the first migration only the oldest name is looked for.
        {0, 0, false, true, false, false, false, true, false},
        // Both older names: the oldest one goes, the second stays for now.
        {0, 0, true, true, false, true, false, true, true},
        // After the first migration the second name is replaced.
        {1, 0, false, true, false, true, false, false, true},
        {1, 0, true, false, false, false, true, false, false},
        {0, 1, true, false, false, true, false, false, true},
        // Both done: the box shows whether our shortcut exists, nothing changes.
        {1, 1, true, true, true, true, true, true, true},
        {1, 1, false, false, false, false, false, false, false},
        // An older shortcut while ours exists: ours is kept as it is.
        {0, 0, true, false, true, true, false, false, true},
    };
    const fs::path first = sendTo() / "Convert (BMP PNG JPEG).lnk";
    const fs::path second = sendTo() / "PirexMoravel.lnk";
    const fs::path current = sendTo() / "Moravel.lnk";
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << index++);
        for (const fs::path& p : {first, second, current}) fs::remove(p);
        if (c.first) {
            ASSERT_TRUE(app::createShellLink(first.wstring().c_str(), L"C:\\old\\Pirex.exe"));
        }
        if (c.second) {
            ASSERT_TRUE(app::createShellLink(second.wstring().c_str(), L"C:\\old\\Pirex.exe"));
        }
        if (c.current) {
            ASSERT_TRUE(
                app::createShellLink(current.wstring().c_str(), elsewhere().wstring().c_str()));
        }

        Settings settings;
        settings.sendToMigrated1 = c.migrated1;
        settings.sendToMigrated2 = c.migrated2;
        EXPECT_EQ(app::migrateOldSendToShortcuts(locations, settings), c.ticked);
        EXPECT_EQ(settings.sendToMigrated1, 1);
        EXPECT_EQ(settings.sendToMigrated2, 1);
        EXPECT_EQ(fs::exists(first), c.firstAfter);
        EXPECT_EQ(fs::exists(second), c.secondAfter);
        EXPECT_EQ(fs::exists(current), c.currentAfter);
        if (c.currentAfter && !c.current) expectOurLink(current);
        if (c.current) {
            EXPECT_EQ(readLink(current).target, elsewhere().wstring());
        }
    }
}

TEST_F(ShortcutFolders, FirstStartThenConfirmWithoutTickDeletesTheShortcut) {
    // No settings file yet, "Moravel.lnk" already in Send To: the box starts
    // unticked, and confirming the settings window that way removes it.
    const fs::path current = sendTo() / "Moravel.lnk";
    ASSERT_TRUE(app::createShellLink(current.wstring().c_str(), program().wstring().c_str()));
    Settings settings;
    const bool ticked = app::migrateOldSendToShortcuts(locations, settings);
    EXPECT_FALSE(ticked);
    EXPECT_TRUE(app::applyShortcut(locations, app::ShortcutPlace::SendTo, ticked));
    EXPECT_FALSE(fs::exists(current));
}

TEST_F(ShortcutFolders, MigrationFlagsAreSavedAndReadBack) {
    const fs::path first = sendTo() / "Convert (BMP PNG JPEG).lnk";
    touchFile(first, "not even a link: the name is what counts");
    const fs::path ini = folder.path() / "Pirex.ini";
    Settings settings;
    EXPECT_TRUE(app::migrateOldSendToShortcuts(locations, settings));
    EXPECT_FALSE(fs::exists(first));
    expectOurLink(sendTo() / "Moravel.lnk");
    ASSERT_TRUE(saveSettings(ini.u16string().c_str(), settings));

    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(ini.u16string().c_str()));
    Settings loaded;
    loadAllSettings(reader, loaded);
    EXPECT_EQ(loaded.sendToMigrated1, 1);
    EXPECT_EQ(loaded.sendToMigrated2, 1);

    // The next start does not migrate again: the box shows what exists.
    touchFile(first);
    EXPECT_TRUE(app::migrateOldSendToShortcuts(locations, loaded));
    EXPECT_TRUE(fs::exists(first)) << "an older name is only dealt with once";
}

// The system's own folders. The runner (run_shell_test.sh) replaces the
// prefix's Desktop link to $HOME with a real folder and says so; without it,
// nothing is written there.
class SystemFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* ready = std::getenv("MORAVEL_SHELL_FOLDERS_READY");
        if (ready == nullptr || std::string(ready) != "1")
            GTEST_SKIP() << "the prefix's Desktop may be a link out of the prefix";
    }
    ComApartment com;
};

TEST_F(SystemFolders, SendToAndDesktopShortcutsInTheProfile) {
    const app::ShortcutLocations system = app::systemShortcutLocations();
    wchar_t expectedSendTo[MAX_PATH] = {};
    wchar_t expectedDesktop[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, 0, expectedSendTo)));
    ASSERT_TRUE(
        SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, expectedDesktop)));
    EXPECT_STREQ(system.sendToFolder, expectedSendTo);
    EXPECT_STREQ(system.desktopFolder, expectedDesktop);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_STREQ(system.programPath, self);
    fs::create_directories(system.sendToFolder);

    const fs::path sendToLink = fs::path(system.sendToFolder) / "Moravel.lnk";
    const fs::path desktopLink = fs::path(system.desktopFolder) / "Moravel.lnk";
    const fs::path older = fs::path(system.sendToFolder) / "Convert (BMP PNG JPEG).lnk";
    for (const fs::path& p : {sendToLink, desktopLink, older}) fs::remove(p);

    // First start of this version with the oldest shortcut in Send To.
    touchFile(older);
    Settings settings;
    EXPECT_TRUE(app::migrateOldSendToShortcuts(settings));
    EXPECT_FALSE(fs::exists(older));
    EXPECT_TRUE(app::shortcutExists(app::ShortcutPlace::SendTo));
    LinkContents link = readLink(sendToLink);
    EXPECT_EQ(link.target, std::wstring(self));
    EXPECT_EQ(link.arguments, L"");
    EXPECT_EQ(link.iconFile, std::wstring(self));
    EXPECT_EQ(link.iconIndex, 0);
    EXPECT_EQ(link.showCommand, SW_SHOWNORMAL);

    // The desktop box: ticked creates, unticked deletes.
    EXPECT_FALSE(app::shortcutExists(app::ShortcutPlace::Desktop));
    EXPECT_TRUE(app::applyShortcut(app::ShortcutPlace::Desktop, true));
    EXPECT_EQ(readLink(desktopLink).target, std::wstring(self));
    EXPECT_TRUE(app::applyShortcut(app::ShortcutPlace::Desktop, false));
    EXPECT_FALSE(fs::exists(desktopLink));
    EXPECT_TRUE(app::applyShortcut(app::ShortcutPlace::SendTo, false));
    EXPECT_FALSE(fs::exists(sendToLink));
}

}  // namespace
