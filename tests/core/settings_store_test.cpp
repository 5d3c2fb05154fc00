// Saving the settings: the exact bytes of the new file, texts carried over
// from other versions, the plug-in list, and files that cannot be written.
#include "core/settings_store.h"

#include <gtest/gtest.h>

#include "core/settings_file_reader.h"
#include "platform/platform.h"
#include "tests/core/settings_test_support.h"

namespace {

// What the store must write for the default settings: numbers in their
// slots, "Output" at 156 (the first byte after the 19-slot table).
SettingsBytes defaultFile() {
    SettingsBytes f(19);
    f.set(1, numberSlot(-12));
    f.set(2, numberSlot(75));
    f.set(3, numberSlot(0));
    f.set(4, numberSlot(0));
    f.set(5, numberSlot(100));
    f.set(6, numberSlot(0));
    f.set(7, numberSlot(2));
    f.set(8, numberSlot(100));
    f.set(10, numberSlot(0));
    f.text(11, u"Output");
    f.set(14, numberSlot(0));
    f.set(15, numberSlot(0));
    f.set(16, numberSlot(0));
    f.set(18, numberSlot(0));
    return f;
}

class SettingsStoreTest : public ::testing::Test {
  protected:
    std::u16string path() const { return u16(folder / "Pirex.ini"); }
    std::vector<uint8_t> saved() const { return readBytes(folder / "Pirex.ini"); }
    bool save(const Settings& s) { return saveSettings(path().c_str(), s); }
    void writeOld(const std::vector<uint8_t>& bytes) { folder.write("Pirex.ini", bytes); }
    Settings& reload() {
        resetSettings(loaded);
        SettingsFileReader reader;
        reader.open(path().c_str());
        loadAllSettings(reader, loaded);
        return loaded;
    }
    Settings loaded;
    size_t filesInFolder() const {
        size_t n = 0;
        for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder.path())) ++n;
        return n;
    }
    TempFolder folder;
};

TEST_F(SettingsStoreTest, DefaultsIntoANewFile) {
    Settings s;
    ASSERT_TRUE(save(s));
    EXPECT_EQ(saved(), defaultFile().bytes());
    EXPECT_EQ(saved().size(), 156u + 12u);
    EXPECT_EQ(filesInFolder(), 1u);  // no temporary left behind
}

TEST_F(SettingsStoreTest, EverySettingInWriteOrder) {
    // Plug-in files for the list; one of the names is missing on disk.
    std::filesystem::create_directory(folder / "plugins");
    folder.write("plugins/ifjpeg.spi", {1});
    folder.write("plugins/IFPNG.SPH", {1});
    Settings s;
    s.language.assign(u"Japanese");
    s.fontHeight = -14;
    s.jpegQuality = 88;
    s.jpegSubsampling = 1;
    s.jpegSizeLimitOn = 1;
    s.jpegSizeLimitKiB = 250;
    s.resizeOn = 1;
    s.resizeMode = 1;
    s.resizeTarget = 640;
    s.outputFolder.assign(u"D:\\Out");
    s.subFolderOn = 1;
    s.subFolderName.assign(u"Small");
    const std::u16string pluginFolder = u16(folder / "plugins");
    s.pluginFolder.assign(pluginFolder.c_str());
    s.startMode = 5;
    s.sendToMigrated1 = 1;
    s.sendToMigrated2 = 0;
    s.disabledPlugins.append(u"ifjpeg.spi", 10);
    s.disabledPlugins.append(u"gone.spi", 8);
    s.disabledPlugins.append(u"IFPNG.SPH", 9);
    s.keepTransparency = 1;
    ASSERT_TRUE(save(s));

    SettingsBytes expected(19);
    expected.text(0, u"Japanese");
    expected.set(1, numberSlot(-14));
    expected.set(2, numberSlot(88));
    expected.set(3, numberSlot(1));
    expected.set(4, numberSlot(1));
    expected.set(5, numberSlot(250));
    expected.set(18, numberSlot(1));
    expected.set(6, numberSlot(1));
    expected.set(7, numberSlot(1));
    expected.set(8, numberSlot(640));
    expected.text(9, u"D:\\Out");
    expected.set(10, numberSlot(1));
    expected.text(11, u"Small");
    expected.text(13, pluginFolder);
    expected.text(17, std::u16string(u"ifjpeg.spi\0IFPNG.SPH\0", 21));
    expected.set(14, numberSlot(5));
    expected.set(15, numberSlot(1));
    expected.set(16, numberSlot(0));
    EXPECT_EQ(saved(), expected.bytes());

    const Settings& back = reload();
    EXPECT_EQ(listNames(back.disabledPlugins),
              (std::vector<std::u16string>{u"ifjpeg.spi", u"IFPNG.SPH"}));
    EXPECT_EQ(heapText(back.language), u"Japanese");
    EXPECT_EQ(back.resizeTarget, 640);
    // Saving does not change the list held in memory.
    EXPECT_EQ(s.disabledPlugins.count(), 3u);
}

TEST_F(SettingsStoreTest, PluginNamesWithoutFolderAreFoundInTheCurrentDirectory) {
    folder.write("here.spi", {1});
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    Settings s;
    s.disabledPlugins.append(u"here.spi", 8);
    s.disabledPlugins.append(u"elsewhere.spi", 13);
    const bool ok = save(s);
    std::filesystem::current_path(before);
    ASSERT_TRUE(ok);
    SettingsBytes expected = defaultFile();
    expected.text(17, std::u16string(u"here.spi\0", 9));
    EXPECT_EQ(saved(), expected.bytes());
}

TEST_F(SettingsStoreTest, GonePluginIsDroppedAndAnEmptyListIsCleared) {
    std::filesystem::create_directory(folder / "p");
    folder.write("p/a.spi", {1});
    Settings s;
    const std::u16string plugins = u16(folder / "p");
    s.pluginFolder.assign(plugins.c_str());
    s.disabledPlugins.append(u"a.spi", 5);
    s.disabledPlugins.append(u"b.spi", 5);
    ASSERT_TRUE(save(s));
    EXPECT_EQ(listNames(reload().disabledPlugins), std::vector<std::u16string>{u"a.spi"});

    std::filesystem::remove(folder / "p/a.spi");
    ASSERT_TRUE(save(reload()));
    SettingsBytes expected = defaultFile();
    expected.text(13, plugins);  // the folder is still set; the list is gone
    EXPECT_EQ(saved(), expected.bytes());
}

TEST_F(SettingsStoreTest, EmptyPluginNameIsNotKeptBecauseTheFolderExists) {
    std::filesystem::create_directory(folder / "p");
    Settings s;
    const std::u16string plugins = u16(folder / "p");
    s.pluginFolder.assign(plugins.c_str());
    s.disabledPlugins.append(u"", 0);
    ASSERT_TRUE(save(s));
    EXPECT_EQ(reload().disabledPlugins.count(), 0u);
}

TEST_F(SettingsStoreTest, ClearedSubFolderNameStaysEmpty) {
    Settings s;
    s.subFolderName.clear();
    ASSERT_TRUE(save(s));
    SettingsBytes expected = defaultFile();
    expected.truncate(156);
    expected.set(11, {0, 0});
    EXPECT_EQ(saved(), expected.bytes());
    EXPECT_EQ(heapText(reload().subFolderName), u"");
}

TEST_F(SettingsStoreTest, TwelveSlotFileIsRewrittenWithNineteen) {
    SettingsBytes old(12);
    old.set(1, numberSlot(-14));
    old.text(11, u"Alt");
    writeOld(old.bytes());
    Settings& s = reload();
    EXPECT_EQ(s.keepTransparency, 0);
    ASSERT_TRUE(save(s));
    SettingsBytes expected = defaultFile();
    expected.truncate(156);
    expected.set(1, numberSlot(-14));
    expected.text(11, u"Alt");
    EXPECT_EQ(saved(), expected.bytes());
}

TEST_F(SettingsStoreTest, SlotTwelveTextSurvivesByteForByte) {
    SettingsBytes old(19);
    old.text(0, u"English");
    old.text(9, u"C:\\Very\\Long\\Output\\Folder");
    // Any bytes at all, including an odd count, NULs and a lone surrogate.
    const std::vector<uint8_t> other = {'O', 0, 'l', 0, 0, 0, 0x00, 0xD8, 0x7F};
    old.raw(12, other);
    old.text(11, u"Output");
    writeOld(old.bytes());

    Settings& s = reload();
    s.outputFolder.clear();
    ASSERT_TRUE(save(s));
    SettingsBytes expected = defaultFile();
    expected.truncate(156);
    expected.text(0, u"English");
    expected.text(11, u"Output");
    expected.raw(12, other);  // after all texts of this version
    EXPECT_EQ(saved(), expected.bytes());

    // And again: the carried text moves once more and stays intact.
    ASSERT_TRUE(save(reload()));
    EXPECT_EQ(saved(), expected.bytes());
}

TEST_F(SettingsStoreTest, SlotTwelveNumberKeepsItsValue) {
    SettingsBytes old(19);
    old.set(12, numberSlot(-77));
    writeOld(old.bytes());
    Settings s;
    ASSERT_TRUE(save(s));
    SettingsBytes expected = defaultFile();
    expected.set(12, numberSlot(-77));
    EXPECT_EQ(saved(), expected.bytes());
}

TEST_F(SettingsStoreTest, SlotTwelveOutsideTheOldDataAreaIsCleared) {
    for (Slot bad : {Slot{8, 4}, Slot{400, 2}, Slot{156, 0xFFFFFFFF}}) {
        SettingsBytes old(19);
        old.text(0, u"English");
        old.set(12, bad);
        writeOld(old.bytes());
        Settings s;
        s.language.assign(u"English");
        ASSERT_TRUE(save(s));
        SettingsBytes expected = defaultFile();
        expected.truncate(156);
        expected.text(0, u"English");
        expected.text(11, u"Output");
        EXPECT_EQ(saved(), expected.bytes()) << bad.a;
    }
}

TEST_F(SettingsStoreTest, SlotsFromNineteenOnAreDropped) {
    // 25 stored slots: the old data area starts at 4 + 8 * 25 = 204.
    SettingsBytes old(25);
    old.text(20, u"future");
    const Slot carried = old.text(12, u"legacy");
    writeOld(old.bytes());
    Settings s;
    ASSERT_TRUE(save(s));
    SettingsBytes expected = defaultFile();
    expected.text(12, u"legacy");
    EXPECT_EQ(saved(), expected.bytes());
    EXPECT_GE(carried.a, 204u);

    // A slot-12 reference into the old table of slots 19-24 is not data.
    SettingsBytes table(25);
    table.set(12, {4 + 8 * 20, 8});
    writeOld(table.bytes());
    ASSERT_TRUE(save(s));
    EXPECT_EQ(saved(), defaultFile().bytes());
}

TEST_F(SettingsStoreTest, CountOf65535PutsTheOldDataAreaPastTheEnd) {
    // The old data area would start at 4 + 8 * 65535, beyond this file, so
    // the slot-12 text cannot be carried over.
    SettingsBytes old(19);
    old.text(12, u"legacy");
    std::vector<uint8_t> bytes = old.bytes();
    bytes[0] = bytes[1] = 0xFF;
    writeOld(bytes);
    Settings& s = reload();
    EXPECT_EQ(heapText(s.subFolderName), u"");  // slot 11 exists, {0, 0}
    Settings fresh;
    ASSERT_TRUE(save(fresh));
    EXPECT_EQ(saved(), defaultFile().bytes());
}

TEST_F(SettingsStoreTest, DamagedOldFilesAreReplacedCleanly) {
    SettingsBytes full(19);
    full.text(12, u"legacy");
    std::vector<std::vector<uint8_t>> damaged = {
        {},
        {0x13},
        {0x13, 0x00, 0x9A},
        {0x13, 0x00, 0x9A, 0x0A},                                                // table missing
        std::vector<uint8_t>(full.bytes().begin(), full.bytes().begin() + 100),  // short table
        {0xFF, 0xFF, 0x00, 0x00},                      // count 65535, no table
        {0x00, 0x00, 0x00, 0x00, 'j', 'u', 'n', 'k'},  // no slots at all
    };
    for (const auto& bytes : damaged) {
        writeOld(bytes);
        ASSERT_TRUE(save(reload())) << bytes.size();
        EXPECT_EQ(saved(), defaultFile().bytes()) << bytes.size();
    }
}

TEST_F(SettingsStoreTest, ShrinksALargerOldFile) {
    SettingsBytes old(19);
    old.text(9, std::u16string(5000, u'x'));
    writeOld(old.bytes());
    Settings s;
    ASSERT_TRUE(save(s));
    EXPECT_EQ(saved(), defaultFile().bytes());
}

TEST_F(SettingsStoreTest, FileThatCannotBeOpenedIsLeftAlone) {
    Settings s;
    // A folder where the file should be.
    std::filesystem::create_directory(folder / "Pirex.ini");
    EXPECT_FALSE(save(s));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Pirex.ini"));
    // A folder that does not exist: nothing is created.
    const std::u16string missing = u16(folder / "no" / "Pirex.ini");
    EXPECT_FALSE(saveSettings(missing.c_str(), s));
    EXPECT_FALSE(std::filesystem::exists(folder / "no"));
    EXPECT_FALSE(saveSettings(u"", s));
}

TEST_F(SettingsStoreTest, RefusedMemoryLeavesTheOldFileAsItWas) {
    SettingsBytes old(19);
    old.text(0, u"English");
    old.text(12, u"legacy");
    writeOld(old.bytes());
    Settings s;
    s.outputFolder.assign(u"D:\\Out");
    s.pluginFolder.assign(u16(folder.path()).c_str());
    folder.write("x.spi", {1});
    s.disabledPlugins.append(u"x.spi", 5);
    bool succeeded = false;
    for (long allowed = 0; allowed < 200 && !succeeded; ++allowed) {
        platform::privateHeap().refuseAfter(allowed);
        succeeded = save(s);
        platform::privateHeap().refuseAfter(-1);
        if (!succeeded) {
            ASSERT_EQ(saved(), old.bytes()) << allowed;
            ASSERT_EQ(filesInFolder(), 2u) << allowed;
        }
    }
    ASSERT_TRUE(succeeded);
    SettingsBytes expected = defaultFile();
    expected.truncate(156);
    expected.text(9, u"D:\\Out");
    expected.text(11, u"Output");
    expected.text(13, u16(folder.path()));
    expected.text(17, std::u16string(u"x.spi\0", 6));
    expected.text(12, u"legacy");
    EXPECT_EQ(saved(), expected.bytes());
}

TEST_F(SettingsStoreTest, RefusedMemoryCreatesNoFile) {
    Settings s;
    platform::privateHeap().refuseAfter(0);
    const bool ok = save(s);
    platform::privateHeap().refuseAfter(-1);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(std::filesystem::exists(folder / "Pirex.ini"));
}

TEST_F(SettingsStoreTest, BothWaysOfWritingGiveTheSameBytes) {
    Settings s;
    s.language.assign(u"English");
    PreviousSettingsFile previous;  // no old file
    SettingsFileImage image;
    ASSERT_TRUE(buildSettingsFile(previous, s, image));
    std::vector<uint8_t> built(image.data(), image.data() + image.size());

    writeOld(std::vector<uint8_t>(3000, 0xEE));  // longer than the new content
    ASSERT_TRUE(rewriteSettingsFileInPlace(path().c_str(), image));
    EXPECT_EQ(saved(), built);
    writeOld({1, 2});  // shorter
    ASSERT_TRUE(rewriteSettingsFileInPlace(path().c_str(), image));
    EXPECT_EQ(saved(), built);
    writeOld({1, 2});
    ASSERT_TRUE(replaceSettingsFile(path().c_str(), image));
    EXPECT_EQ(saved(), built);
    EXPECT_EQ(filesInFolder(), 1u);

    SettingsBytes expected = defaultFile();
    expected.truncate(156);
    expected.text(0, u"English");
    expected.text(11, u"Output");
    EXPECT_EQ(built, expected.bytes());
}

// The in-place way (taken where no file can be made beside the old one) over
// old files too short for their own table or cut inside their texts: what
// can be read is carried over, the rest gives defaults, and the new file
// reads back whole.
TEST_F(SettingsStoreTest, ShortOldFilesAreRewrittenInPlace) {
    SettingsBytes whole(19);
    whole.text(12, u"legacy");
    whole.text(9, u"D:\\Old pictures");
    const size_t legacyEnd = 156 + 12;
    const std::vector<uint8_t>& all = whole.bytes();
    const struct {
        std::vector<uint8_t> bytes;
        bool keepsLegacy;
    } cases[] = {
        {{}, false},
        {std::vector<uint8_t>(all.begin(), all.begin() + 4 + 8 * 7), false},     // inside the table
        {std::vector<uint8_t>(all.begin(), all.begin() + legacyEnd + 5), true},  // inside slot 9
    };
    Settings s;
    s.language.assign(u"English");
    s.jpegQuality = 33;
    s.subFolderName.assign(u"Done");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        writeOld(c.bytes);
        SettingsFileImage image;
        {
            platform::File file;
            ASSERT_TRUE(file.openForUpdate(path().c_str()));
            PreviousSettingsFile previous;
            ASSERT_TRUE(previous.read(file));
            ASSERT_TRUE(buildSettingsFile(previous, s, image));
        }
        ASSERT_TRUE(rewriteSettingsFileInPlace(path().c_str(), image));
        EXPECT_EQ(saved().size(), image.size());
        const Settings& back = reload();
        EXPECT_EQ(heapText(back.language), u"English");
        EXPECT_EQ(back.jpegQuality, 33);
        EXPECT_EQ(heapText(back.subFolderName), u"Done");
        EXPECT_EQ(heapText(back.outputFolder), u"");
        SettingsFileReader reader;
        reader.open(path().c_str());
        HeapString legacy;
        reader.readText(12, legacy);
        EXPECT_EQ(heapText(legacy), c.keepsLegacy ? u"legacy" : u"");
    }
}

TEST_F(SettingsStoreTest, RoundTripKeepsEveryValue) {
    Settings s;
    s.language.assign(u"English");
    s.jpegQuality = 100;
    s.jpegSizeLimitKiB = 1;
    s.resizeTarget = 0;
    s.resizeMode = 7;
    s.startMode = -3;
    s.outputFolder.assign(u"\u65E5\u672C");
    ASSERT_TRUE(save(s));
    const Settings& back = reload();
    EXPECT_EQ(heapText(back.language), u"English");
    EXPECT_EQ(back.jpegQuality, 100);
    EXPECT_EQ(back.jpegSizeLimitKiB, 1);
    EXPECT_EQ(back.resizeTarget, 0);
    EXPECT_EQ(back.resizeMode, 7);
    EXPECT_EQ(back.startMode, -3);
    EXPECT_EQ(heapText(back.outputFolder), u"\u65E5\u672C");
    EXPECT_EQ(heapText(back.subFolderName), u"Output");
}

}  // namespace
