// Where the settings file lives, for a program path and application-data
// folder given by the test.
#include "core/settings_locate.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/core/settings_test_support.h"

namespace {

class SettingsLocateTest : public ::testing::Test {
  protected:
    SettingsLocateTest() {
        std::filesystem::create_directory(folder / "program");
        std::filesystem::create_directory(folder / "appdata");
    }
    std::u16string program(const std::string& name) const { return u16(folder / "program" / name); }
    std::u16string appData() const { return u16(folder / "appdata"); }
    TempFolder folder;
    SettingsLocation location;
};

TEST_F(SettingsLocateTest, WithoutAFileNextToTheProgramUsesApplicationData) {
    ASSERT_TRUE(locateSettingsFile(program("Pirex.exe").c_str(), appData().c_str(), location));
    EXPECT_EQ(heapText(location.programFolder), u16(folder / "program"));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "appdata" / "Pirex" / "Pirex.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "appdata" / "Pirex"));  // created
    EXPECT_FALSE(std::filesystem::exists(folder / "appdata" / "Pirex" / "Pirex.ini"));

    // A second start finds the folder already there.
    ASSERT_TRUE(locateSettingsFile(program("Pirex.exe").c_str(), appData().c_str(), location));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "appdata" / "Pirex" / "Pirex.ini"));
}

TEST_F(SettingsLocateTest, AFileNextToTheProgramWins) {
    folder.write("program/Pirex.ini", {0x13, 0x00, 0x9A, 0x0A});
    ASSERT_TRUE(locateSettingsFile(program("Pirex.exe").c_str(), appData().c_str(), location));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "program" / "Pirex.ini"));
    EXPECT_FALSE(std::filesystem::exists(folder / "appdata" / "Pirex"));
    // No application-data folder is needed then.
    ASSERT_TRUE(locateSettingsFile(program("Pirex.exe").c_str(), nullptr, location));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "program" / "Pirex.ini"));
}

TEST_F(SettingsLocateTest, AFolderNamedLikeTheFileIsNotTheFile) {
    std::filesystem::create_directory(folder / "program" / "Pirex.ini");
    ASSERT_TRUE(locateSettingsFile(program("Pirex.exe").c_str(), appData().c_str(), location));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "appdata" / "Pirex" / "Pirex.ini"));
}

TEST_F(SettingsLocateTest, TheProgramMustBeCalledPirex) {
    for (const char* name : {"Pirex.exe", "PIREX.EXE", "pirex.Exe", "Pirex", "pIrEx.bin"}) {
        EXPECT_TRUE(locateSettingsFile(program(name).c_str(), appData().c_str(), location)) << name;
    }
    for (const char* name : {"Pirex2.exe", "Pire.exe", "Pirex.exe.bak", "Pirex .exe", "Moravel.exe",
                             ".exe", "xPirex.exe"}) {
        EXPECT_FALSE(locateSettingsFile(program(name).c_str(), appData().c_str(), location))
            << name;
        EXPECT_EQ(location.settingsFile.length(), 0u);
    }
    // Letters outside ASCII never match, whatever their case.
    const std::u16string accented =
        u16(folder / "program") + platform::kPathSeparator + u"P\u00CDrex.exe";
    EXPECT_FALSE(locateSettingsFile(accented.c_str(), appData().c_str(), location));
    // A bare name has no folder to work from.
    EXPECT_FALSE(locateSettingsFile(u"Pirex.exe", appData().c_str(), location));
    EXPECT_FALSE(locateSettingsFile(u"", appData().c_str(), location));
    EXPECT_FALSE(locateSettingsFile(nullptr, appData().c_str(), location));
}

TEST_F(SettingsLocateTest, FailsWithoutAUsableApplicationDataFolder) {
    EXPECT_FALSE(locateSettingsFile(program("Pirex.exe").c_str(), nullptr, location));
    EXPECT_FALSE(locateSettingsFile(program("Pirex.exe").c_str(), u"", location));
    // The "Pirex" folder cannot be created where the parent does not exist.
    const std::u16string missing = u16(folder / "missing" / "deeper");
    EXPECT_FALSE(locateSettingsFile(program("Pirex.exe").c_str(), missing.c_str(), location));
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST_F(SettingsLocateTest, ApplicationDataFolderWithFinalSeparator) {
    const std::u16string withSeparator = appData() + platform::kPathSeparator;
    ASSERT_TRUE(locateSettingsFile(program("Pirex.exe").c_str(), withSeparator.c_str(), location));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "appdata" / "Pirex" / "Pirex.ini"));
}

// This test program is not called "Pirex", so the real start-up step refuses
// it and leaves the current directory alone.
TEST(SettingsLocateProgram, RefusesAProgramWithAnotherName) {
    const std::filesystem::path before = std::filesystem::current_path();
    SettingsLocation location;
    EXPECT_FALSE(locateSettings(location));
    EXPECT_EQ(std::filesystem::current_path(), before);
}

}  // namespace
