// Built as a program called "Pirex" in a folder of its own, so that the real
// start-up step can be run: the program's path and application-data folder
// come from the system, and the current directory becomes the program folder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/settings_locate.h"
#include "core/settings_store.h"
#include "platform/platform.h"
#include "tests/core/settings_test_support.h"

namespace {

std::filesystem::path programFile() {
    char16_t buffer[4096];
    const size_t n = platform::programPath(buffer, 4096);
    return n ? std::filesystem::path(std::u16string(buffer, n)) : std::filesystem::path();
}

std::filesystem::path appDataFolder() {
    char16_t buffer[4096];
    const size_t n = platform::appDataFolder(buffer, 4096);
    return n ? std::filesystem::path(std::u16string(buffer, n)) : std::filesystem::path();
}

class PirexLocateTest : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef _WIN32
        // Keep the test away from the user's own configuration.
        const char* config = std::getenv("XDG_CONFIG_HOME");
        if (!config || !*config) GTEST_SKIP() << "XDG_CONFIG_HOME is not set";
#endif
        program = programFile();
        ASSERT_FALSE(program.empty());
        std::error_code ignored;
        std::filesystem::remove(program.parent_path() / "Pirex.ini", ignored);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!program.empty()) std::filesystem::remove(program.parent_path() / "Pirex.ini", ignored);
    }
    std::filesystem::path program;
};

TEST_F(PirexLocateTest, ProgramPathNamesThisProgram) {
    EXPECT_TRUE(program.is_absolute());
    EXPECT_TRUE(std::filesystem::exists(program));
    EXPECT_EQ(program.stem(), std::filesystem::path("Pirex"));
    const std::filesystem::path appData = appDataFolder();
    ASSERT_FALSE(appData.empty());
    EXPECT_TRUE(appData.is_absolute());
}

TEST_F(PirexLocateTest, SettlesInApplicationDataAndMovesToTheProgramFolder) {
    SettingsLocation location;
    ASSERT_TRUE(locateSettings(location));
    const std::filesystem::path folder = appDataFolder() / "Pirex";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(heapText(location.settingsFile), u16(folder / "Pirex.ini"));
    EXPECT_EQ(heapText(location.programFolder), u16(program.parent_path()));
    EXPECT_TRUE(
        std::filesystem::equivalent(std::filesystem::current_path(), program.parent_path()));

    // The store can create the file there at the first close.
    std::error_code ignored;
    std::filesystem::remove(folder / "Pirex.ini", ignored);
    Settings settings;
    ASSERT_TRUE(saveSettings(location.settingsFile.c_str(), settings));
    EXPECT_EQ(std::filesystem::file_size(folder / "Pirex.ini"), 156u + 12u);
    std::filesystem::remove(folder / "Pirex.ini", ignored);
}

TEST_F(PirexLocateTest, AFileNextToTheProgramMakesItPortable) {
    std::ofstream(program.parent_path() / "Pirex.ini", std::ios::binary) << "x";
    SettingsLocation location;
    ASSERT_TRUE(locateSettings(location));
    EXPECT_EQ(heapText(location.settingsFile), u16(program.parent_path() / "Pirex.ini"));
}

}  // namespace
