// The command-line helpers: options from a settings file, the listing, and
// saving back. Fixtures come from tests/data/settings/make_fixtures.py.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "cli/settings_options.h"
#include "tests/core/settings_test_support.h"

namespace {

std::filesystem::path fixture(const char* name) {
    const char* data = std::getenv("MORAVEL_TEST_DATA");
    return std::filesystem::path(data ? data : "tests/data") / "settings" / name;
}

class SettingsCliTest : public ::testing::Test {
  protected:
    std::string listing(const Settings& s) {
        const std::filesystem::path file = folder / "listing.txt";
        FILE* out = std::fopen(file.string().c_str(), "wb");
        EXPECT_NE(out, nullptr);
        if (!out) return {};
        printSettings(s, out);
        std::fclose(out);
        std::vector<uint8_t> bytes = readBytes(file);
        return std::string(bytes.begin(), bytes.end());
    }
    TempFolder folder;
};

TEST_F(SettingsCliTest, DefaultsListing) {
    Settings s;
    EXPECT_EQ(listing(s),
              "language=\nfontHeight=-12\njpegQuality=75\njpegSubsampling=0\njpegSizeLimitOn=0\n"
              "jpegSizeLimitKiB=100\nresizeOn=0\nresizeMode=2\nresizeTarget=100\n"
              "outputFolder=\nsubFolderOn=0\nsubFolderName=Output\npluginFolder=\nstartMode=0\n"
              "sendToMigrated1=0\nsendToMigrated2=0\ndisabledPlugins=\nkeepTransparency=0\n");
}

TEST_F(SettingsCliTest, LoadsAndListsAFullFile) {
    Settings s;
    ASSERT_TRUE(loadSettingsFromFile(u16(fixture("full.ini")).c_str(), s));
    EXPECT_EQ(listing(s),
              "language=English\nfontHeight=-14\njpegQuality=90\njpegSubsampling=2\n"
              "jpegSizeLimitOn=1\njpegSizeLimitKiB=300\nresizeOn=1\nresizeMode=0\n"
              "resizeTarget=1600\noutputFolder=D:\\Pictures\\Out\nsubFolderOn=1\n"
              "subFolderName=Kleiner\npluginFolder=C:\\Susie\nstartMode=3\nsendToMigrated1=1\n"
              "sendToMigrated2=0\ndisabledPlugins=ifjpeg.spi\ndisabledPlugins=ifpng, old.spi\n"
              "keepTransparency=1\n");
}

TEST_F(SettingsCliTest, OlderFileIsNormalised) {
    Settings s;
    ASSERT_TRUE(loadSettingsFromFile(u16(fixture("count12.ini")).c_str(), s));
    EXPECT_EQ(listing(s),
              "language=Japanese\nfontHeight=-12\njpegQuality=60\njpegSubsampling=0\n"
              "jpegSizeLimitOn=0\njpegSizeLimitKiB=100\nresizeOn=0\nresizeMode=2\n"
              "resizeTarget=100\noutputFolder=\nsubFolderOn=1\nsubFolderName=\npluginFolder=\n"
              "startMode=0\nsendToMigrated1=0\nsendToMigrated2=0\ndisabledPlugins=\n"
              "keepTransparency=0\n");
}

TEST_F(SettingsCliTest, DamagedFileGivesWhatItCan) {
    Settings s;
    ASSERT_TRUE(loadSettingsFromFile(u16(fixture("damaged.ini")).c_str(), s));
    EXPECT_EQ(s.jpegQuality, 80);
    EXPECT_EQ(heapText(s.outputFolder), u"");
}

TEST_F(SettingsCliTest, UnreadableFileLeavesTheSettingsAlone) {
    Settings s;
    s.jpegQuality = 12;
    EXPECT_FALSE(loadSettingsFromFile(u16(folder / "none.ini").c_str(), s));
    folder.write("tiny.ini", {0x13, 0x00});
    EXPECT_FALSE(loadSettingsFromFile(u16(folder / "tiny.ini").c_str(), s));
    EXPECT_EQ(s.jpegQuality, 12);
}

TEST_F(SettingsCliTest, ListingKeepsEverySettingOnItsLine) {
    Settings s;
    const char16_t name[] = {u'a', u'\n', u'b', 0x1F, 0x7F, 0x00E9, 0xD83D, 0xDE00, 0xD800, u'z'};
    s.subFolderName.assign(name, 10);
    const std::string text = listing(s);
    EXPECT_NE(text.find("subFolderName=a\\x0Ab\\x1F\\x7F\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBDz\n"),
              std::string::npos)
        << text;
}

TEST_F(SettingsCliTest, SaveCarriesOverWhatTheFileHeld) {
    std::filesystem::copy_file(fixture("full.ini"), folder / "Pirex.ini");
    const std::u16string path = u16(folder / "Pirex.ini");
    Settings s;
    ASSERT_TRUE(loadSettingsFromFile(path.c_str(), s));
    s.jpegQuality = 70;
    std::string error;
    ASSERT_TRUE(saveSettingsToFile(path.c_str(), s, error)) << error;

    // The plug-in folder C:\Susie does not exist here: the list is dropped.
    SettingsBytes expected(19);
    expected.text(0, u"English");
    const int32_t numbers[][2] = {{1, -14}, {2, 70},   {3, 2},  {4, 1},  {5, 300}, {18, 1}, {6, 1},
                                  {7, 0},   {8, 1600}, {10, 1}, {14, 3}, {15, 1},  {16, 0}};
    for (const auto& n : numbers) expected.set(n[0], numberSlot(n[1]));
    expected.text(9, u"D:\\Pictures\\Out");
    expected.text(11, u"Kleiner");
    expected.text(13, u"C:\\Susie");
    expected.text(12, u"written by another version");
    EXPECT_EQ(readBytes(folder / "Pirex.ini"), expected.bytes());
}

TEST_F(SettingsCliTest, SaveCreatesAMissingFile) {
    Settings s;
    std::string error;
    ASSERT_TRUE(saveSettingsToFile(u16(folder / "new.ini").c_str(), s, error)) << error;
    EXPECT_EQ(std::filesystem::file_size(folder / "new.ini"), 168u);
}

}  // namespace
