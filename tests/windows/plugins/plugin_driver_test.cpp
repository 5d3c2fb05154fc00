// The plug-in host behind the real batch driver: pictures decoded by a
// plug-in convert to the same bytes as the same pictures read natively, a
// faulting plug-in costs one file and the batch goes on, and plug-in folders
// without plug-ins change nothing for native formats.
#include <gtest/gtest.h>

// GCC 12 warns wrongly about std::string concatenations (its bug 105329).
#pragma GCC diagnostic ignored "-Wrestrict"

#include <cstdlib>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/codec_status.h"
#include "driver/batch_driver.h"
#include "plugin_test_support.h"

namespace {

class CollectingHooks final : public BatchHooks {
  public:
    void showBatchError(BatchError error) override { errors.push_back(error); }
    void fileConverted(const char16_t* source, const char16_t* output) override {
        outputs.push_back(fs::path(std::u16string(output)));
    }
    void fileFailed(const char16_t* source, FileFailure, uint32_t status, uint32_t) override {
        failed.push_back(fs::path(std::u16string(source)).filename().string());
        statuses.push_back(status);
    }
    void fileNotes(const char16_t* source, const ConversionNotes& notes) override {
        if (notes.damaged) damaged.push_back(fs::path(std::u16string(source)).filename().string());
    }
    std::vector<uint32_t> statuses;
    std::vector<std::string> damaged;
    std::vector<BatchError> errors;
    std::vector<fs::path> outputs;
    std::vector<std::string> failed;
};

fs::path fixture(const char* name) {
    const char* data = std::getenv("MORAVEL_TEST_DATA");
    return fs::path(data ? data : "tests/data") / "bmp" / name;
}

// The picture a native read of `bmp` gives, stored as MRAW at `bitCount`.
MrawPicture mrawFromNativeRead(const fs::path& bmp, uint16_t bitCount) {
    BmpReader reader;
    RecordGuard native;
    EXPECT_NE(reader.read(bmp.u16string().c_str(), &native.record), nullptr);
    const BitmapInfoHeader& h = native.record.header;
    MrawPicture picture;
    picture.width = static_cast<uint32_t>(h.biWidth);
    picture.height = static_cast<uint32_t>(h.biHeight);
    picture.bitCount = bitCount;
    picture.xPelsPerMeter = h.biXPelsPerMeter;
    picture.yPelsPerMeter = h.biYPelsPerMeter;
    if (bitCount <= 8)
        picture.palette.assign(native.record.palette, native.record.palette + (1u << bitCount));
    const uint32_t nativeStride = rowStride(h.biWidth, h.biBitCount);
    const uint64_t stride = mrawStride(picture.width, bitCount);
    picture.rows.assign(stride * picture.height, 0);
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* src = native.record.pixels + y * nativeStride;
        uint8_t* dst = picture.rows.data() + y * stride;
        for (uint32_t x = 0; x < picture.width; ++x) {
            if (bitCount == 1)
                dst[x / 8] |= (src[x] & 1) << (7 - x % 8);
            else if (bitCount == 4)
                dst[x / 2] |= (src[x] & 15) << (x % 2 ? 0 : 4);
        }
        if (bitCount >= 8) std::memcpy(dst, src, nativeStride);
    }
    return picture;
}

struct Batch {
    Settings settings;
    CollectingHooks hooks;
    PluginHost host{settings.pluginFolder, settings.disabledPlugins};
    BatchDriver driver{settings, hooks};

    Batch(const fs::path& pluginFolder, const fs::path& outputFolder, bool withHost = true) {
        settings.pluginFolder.assign(pluginFolder.u16string().c_str());
        settings.outputFolder.assign(outputFolder.u16string().c_str());
        if (withHost) driver.setFallbackReader(&host);
    }
    bool run(const std::vector<fs::path>& files, OutputFormat format) {
        std::vector<HeapString> sources;
        for (const fs::path& f : files) sources.emplace_back(f.u16string().c_str());
        ConvertJob job;
        job.sources = sources.data();
        job.count = static_cast<uint32_t>(sources.size());
        job.format = format;
        return driver.executeJob(job);
    }
};

const char* extensionOf(OutputFormat format) {
    switch (format) {
        case OutputFormat::Png:
            return ".png";
        case OutputFormat::Jpeg:
            return ".jpg";
        case OutputFormat::Gif:
            return ".gif";
        default:
            return ".bmp";
    }
}

}  // namespace

TEST(PluginDriver, PluginPicturesConvertToTheSameBytesAsNativeReads) {
    struct Source {
        const char* bmp;
        uint16_t bitCount;
    };
    const Source sources[] = {
        {"rgb24.bmp", 24}, {"pal8.bmp", 8}, {"gray8.bmp", 8}, {"pal4.bmp", 4}, {"bw1.bmp", 1}};
    const fs::path folder = freshFolder("driver_same_bytes");
    const fs::path plugins = folder / "plugins";
    fs::create_directories(plugins);
    installPlugin(plugins, "tp_good", u"mraw.spi");

    std::vector<fs::path> files;
    for (const Source& s : sources) {
        const std::string stem = fs::path(s.bmp).stem().string();
        fs::copy_file(fixture(s.bmp), folder / ("native_" + stem + ".bmp"));
        writeBytes(folder / ("plugin_" + stem + ".mraw"),
                   encodeMraw(mrawFromNativeRead(fixture(s.bmp), s.bitCount)));
        files.push_back(folder / ("native_" + stem + ".bmp"));
        files.push_back(folder / ("plugin_" + stem + ".mraw"));
    }

    for (bool resize : {false, true}) {
        for (OutputFormat format :
             {OutputFormat::Bmp, OutputFormat::Png, OutputFormat::Jpeg, OutputFormat::Gif}) {
            SCOPED_TRACE(testing::Message() << extensionOf(format) << (resize ? " resized" : ""));
            std::string outName = std::string("out") + extensionOf(format);
            if (resize) outName += "_resized";
            const fs::path out = folder / outName;
            fs::create_directories(out);
            Batch batch(plugins, out);
            batch.settings.resizeOn = resize;
            batch.settings.resizeMode = kResizeByLongerSide;
            batch.settings.resizeTarget = 9;
            ASSERT_TRUE(batch.run(files, format));
            EXPECT_EQ(batch.hooks.outputs.size(), files.size());
            EXPECT_TRUE(batch.hooks.failed.empty());
            for (const Source& s : sources) {
                const std::string stem = fs::path(s.bmp).stem().string();
                const auto native = readBytes(out / ("native_" + stem + extensionOf(format)));
                const auto plugin = readBytes(out / ("plugin_" + stem + extensionOf(format)));
                EXPECT_FALSE(native.empty()) << stem;
                EXPECT_TRUE(native == plugin) << stem;
            }
        }
    }
}

TEST(PluginDriver, AFaultingPluginCostsOneFileAndTheBatchGoesOn) {
    const fs::path folder = freshFolder("driver_faults");
    const fs::path plugins = folder / "plugins";
    fs::create_directories(plugins);
    installPlugin(plugins, "tp_fault_picture", u"faulty.spi");
    const fs::path out = folder / "out";
    fs::create_directories(out);

    std::vector<fs::path> files;
    const uint8_t faults[] = {kAccessViolation, kNoFault,       kDivideByZero, kNoFault,
                              kRaisedException, kStackOverflow, kStackOverflow};
    for (size_t i = 0; i < std::size(faults); ++i) {
        MrawPicture picture = patternPicture(5, 4, 24);
        picture.fault = faults[i];
        files.push_back(folder / ("f" + std::to_string(i) + ".mraw"));
        writeBytes(files.back(), encodeMraw(picture));
    }
    fs::copy_file(fixture("rgb24.bmp"), folder / "native.bmp");
    files.push_back(folder / "native.bmp");

    Batch batch(plugins, out);
    ASSERT_TRUE(batch.run(files, OutputFormat::Png));
    EXPECT_EQ(batch.hooks.failed,
              (std::vector<std::string>{"f0.mraw", "f2.mraw", "f4.mraw", "f5.mraw", "f6.mraw"}));
    EXPECT_EQ(batch.hooks.statuses, std::vector<uint32_t>(5, kStatusPluginFailed));
    EXPECT_EQ(batch.hooks.outputs.size(), 3u);
    EXPECT_TRUE(fs::exists(out / "f1.png"));
    EXPECT_TRUE(fs::exists(out / "f3.png"));
    EXPECT_TRUE(fs::exists(out / "native.png"));
    EXPECT_TRUE(batch.hooks.errors.empty());

    // Faults while probing: the next plug-in decodes the file.
    installPlugin(plugins, "tp_fault_probe", u"faulty.spi");
    installPlugin(plugins, "tp_good", u"good.sph");
    Batch probing(plugins, out);
    ASSERT_TRUE(probing.run({files[0], files[2], files[4], files[5]}, OutputFormat::Bmp));
    EXPECT_EQ(probing.hooks.outputs.size(), 4u);

    // A file that changes while the plug-in reads it again by its path is
    // not passed off as the one read: it fails, and the next converts.
    MrawPicture changing = patternPicture(5, 4, 24);
    changing.fault = kChangesSource;
    writeBytes(folder / "changing.mraw", encodeMraw(changing));
    Batch changed(plugins, out);
    ASSERT_TRUE(changed.run({folder / "changing.mraw", files.back()}, OutputFormat::Bmp));
    EXPECT_EQ(changed.hooks.failed, std::vector<std::string>{"changing.mraw"});
    EXPECT_EQ(changed.hooks.statuses, std::vector<uint32_t>{kStatusSourceChanged});
    EXPECT_FALSE(fs::exists(out / "changing.bmp"));

    // A bits block short of its last row and a half: converted, and said to be damaged.
    MrawPicture cut = patternPicture(6, 4, 8);
    cut.missingBytes = 10;
    writeBytes(folder / "cut.mraw", encodeMraw(cut));
    Batch damaged(plugins, out);
    ASSERT_TRUE(damaged.run({folder / "cut.mraw", files[1]}, OutputFormat::Png));
    EXPECT_EQ(damaged.hooks.outputs.size(), 2u);
    EXPECT_EQ(damaged.hooks.damaged, std::vector<std::string>{"cut.mraw"});
}

TEST(PluginDriver, FoldersWithoutPluginsChangeNothingForNativeFormats) {
    const fs::path folder = freshFolder("driver_no_plugins");
    fs::copy_file(fixture("pal8.bmp"), folder / "native.bmp");
    writeBytes(folder / "picture.mraw", encodeMraw(patternPicture(4, 4, 24)));
    const fs::path junk = folder / "junk";
    fs::create_directories(junk);
    writeBytes(junk / "a.spi", {'M', 'Z'});
    writeBytes(junk / "b.sph", {});
    writeBytes(junk / "c.txt", {'c'});
    const fs::path empty = folder / "empty";
    fs::create_directories(empty);

    const fs::path referenceOut = folder / "reference";
    fs::create_directories(referenceOut);
    Batch reference(fs::path(), referenceOut, false);
    ASSERT_TRUE(reference.run({folder / "native.bmp"}, OutputFormat::Png));
    const auto expected = readBytes(referenceOut / "native.png");

    int round = 0;
    for (const fs::path& pluginFolder : {fs::path(), folder / "missing", empty, junk}) {
        SCOPED_TRACE(pluginFolder.string());
        const fs::path out = folder / ("out" + std::to_string(round++));
        fs::create_directories(out);
        Batch batch(pluginFolder, out);
        ASSERT_TRUE(batch.run({folder / "picture.mraw", folder / "native.bmp"}, OutputFormat::Png));
        EXPECT_EQ(batch.hooks.failed, std::vector<std::string>{"picture.mraw"});
        EXPECT_TRUE(readBytes(out / "native.png") == expected);
    }
}
