// Option forms people type, sources made absolute, and the settings-file
// guard of --save-settings.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/settings_options.h"
#include "cli/source_paths.h"
#include "core/settings_store.h"
#include "tests/support/temp_folder.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

namespace fs = std::filesystem;

struct OptionCase {
    std::vector<std::u16string> args;
    bool accepted;
    OutputFormat format = OutputFormat::Bmp;
    int quality = 75;
    int resizeMode = 0;
    int resizeTarget = 0;
    std::u16string subFolder = u"";
};

TEST(CliOptions, EqualsFormsLetterCaseAndRefusedValues) {
    const OptionCase cases[] = {
        {{u"--format=png", u"a"}, true, OutputFormat::Png},
        {{u"--format=PNG", u"a"}, true, OutputFormat::Png},
        {{u"--format", u"Jpg", u"a"}, true, OutputFormat::Jpeg},
        {{u"--format=JpegCopy", u"a"}, true, OutputFormat::JpegCopy},
        {{u"--format=gif", u"--quality=90", u"a"}, true, OutputFormat::Gif, 90},
        {{u"--format=bmp", u"--resize=LONG:10", u"a"}, true, OutputFormat::Bmp, 75, 2, 10},
        {{u"--format=bmp", u"--resize", u"height:1", u"a"}, true, OutputFormat::Bmp, 75, 1, 1},
        {{u"--format=png", u"--sub-folder=Done", u"a"}, true, OutputFormat::Png, 75, 0, 0, u"Done"},
        {{u"--format=png", u"--sub-folder", u"a.b c", u"a"},
         true,
         OutputFormat::Png,
         75,
         0,
         0,
         u"a.b c"},
        {{u"--format=png", u"--", u"--format=gif"}, true, OutputFormat::Png},
        // A resize target of 0 would make every picture fail.
        {{u"--format=png", u"--resize", u"long:0", u"a"}, false},
        {{u"--format=png", u"--resize=width:0", u"a"}, false},
        {{u"--format=png", u"--resize", u"height:00", u"a"}, false},
        // A sub-folder is a name, not a path.
        {{u"--format=png", u"--sub-folder", u"../up", u"a"}, false},
        {{u"--format=png", u"--sub-folder", u"..", u"a"}, false},
        {{u"--format=png", u"--sub-folder", u".", u"a"}, false},
        {{u"--format=png", u"--sub-folder", u"a/b", u"a"}, false},
        {{u"--format=png", u"--sub-folder", u"a\\b", u"a"}, false},
        {{u"--format=png", u"--sub-folder", u"C:x", u"a"}, false},
        {{u"--format=png", u"--sub-folder=", u"a"}, false},
        {{u"--format=", u"a"}, false},
        {{u"--format=tiff", u"a"}, false},
        {{u"--help=yes"}, false},
        {{u"--format=png", u"--keep-transparency=1", u"a"}, false},
        {{u"--format=png", u"--output-folder=", u"a"}, false},
        {{u"--format=png", u"--frobnicate=3", u"a"}, false},
    };
    for (const OptionCase& c : cases) {
        CliOptions o;
        std::string error;
        std::string shown;
        for (const std::u16string& arg : c.args) shown += toUtf8(arg) + " ";
        ASSERT_EQ(parseCliOptions(c.args, o, error), c.accepted) << shown << ": " << error;
        if (!c.accepted) {
            EXPECT_FALSE(error.empty()) << shown;
            EXPECT_EQ(error.find('\n'), std::string::npos) << "one line: " << error;
            continue;
        }
        EXPECT_EQ(o.format, c.format) << shown;
        Settings s;
        applyCliOptions(o, s);
        EXPECT_EQ(s.jpegQuality, c.quality) << shown;
        if (c.resizeTarget) {
            EXPECT_EQ(s.resizeMode, c.resizeMode) << shown;
            EXPECT_EQ(s.resizeTarget, c.resizeTarget) << shown;
        }
        if (!c.subFolder.empty()) {
            EXPECT_EQ(s.subFolderName.c_str(), c.subFolder) << shown;
        }
    }
    CliOptions o;
    std::string error;
    ASSERT_TRUE(parseCliOptions({u"-h"}, o, error));
    EXPECT_TRUE(o.help);
    o = {};
    ASSERT_TRUE(parseCliOptions({u"--format=png", u"--", u"--format=gif"}, o, error));
    EXPECT_EQ(o.files, std::vector<std::u16string>{u"--format=gif"});
}

// "--name=value" splits at the first '=': a value may hold '=' itself. Every
// option that takes a value is here; an '=' inside a number or a format is
// that option's own refusal, never an unknown option.
TEST(CliOptions, ValuesKeepTheirOwnEqualsSigns) {
    struct Case {
        const char16_t* arg;
        std::u16string CliOptions::*text;  // where the value lands; null: refused
    };
    const Case cases[] = {
        {u"--output-folder=/x/a=b", &CliOptions::outputFolder},
        {u"--settings=/x/a=b", &CliOptions::settingsFile},
        {u"--save-settings=/x/a=b", &CliOptions::saveSettingsFile},
        {u"--plugin-folder=/x/a=b", &CliOptions::pluginFolder},
        {u"--sub-folder=/x/a=b", nullptr},  // a path, but not refused as unknown
        {u"--format=png=b", nullptr},
        {u"--quality=9=0", nullptr},
        {u"--subsampling=420=b", nullptr},
        {u"--size-limit=1=0", nullptr},
        {u"--resize=long:1=0", nullptr},
        {u"--jobs=2=0", nullptr},
    };
    for (const Case& c : cases) {
        CliOptions o;
        std::string error;
        const std::u16string arg = c.arg;
        const bool accepted = parseCliOptions({u"--format=bmp", arg, u"a"}, o, error);
        EXPECT_EQ(accepted, c.text != nullptr) << toUtf8(arg) << ": " << error;
        if (c.text) {
            EXPECT_EQ(toUtf8(o.*c.text), "/x/a=b") << toUtf8(arg);
        } else {
            const std::string name = toUtf8(arg.substr(2, arg.find(u'=') - 2));
            EXPECT_EQ(error.find("unknown option"), std::string::npos) << error;
            EXPECT_NE(error.find(name), std::string::npos) << error;
        }
    }
    CliOptions o;
    std::string error;
    ASSERT_TRUE(parseCliOptions({u"--format=bmp", u"--sub-folder=a=b", u"a"}, o, error)) << error;
    EXPECT_EQ(toUtf8(o.subFolder), "a=b");
}

// Runs the test body with the current folder set to `folder`.
class InFolder {
  public:
    explicit InFolder(const fs::path& folder) : saved_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~InFolder() { fs::current_path(saved_); }

  private:
    fs::path saved_;
};

TEST(SourcePaths, RelativeNamesBecomeAbsoluteInTheirRealFolder) {
    TempFolder root;
    fs::create_directories(root / "photos" / "sub");
    const fs::path photos = fs::canonical(root / "photos");
    const std::u16string sep(1, platform::kPathSeparator);
    const std::u16string base = u16(photos);
    InFolder here(photos);
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"fog.jpg", base + sep + u"fog.jpg"},
        {u"./fog.jpg", base + sep + u"fog.jpg"},
        {u"sub/../fog.jpg", base + sep + u"fog.jpg"},
        {u"sub//x.jpg", base + sep + u"sub" + sep + u"x.jpg"},
        {u"../photos/sub/x.jpg", base + sep + u"sub" + sep + u"x.jpg"},
        {u"..", u16(photos.parent_path())},
#ifdef _WIN32
        {u"missing/../fog.jpg", base + sep + u"fog.jpg"},
#else
        // The system decides about ".." after a folder that does not exist.
        {u"missing/../fog.jpg", base + sep + u"missing/../fog.jpg"},
#endif
        {base + sep + u"fog.jpg", base + sep + u"fog.jpg"},
#ifdef _WIN32
        {u"sub\\x.jpg", base + sep + u"sub" + sep + u"x.jpg"},
        // Drive-relative: the current folder of that drive.
        {base.substr(0, 2) + u"fog.jpg", base + sep + u"fog.jpg"},
#endif
    };
    for (const auto& [given, expected] : cases)
        EXPECT_EQ(toUtf8(absolutePath(given)), toUtf8(expected)) << toUtf8(given);
    EXPECT_EQ(absolutePath(u""), u"");

    { std::ofstream(photos / "fog.jpg") << "x"; }
    EXPECT_EQ(classifySource(absolutePath(u"fog.jpg")), SourceKind::File);
    EXPECT_EQ(classifySource(absolutePath(u"sub")), SourceKind::Folder);
    EXPECT_EQ(classifySource(absolutePath(u"*.jpg")), SourceKind::Missing);
    EXPECT_EQ(classifySource(u""), SourceKind::Missing);
}

std::vector<uint8_t> settingsBytes(uint16_t count, std::vector<std::pair<uint32_t, uint32_t>> slots,
                                   size_t dataBytes) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                                  0x9A, 0x0A};
    for (auto [a, b] : slots)
        for (uint32_t v : {a, b})
            for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    bytes.resize(bytes.size() + dataBytes, 'x');
    return bytes;
}

TEST(SaveSettings, ReplacesOnlySettingsFilesAndKeepsTheirPermissions) {
    TempFolder folder;
    std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    jpeg.resize(4000, 0x55);
    const std::pair<std::string, std::vector<uint8_t>> files[] = {
        {"photo.jpg", jpeg},
        {"note.txt", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'}},
        {"short", {0x01, 0x00, 0x9A}},
        {"no-slots", settingsBytes(0, {}, 8)},
        {"table-past-end", settingsBytes(3, {{1, 5}}, 0)},
        {"text-past-end", settingsBytes(1, {{12, 10}}, 4)},
        {"odd-text", settingsBytes(1, {{12, 3}}, 4)},
        {"text-in-table", settingsBytes(2, {{4, 2}, {0, 0}}, 4)},
        {"empty-with-size", settingsBytes(1, {{0, 7}}, 0)},
    };
    Settings s;
    for (const auto& [name, bytes] : files) {
        const fs::path path = folder.write(name, bytes);
        EXPECT_EQ(inspectSettingsTarget(u16(path).c_str()), SettingsTarget::NotSettingsFile)
            << name;
        std::string error;
        EXPECT_FALSE(saveSettingsToFile(u16(path).c_str(), s, error)) << name;
        EXPECT_NE(error.find("not a settings file"), std::string::npos) << error;
        EXPECT_EQ(readBytes(path), bytes) << name << " was changed";
    }
    const fs::path good = folder.write("other-version.ini", settingsBytes(2, {{1, 7}, {20, 4}}, 4));
    EXPECT_EQ(inspectSettingsTarget(u16(good).c_str()), SettingsTarget::SettingsFile);
    EXPECT_EQ(inspectSettingsTarget(u16(folder / "new.ini").c_str()), SettingsTarget::Missing);
    EXPECT_EQ(inspectSettingsTarget(u16(folder.path()).c_str()), SettingsTarget::Folder);
    const fs::path empty = folder.write("empty.ini", {});
    EXPECT_EQ(inspectSettingsTarget(u16(empty).c_str()), SettingsTarget::Empty);

    std::string error;
    EXPECT_FALSE(saveSettingsToFile(u16(folder.path()).c_str(), s, error));
    s.jpegQuality = 42;
    ASSERT_TRUE(saveSettingsToFile(u16(empty).c_str(), s, error)) << error;
    ASSERT_TRUE(saveSettingsToFile(u16(good).c_str(), s, error)) << error;
    EXPECT_EQ(inspectSettingsTarget(u16(good).c_str()), SettingsTarget::SettingsFile);
    Settings back;
    ASSERT_TRUE(loadSettingsFromFile(u16(good).c_str(), back));
    EXPECT_EQ(back.jpegQuality, 42);
#ifndef _WIN32
    // The new file is written as a private temporary and renamed over the
    // old one; the old permissions come back.
    fs::permissions(good, fs::perms(0640));
    ASSERT_TRUE(saveSettingsToFile(u16(good).c_str(), s, error)) << error;
    EXPECT_EQ(fs::status(good).permissions(), fs::perms(0640));
    const mode_t mask = umask(022);
    ASSERT_TRUE(saveSettingsToFile(u16(folder / "fresh.ini").c_str(), s, error)) << error;
    umask(mask);
    EXPECT_EQ(fs::status(folder / "fresh.ini").permissions(), fs::perms(0644));
#endif
}

}  // namespace
