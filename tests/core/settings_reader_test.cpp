// Reading the settings file: slot table, texts, the plug-in list, the
// normalisations of loading and damaged files.
#include <gtest/gtest.h>

#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "tests/core/settings_test_support.h"

namespace {

void expectDefaults(const Settings& s) {
    EXPECT_EQ(heapText(s.language), u"");
    EXPECT_EQ(s.fontHeight, -12);
    EXPECT_EQ(s.jpegQuality, 75);
    EXPECT_EQ(s.jpegSubsampling, 0);
    EXPECT_EQ(s.jpegSizeLimitOn, 0);
    EXPECT_EQ(s.jpegSizeLimitKiB, 100);
    EXPECT_EQ(s.resizeOn, 0);
    EXPECT_EQ(s.resizeMode, 2);
    EXPECT_EQ(s.resizeTarget, 100);
    EXPECT_EQ(heapText(s.outputFolder), u"");
    EXPECT_EQ(s.subFolderOn, 0);
    EXPECT_EQ(heapText(s.subFolderName), u"Output");
    EXPECT_EQ(heapText(s.pluginFolder), u"");
    EXPECT_EQ(s.startMode, 0);
    EXPECT_EQ(s.sendToMigrated1, 0);
    EXPECT_EQ(s.sendToMigrated2, 0);
    EXPECT_EQ(s.disabledPlugins.count(), 0u);
    EXPECT_EQ(s.keepTransparency, 0);
}

// Puts non-default values everywhere, so that a load visibly replaces them.
void scribble(Settings& s) {
    s.language.assign(u"Klingon");
    s.fontHeight = -14;
    s.jpegQuality = 1;
    s.jpegSubsampling = 2;
    s.jpegSizeLimitOn = 1;
    s.jpegSizeLimitKiB = 7;
    s.resizeOn = 1;
    s.resizeMode = 0;
    s.resizeTarget = 9;
    s.outputFolder.assign(u"x");
    s.subFolderOn = 1;
    s.subFolderName.assign(u"y");
    s.pluginFolder.assign(u"z");
    s.startMode = 3;
    s.sendToMigrated1 = 1;
    s.sendToMigrated2 = 1;
    s.disabledPlugins.append(u"q.spi", 5);
    s.keepTransparency = 1;
}

class SettingsReaderTest : public ::testing::Test {
  protected:
    // Loads over non-default values, so that every setting is visibly set.
    const Settings& loadFrom(const std::filesystem::path& file) {
        resetSettings(loaded);
        scribble(loaded);
        SettingsFileReader reader;
        reader.open(u16(file).c_str());
        loadAllSettings(reader, loaded);
        return loaded;
    }
    Settings loaded;
    std::filesystem::path write(const std::vector<uint8_t>& bytes) {
        return folder.write("Pirex.ini", bytes);
    }
    TempFolder folder;
};

TEST_F(SettingsReaderTest, MissingFileIsInvalidAndGivesEveryDefault) {
    SettingsFileReader reader;
    EXPECT_FALSE(reader.open(u16(folder / "Pirex.ini").c_str()));
    EXPECT_FALSE(reader.valid());
    EXPECT_EQ(reader.slotCount(), 0u);
    HeapString text;
    EXPECT_FALSE(reader.readText(0, text));
    EXPECT_EQ(reader.readNumber(2, 75), 75);
    expectDefaults(loadFrom(folder / "Pirex.ini"));
}

TEST_F(SettingsReaderTest, ReadsEverySetting) {
    SettingsBytes f(19);
    f.text(0, u"English");
    f.set(1, numberSlot(-14));
    f.set(2, numberSlot(90));
    f.set(3, numberSlot(2));
    f.set(4, numberSlot(1));
    f.set(5, numberSlot(32767));
    f.set(6, numberSlot(1));
    f.set(7, numberSlot(0));
    f.set(8, numberSlot(1600));
    f.text(9, u"D:\\Pictures\\Out");
    f.set(10, numberSlot(1));
    f.text(11, u"Kleiner");
    f.text(12, u"other version");
    f.text(13, u"C:\\Susie");
    f.set(14, numberSlot(3));
    f.set(15, numberSlot(1));
    f.set(16, numberSlot(1));
    f.text(17, std::u16string(u"ifjpeg.spi\0ifpng.spi\0", 21));
    f.set(18, numberSlot(1));

    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(u16(write(f.bytes())).c_str()));
    EXPECT_EQ(reader.slotCount(), 19u);
    EXPECT_EQ(reader.dataAreaSize(), f.bytes().size() - 156);
    Settings s;
    loadAllSettings(reader, s);
    EXPECT_EQ(heapText(s.language), u"English");
    EXPECT_EQ(s.fontHeight, -14);
    EXPECT_EQ(s.jpegQuality, 90);
    EXPECT_EQ(s.jpegSubsampling, 2);
    EXPECT_EQ(s.jpegSizeLimitOn, 1);
    EXPECT_EQ(s.jpegSizeLimitKiB, 32767);
    EXPECT_EQ(s.resizeOn, 1);
    EXPECT_EQ(s.resizeMode, 0);
    EXPECT_EQ(s.resizeTarget, 1600);
    EXPECT_EQ(heapText(s.outputFolder), u"D:\\Pictures\\Out");
    EXPECT_EQ(s.subFolderOn, 1);
    EXPECT_EQ(heapText(s.subFolderName), u"Kleiner");
    EXPECT_EQ(heapText(s.pluginFolder), u"C:\\Susie");
    EXPECT_EQ(s.startMode, 3);
    EXPECT_EQ(s.sendToMigrated1, 1);
    EXPECT_EQ(s.sendToMigrated2, 1);
    EXPECT_EQ(listNames(s.disabledPlugins),
              (std::vector<std::u16string>{u"ifjpeg.spi", u"ifpng.spi"}));
    EXPECT_EQ(s.keepTransparency, 1);
}

TEST_F(SettingsReaderTest, LanguageAndTheRestLoadSeparately) {
    SettingsBytes f(19);
    f.text(0, u"Japanese");
    f.set(2, numberSlot(50));
    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(u16(write(f.bytes())).c_str()));
    Settings s;
    loadSettings(reader, s);
    EXPECT_EQ(heapText(s.language), u"");  // left to the language step
    EXPECT_EQ(s.jpegQuality, 50);
    loadLanguageSetting(reader, s);
    EXPECT_EQ(heapText(s.language), u"Japanese");
}

TEST_F(SettingsReaderTest, FontHeightIsEitherLargeOrNormal) {
    for (int32_t stored : {-13, -14, -12, 0, 12, 14, INT32_MIN}) {
        SettingsBytes f(19);
        f.set(1, numberSlot(stored));
        EXPECT_EQ(loadFrom(write(f.bytes())).fontHeight, stored == -14 ? -14 : -12) << stored;
    }
    SettingsBytes text(19);
    text.text(1, u"-14");  // not a number slot
    EXPECT_EQ(loadFrom(write(text.bytes())).fontHeight, -12);
}

TEST_F(SettingsReaderTest, SwitchesKeepTheirLowBitOnly) {
    SettingsBytes f(19);
    const int32_t stored[] = {3, 2, -1, 0x7FFFFFFE, 5, 1};
    const uint32_t slots[] = {4, 6, 10, 15, 16, 18};
    for (int i = 0; i < 6; ++i) f.set(slots[i], numberSlot(stored[i]));
    f.set(2, numberSlot(1000));  // no normalisation: the encoder maps it later
    f.set(8, numberSlot(-5));
    const Settings& s = loadFrom(write(f.bytes()));
    EXPECT_EQ(s.jpegSizeLimitOn, 1);
    EXPECT_EQ(s.resizeOn, 0);
    EXPECT_EQ(s.subFolderOn, 1);
    EXPECT_EQ(s.sendToMigrated1, 0);
    EXPECT_EQ(s.sendToMigrated2, 1);
    EXPECT_EQ(s.keepTransparency, 1);
    EXPECT_EQ(s.jpegQuality, 1000);
    EXPECT_EQ(s.resizeTarget, -5);
}

TEST_F(SettingsReaderTest, SubFolderNameDefaultsOnlyWhenItsSlotIsMissing) {
    SettingsBytes cleared(19);  // slot 11 = {0, 0}: the user cleared the name
    EXPECT_EQ(heapText(loadFrom(write(cleared.bytes())).subFolderName), u"");
    SettingsBytes number(19);
    number.set(11, numberSlot(4));
    EXPECT_EQ(heapText(loadFrom(write(number.bytes())).subFolderName), u"");
    SettingsBytes short11(11);  // no slot 11 at all
    EXPECT_EQ(heapText(loadFrom(write(short11.bytes())).subFolderName), u"Output");
}

TEST_F(SettingsReaderTest, TwelveSlotsGiveDefaultsForTheRest) {
    SettingsBytes f(12);
    f.set(1, numberSlot(-14));
    f.set(10, numberSlot(1));
    f.text(11, u"Small");
    // Bytes that would be slots 12-18 in a longer file are data here.
    for (int i = 0; i < 14; ++i) f.u16(1);
    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(u16(write(f.bytes())).c_str()));
    EXPECT_EQ(reader.slotCount(), 12u);
    EXPECT_EQ(reader.slot(12).a, 0u);
    const Settings& s = loadFrom(folder / "Pirex.ini");
    EXPECT_EQ(s.fontHeight, -14);
    EXPECT_EQ(s.subFolderOn, 1);
    EXPECT_EQ(heapText(s.subFolderName), u"Small");
    EXPECT_EQ(heapText(s.pluginFolder), u"");
    EXPECT_EQ(s.startMode, 0);
    EXPECT_EQ(s.sendToMigrated1, 0);
    EXPECT_EQ(s.sendToMigrated2, 0);
    EXPECT_EQ(s.disabledPlugins.count(), 0u);
    EXPECT_EQ(s.keepTransparency, 0);
}

TEST_F(SettingsReaderTest, SlotCountsAboveNineteenUseNineteen) {
    for (uint16_t count : {20, 25, 65535}) {
        SettingsBytes f(19);
        f.set(2, numberSlot(33));
        f.text(0, u"English");
        std::vector<uint8_t> bytes = f.bytes();
        bytes[0] = static_cast<uint8_t>(count);
        bytes[1] = static_cast<uint8_t>(count >> 8);
        SettingsFileReader reader;
        ASSERT_TRUE(reader.open(u16(write(bytes)).c_str())) << count;
        EXPECT_EQ(reader.slotCount(), 19u);
        EXPECT_EQ(reader.dataAreaSize(), bytes.size() - 156);
        const Settings& s = loadFrom(folder / "Pirex.ini");
        EXPECT_EQ(s.jpegQuality, 33);
        EXPECT_EQ(heapText(s.language), u"English");
    }
}

TEST_F(SettingsReaderTest, FormatTagIsNotTested) {
    SettingsBytes f(19, 0x1234);
    f.set(2, numberSlot(42));
    EXPECT_EQ(loadFrom(write(f.bytes())).jpegQuality, 42);
}

TEST_F(SettingsReaderTest, ShortHeaderOrTableGivesDefaults) {
    SettingsBytes f(19);
    f.set(2, numberSlot(10));
    f.text(11, u"Name");
    for (size_t size : {0, 1, 3, 4, 11, 155}) {
        std::vector<uint8_t> bytes(f.bytes().begin(), f.bytes().begin() + size);
        SettingsFileReader reader;
        EXPECT_FALSE(reader.open(u16(write(bytes)).c_str())) << size;
        expectDefaults(loadFrom(folder / "Pirex.ini"));
    }
    // Exactly the header and table: valid, with an empty data area.
    std::vector<uint8_t> bare(f.bytes().begin(), f.bytes().begin() + 156);
    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(u16(write(bare)).c_str()));
    EXPECT_EQ(reader.dataAreaSize(), 0u);
    const Settings& s = loadFrom(folder / "Pirex.ini");
    EXPECT_EQ(s.jpegQuality, 10);
    EXPECT_EQ(heapText(s.subFolderName), u"");  // the slot exists, its text is gone
}

TEST_F(SettingsReaderTest, TextsThatCannotBeReadAreEmpty) {
    SettingsBytes f(19);
    const Slot lang = f.text(0, u"English");
    f.text(9, u"abc");
    const uint32_t size = static_cast<uint32_t>(f.bytes().size());
    f.set(9, {size - 2, 4});     // runs past the end
    f.set(11, {size + 100, 2});  // starts past the end
    f.set(13, {lang.a, size});   // more bytes than the data area holds
    f.set(17, {0xFFFFFFFF, 0xFFFFFFFF});
    const Settings& s = loadFrom(write(f.bytes()));
    EXPECT_EQ(heapText(s.language), u"English");
    EXPECT_EQ(heapText(s.outputFolder), u"");
    EXPECT_EQ(heapText(s.subFolderName), u"");
    EXPECT_EQ(heapText(s.pluginFolder), u"");
    EXPECT_EQ(s.disabledPlugins.count(), 0u);
}

TEST_F(SettingsReaderTest, OddByteCountsDropTheLastByte) {
    SettingsBytes f(19);
    Slot s9 = f.text(9, u"abc");
    f.set(9, {s9.a, 5});
    Slot s0 = f.text(0, u"x");
    f.set(0, {s0.a, 1});  // half a character
    const Settings& s = loadFrom(write(f.bytes()));
    EXPECT_EQ(heapText(s.outputFolder), u"ab");
    EXPECT_EQ(heapText(s.language), u"");
}

TEST_F(SettingsReaderTest, TextsKeepEveryCodeUnit) {
    SettingsBytes f(19);
    const std::u16string odd{u'C', u':', 0x00E9, 0xD83D, 0xDE00, 0xDC00, 0, u'z'};
    f.text(9, odd);
    const Settings& s = loadFrom(write(f.bytes()));
    EXPECT_EQ(heapText(s.outputFolder), odd);
}

TEST_F(SettingsReaderTest, NumbersOnlyFromNumberSlots) {
    SettingsBytes f(19);
    f.set(2, {0, 55});  // absent
    f.set(5, {2, 55});  // a text reference
    f.set(8, {1, 0xFFFFFFFF});
    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(u16(write(f.bytes())).c_str()));
    EXPECT_EQ(reader.readNumber(2, 75), 75);
    EXPECT_EQ(reader.readNumber(5, 100), 100);
    EXPECT_EQ(reader.readNumber(8, 100), -1);
    EXPECT_EQ(reader.readNumber(19, 7), 7);  // no such slot
    HeapString text;
    text.assign(u"stale");
    EXPECT_TRUE(reader.readText(8, text));  // exists, but holds no text
    EXPECT_EQ(heapText(text), u"");
    EXPECT_FALSE(reader.readText(19, text));
}

TEST_F(SettingsReaderTest, ListSplitsAtEveryNul) {
    struct Case {
        std::u16string block;
        std::vector<std::u16string> names;
    };
    const Case cases[] = {
        {std::u16string(u"a.spi\0b.spi\0", 12), {u"a.spi", u"b.spi"}},
        {std::u16string(u"a.spi\0b.spi", 11), {u"a.spi", u"b.spi"}},
        {std::u16string(u"a\0\0b\0", 5), {u"a", u"", u"b"}},
        {std::u16string(u"\0", 1), {u""}},
        {std::u16string(u"\0\0", 2), {u"", u""}},
        {u"single", {u"single"}},
    };
    for (const Case& c : cases) {
        SettingsBytes f(19);
        f.text(17, c.block);
        EXPECT_EQ(listNames(loadFrom(write(f.bytes())).disabledPlugins), c.names);
    }
}

TEST_F(SettingsReaderTest, ListNeedsEighteenSlots) {
    SettingsBytes f(17);
    f.text(17, std::u16string(u"a.spi\0", 6));  // lies in the data area only
    EXPECT_EQ(loadFrom(write(f.bytes())).disabledPlugins.count(), 0u);
}

TEST_F(SettingsReaderTest, ReaderCanBeReopenedAndClosed) {
    SettingsBytes a(19);
    a.set(2, numberSlot(11));
    SettingsBytes b(3);
    std::filesystem::path pa = folder.write("a.ini", a.bytes());
    std::filesystem::path pb = folder.write("b.ini", b.bytes());
    SettingsFileReader reader;
    ASSERT_TRUE(reader.open(u16(pa).c_str()));
    EXPECT_EQ(reader.readNumber(2, 0), 11);
    ASSERT_TRUE(reader.open(u16(pb).c_str()));
    EXPECT_EQ(reader.slotCount(), 3u);
    EXPECT_EQ(reader.readNumber(2, 0), 0);
    reader.close();
    EXPECT_FALSE(reader.valid());
    EXPECT_EQ(reader.readNumber(2, 9), 9);
}

TEST_F(SettingsReaderTest, ADirectoryIsNotASettingsFile) {
    std::filesystem::create_directory(folder / "Pirex.ini");
    SettingsFileReader reader;
    EXPECT_FALSE(reader.open(u16(folder / "Pirex.ini").c_str()));
}

}  // namespace
