// The batch driver's folder, name and error rules, and the command line.
#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "driver/batch_driver.h"
#include "driver/jpeg_size_hint.h"
#include "driver/library_formats.h"
#include "driver/native_formats.h"
#include "driver/output_names.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

namespace {

std::u16string text(const HeapString& s) {
    return std::u16string(s.c_str(), s.length());
}

class RecordingHooks : public BatchHooks {
  public:
    void showBatchError(BatchError error) override { errors.push_back(error); }
    void fileFailed(const char16_t*, FileFailure failure, uint32_t, uint32_t) override {
        failures.push_back(failure);
    }
    std::vector<BatchError> errors;
    std::vector<FileFailure> failures;
};

TEST(OutputNames, SourceNameWithTheFormatsExtension) {
    TempFolder out;
    HeapString path;
    std::u16string folder = u16(out.path());
    std::u16string sep(1, platform::kPathSeparator);
    std::u16string dotted = u"x" + sep + u"dir.d" + sep + u"scan";
    ASSERT_TRUE(outputPathFor(folder.c_str(), dotted.c_str(), u".png", path));
    EXPECT_EQ(text(path), folder + sep + u"scan.png");
    ASSERT_TRUE(outputPathFor(folder.c_str(), (u"a" + sep + u"photo.JPG").c_str(), u".bmp", path));
    EXPECT_EQ(text(path), folder + sep + u"photo.bmp");
}

TEST(OutputNames, CollisionsGetPlusAndTheFirstFreeNumber) {
    TempFolder out;
    out.write("a.png", {1});
    out.write("a+1.png", {1});
    HeapString path(u16(out / "a.png").c_str());
    ASSERT_TRUE(makeUniqueOutputName(path, u".png"));
    EXPECT_EQ(text(path), u16(out / "a+2.png"));

    HeapString free(u16(out / "b.png").c_str());
    ASSERT_TRUE(makeUniqueOutputName(free, u".png"));
    EXPECT_EQ(text(free), u16(out / "b.png"));
}

TEST(OutputNames, GivesUpAfter9999AndBeyond259Characters) {
    TempFolder out;
    out.write("c.gif", {1});
    for (int n = 1; n <= 9999; ++n) out.write("c+" + std::to_string(n) + ".gif", {});
    HeapString path(u16(out / "c.gif").c_str());
    EXPECT_FALSE(makeUniqueOutputName(path, u".gif"));

    std::string longName(255 - out.path().string().size(), 'n');
    out.write(longName + ".gif", {1});
    HeapString tooLong(u16(out / (longName + ".gif")).c_str());
    EXPECT_FALSE(makeUniqueOutputName(tooLong, u".gif"));
}

TEST(JpegSizeHint, FollowsTheResizeSettings) {
    auto same = [](JpegSizeHint h, bool e, int w, int hh) {
        return h.enabled == e && (!e || (h.width == w && h.height == hh));
    };
    EXPECT_TRUE(same(jpegSizeHintFor(0, 2, 500), false, 0, 0));
    EXPECT_TRUE(same(jpegSizeHintFor(1, 2, 0), false, 0, 0));
    EXPECT_TRUE(same(jpegSizeHintFor(1, 3, 500), false, 0, 0));
    EXPECT_TRUE(same(jpegSizeHintFor(1, 0, 500), true, 500, 1));
    EXPECT_TRUE(same(jpegSizeHintFor(1, 1, 500), true, 1, 500));
    EXPECT_TRUE(same(jpegSizeHintFor(1, 2, 500), true, 500, 500));
}

class Batch : public ::testing::Test {
  protected:
    bool run(std::vector<std::filesystem::path> files, OutputFormat format = OutputFormat::Png) {
        std::vector<HeapString> sources;
        for (auto& f : files) sources.emplace_back(u16(f).c_str());
        BatchDriver driver(settings, hooks);
        ConvertJob job{sources.data(), static_cast<uint32_t>(sources.size()), format};
        return driver.executeJob(job);
    }
    TempFolder temp, in;
    TemporaryFolderOverride tempOverride{temp.path()};
    Settings settings;
    RecordingHooks hooks;
};

TEST_F(Batch, NothingReadableReportsNothingProducedAndRemovesItsSubFolder) {
    auto junk = in.write("junk.dat", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a'});
    settings.subFolderOn = 1;
    EXPECT_FALSE(run({junk, in / "gone.png"}));
    EXPECT_EQ(hooks.errors, std::vector<BatchError>{BatchError::NothingProduced});
    EXPECT_EQ(hooks.failures.size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(in / "Output"));
    EXPECT_EQ(countFiles(temp.path()), 0);  // no temporary file left behind
}

TEST_F(Batch, PreExistingSubFolderIsKept) {
    auto junk = in.write("junk.dat", {0, 1, 2, 3, 4, 5, 6, 7, 8});
    std::filesystem::create_directory(in / "Mine");
    settings.subFolderOn = 1;
    settings.subFolderName.assign(u"Mine");
    EXPECT_FALSE(run({junk}));
    EXPECT_TRUE(std::filesystem::is_directory(in / "Mine"));
    EXPECT_EQ(hooks.errors, std::vector<BatchError>{BatchError::NothingProduced});
}

TEST_F(Batch, MissingFolderOfTheFirstSourceStopsTheBatch) {
    EXPECT_FALSE(run({in / "gone" / "a.bmp"}));
    EXPECT_EQ(hooks.errors, std::vector<BatchError>{BatchError::NoSourceFolder});
    EXPECT_TRUE(hooks.failures.empty());
}

TEST_F(Batch, ConfiguredOutputFolderThatIsGoneFallsBackToTheSourceFolder) {
    auto junk = in.write("junk.dat", {0, 1, 2, 3, 4, 5, 6, 7, 8});
    settings.outputFolder.assign(u16(in / "nowhere").c_str());
    settings.subFolderOn = 1;
    settings.subFolderName.assign(u"Sub");
    EXPECT_FALSE(run({junk}));
    EXPECT_TRUE(settings.outputFolder.empty());
    EXPECT_EQ(hooks.errors, std::vector<BatchError>{BatchError::NothingProduced});
}

TEST_F(Batch, SubFolderThatCannotBeCreated) {
    auto junk = in.write("junk.dat", {0, 1, 2, 3, 4, 5, 6, 7, 8});
    in.write("Output", {1});  // a file stands where the folder should go
    settings.subFolderOn = 1;
    EXPECT_FALSE(run({junk}));
    EXPECT_EQ(hooks.errors, std::vector<BatchError>{BatchError::SubFolder});
    EXPECT_TRUE(hooks.failures.empty());
}

TEST_F(Batch, EmptySubFolderNameWritesIntoTheFolderItself) {
    auto junk = in.write("junk.dat", {0, 1, 2, 3, 4, 5, 6, 7, 8});
    settings.subFolderOn = 1;
    settings.subFolderName.clear();
    EXPECT_FALSE(run({junk}));
    EXPECT_EQ(hooks.errors, std::vector<BatchError>{BatchError::NothingProduced});
    EXPECT_EQ(countFiles(in.path()), 1);
}

std::vector<std::u16string> args(std::initializer_list<const char16_t*> list) {
    return std::vector<std::u16string>(list.begin(), list.end());
}

TEST(CommandLine, ParsesEveryOption) {
    CliOptions o;
    std::string error;
    ASSERT_TRUE(parseCliOptions(
        args({u"--format", u"jpeg", u"--quality", u"90", u"--subsampling", u"444", u"--size-limit",
              u"200", u"--resize", u"long:1600", u"--sub-folder", u"Small", u"--keep-transparency",
              u"a.png", u"--", u"--odd-name.bmp"}),
        o, error))
        << error;
    Settings s;
    applyCliOptions(o, s);
    EXPECT_EQ(o.format, OutputFormat::Jpeg);
    EXPECT_EQ(s.jpegQuality, 90);
    EXPECT_EQ(s.jpegSubsampling, 2);
    EXPECT_EQ(s.jpegSizeLimitOn, 1);
    EXPECT_EQ(s.jpegSizeLimitKiB, 200);
    EXPECT_EQ(s.resizeOn, 1);
    EXPECT_EQ(s.resizeMode, kResizeByLongerSide);
    EXPECT_EQ(s.resizeTarget, 1600);
    EXPECT_EQ(s.subFolderOn, 1);
    EXPECT_EQ(text(s.subFolderName), u"Small");
    EXPECT_EQ(s.keepTransparency, 1);
    EXPECT_EQ(o.files, args({u"a.png", u"--odd-name.bmp"}));
}

TEST(CommandLine, RefusesBadUsage) {
    const std::vector<std::vector<std::u16string>> bad = {
        args({u"a.png"}),                                   // no format
        args({u"--format", u"png"}),                        // no files
        args({u"--format", u"tiff", u"a.png"}),             // not an output format
        args({u"--format", u"png", u"--bogus", u"a.png"}),  // unknown option
        args({u"--format", u"jpeg", u"--quality", u"101", u"a.png"}),
        args({u"--format", u"jpeg", u"--quality", u"7x", u"a.png"}),
        args({u"--format", u"png", u"--resize", u"wide:5", u"a.png"}),
        args({u"--format", u"png", u"--resize", u"width:", u"a.png"}),
        args({u"--format", u"png", u"--sub-folder", u"0123456789012345678901234567890123",
              u"a.png"}),
        args({u"--format"}),
    };
    for (const auto& a : bad) {
        CliOptions o;
        std::string error;
        EXPECT_FALSE(parseCliOptions(a, o, error)) << toUtf8(a.back());
        EXPECT_FALSE(error.empty());
    }
}

// Start modes are stored in settings files, so 1-5 must keep meaning the
// five convert buttons, whatever entries the tables gain.
TEST(FormatTable, StartModesAndButtonsNameTheFiveFormats) {
    const struct {
        int mode;
        uint32_t button;
        OutputFormat format;
    } expected[] = {
        {1, IDS_CONVERT_BMP, OutputFormat::Bmp},   {2, IDS_CONVERT_PNG, OutputFormat::Png},
        {3, IDS_CONVERT_JPEG, OutputFormat::Jpeg}, {4, IDS_CONVERT_GIF, OutputFormat::Gif},
        {5, IDS_CONVERT_JPEG_COPY, OutputFormat::JpegCopy},
    };
    for (FormatTable table : {nativeFormats(), everyFormat()}) {
        for (const auto& e : expected) {
            const FormatEntry* byMode = formatOfStartMode(table, e.mode);
            const FormatEntry* byButton = formatOfButton(table, e.button);
            ASSERT_TRUE(byMode && byButton) << e.mode;
            EXPECT_EQ(byMode->output, e.format) << e.mode;
            EXPECT_EQ(byButton, byMode) << e.mode;
        }
        for (int mode : {-1, 0, 6, 7}) EXPECT_EQ(formatOfStartMode(table, mode), nullptr) << mode;
        EXPECT_EQ(formatOfButton(table, 0), nullptr);
    }
}

}  // namespace
