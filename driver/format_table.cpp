#include "driver/format_table.h"

#include "codecs/codec_status.h"
#include "driver/codec_set.h"
#include "formats/webp_encoder.h"
#include "lang/resource_ids.h"

namespace {

ReadResult readBmp(CodecSet& codecs, SourceBytes& source, ImageRecord& record, const ReadRequest&) {
    ReadResult result;
    result.ok = codecs.bmpReader.readCopy(source, &record) != nullptr;
    result.status = codecs.bmpReader.status();
    return result;
}

ReadResult readPng(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                   const ReadRequest& request) {
    PngReader& reader = codecs.pngReader;
    ReadResult result;
    // Transparency is composited onto the file's own background, or white.
    reader.setDefaultBackground(0xFF, 0xFF, 0xFF);
    result.ok = reader.readCopy(source, &record) != nullptr;
    result.status = reader.status();
    TransparentColor& colour = result.transparent;
    if (result.ok && request.keepTransparency)
        colour.present = reader.transparentColour(colour.red, colour.green, colour.blue);
    return result;
}

ReadResult readJpeg(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                    const ReadRequest& request) {
    JpegReader& reader = codecs.jpegReader;
    ReadResult result;
    reader.setSizeHint(request.hint.enabled, static_cast<uint32_t>(request.hint.width),
                       static_cast<uint32_t>(request.hint.height));
    reader.setCmykProfile(request.cmykProfile);
    result.ok = reader.readCopy(source, &record) != nullptr;
    reader.setCmykProfile(nullptr);
    result.status = reader.status();
    result.damaged = result.ok && reader.damaged();
    result.tookCmykProfile = result.ok && reader.cmykProfileApplied();
    return result;
}

ReadResult readTiff(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                    const ReadRequest&) {
    ReadResult result;
    result.ok = codecs.tiffReader.readCopy(source, &record) != nullptr;
    result.status = codecs.tiffReader.status();
    return result;
}

ReadResult readGif(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                   const ReadRequest& request) {
    GifReader& reader = codecs.gifReader;
    ReadResult result;
    reader.setFlattenTransparency(true);
    reader.setUseFileBackground(true);
    reader.setFallbackBackground(0xFF, 0xFF, 0xFF);
    result.ok = reader.readCopy(source, &record) != nullptr;
    result.status = reader.status();
    if (result.ok && request.keepTransparency && reader.declaresTransparency()) {
        const uint8_t* rgb = reader.transparentColor();
        result.transparent = {true, rgb[0], rgb[1], rgb[2]};
    }
    return result;
}

WriteResult finished(bool ok, uint32_t status) {
    WriteResult result;
    result.ok = ok;
    result.status = status;
    return result;
}

WriteResult writeBmp(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                     const WriteRequest&) {
    const bool ok = codecs.bmpWriter.write(path, picture);
    return finished(ok, codecs.bmpWriter.status());
}

WriteResult writePng(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                     const WriteRequest&) {
    const bool ok = codecs.pngWriter.write(path, picture);
    return finished(ok, codecs.pngWriter.status());
}

WriteResult writeJpeg(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                      const WriteRequest& request) {
    const Settings& settings = request.settings;
    JpegWriter& writer = codecs.jpegWriter;
    int32_t horizontal = 2, vertical = 2;
    jpegSamplingForSetting(settings.jpegSubsampling, horizontal, vertical);
    writer.reset();
    writer.setQuality(jpegQualityForSetting(settings.jpegQuality));
    writer.setSamplingFactors(horizontal, vertical);
    writer.setGreyscale(false);
    writer.setProgressive(false);
    const bool ok =
        settings.jpegSizeLimitOn
            ? writer.writeLimited(path, picture, static_cast<uint32_t>(settings.jpegSizeLimitKiB))
            : writer.write(path, picture);
    WriteResult result = finished(ok, writer.status());
    result.aboveSizeLimit = ok && writer.aboveLimit();
    result.bytes = writer.writtenBytes();
    return result;
}

WriteResult writeGif(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                     const WriteRequest&) {
    codecs.gifWriter.setInterlace(false);
    const bool ok = codecs.gifWriter.write(path, picture);
    return finished(ok, codecs.gifWriter.status());
}

uint32_t codecStatusOf(formats::WebpWriteStatus status) {
    switch (status) {
        case formats::WebpWriteStatus::Written:
            return kStatusOk;
        case formats::WebpWriteStatus::Unsupported:
            return kStatusReducerFailed;
        case formats::WebpWriteStatus::TooLarge:
            return kStatusTooLargeForFormat;
        case formats::WebpWriteStatus::NoMemory:
            return kStatusNoMemory;
        case formats::WebpWriteStatus::OutputFailed:
            break;
    }
    return kStatusOutputError;
}

WriteResult writeWebp(CodecSet&, const char16_t* path, const PictureToWrite& picture,
                      const WriteRequest& request) {
    formats::WebpOptions options;
    options.quality = jpegQualityForSetting(request.settings.jpegQuality);
    options.lossless = (request.switches & kOptionLossless) != 0;
    const formats::WebpWriteResult written = formats::writeWebp(path, picture, options);
    WriteResult result = finished(written.status == formats::WebpWriteStatus::Written,
                                  codecStatusOf(written.status));
    result.bytes = written.bytes;
    return result;
}

constexpr uint32_t kJpegOptions = kOptionQuality | kOptionSubsampling | kOptionSizeLimit;

// Native codecs first, then the libraries' codecs.
constexpr FormatEntry kFormats[] = {
    {"bmp", nullptr, nullptr, u".bmp", IDS_CONVERT_BMP, OutputFormat::Bmp, kFormatBmp, readBmp,
     writeBmp, false, 0},
    {"png", nullptr, nullptr, u".png", IDS_CONVERT_PNG, OutputFormat::Png, kFormatPng, readPng,
     writePng, false, kOptionKeepTransparency},
    {"jpeg", "jpg", "jpg is jpeg", u".jpg", IDS_CONVERT_JPEG, OutputFormat::Jpeg, kFormatJpeg,
     readJpeg, writeJpeg, false, kJpegOptions},
    {"gif", nullptr, nullptr, u".gif", IDS_CONVERT_GIF, OutputFormat::Gif, kFormatGif, readGif,
     writeGif, false, kOptionKeepTransparency},
    {nullptr, nullptr, nullptr, u".tif", 0, OutputFormat::Bmp, kFormatTiff, readTiff, nullptr,
     false, 0},
    {"jpegcopy", nullptr,
     "jpegcopy: lossless JPEG re-write without metadata, keeping the colour profile and the "
     "orientation",
     u".jpg", IDS_CONVERT_JPEG_COPY, OutputFormat::JpegCopy, kFormatUnknown, nullptr, nullptr, true,
     0},
    {"webp", nullptr, "webp: lossy unless --lossless", u".webp", 0, OutputFormat::Webp,
     kFormatUnknown, nullptr, writeWebp, false, kOptionQuality | kOptionLossless},
};

constexpr FormatSwitch kSwitches[] = {
    {"--lossless", kOptionLossless,
     "WebP: lossless instead of lossy; --quality then sets the effort spent on compression"},
};

bool sameName(const char* name, const char* wanted) {
    if (!name) return false;
    for (; *name && *wanted; ++name, ++wanted) {
        char c = *wanted;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (*name != c) return false;
    }
    return *name == 0 && *wanted == 0;
}

}  // namespace

std::span<const FormatEntry> formatTable() {
    return kFormats;
}

std::span<const FormatSwitch> formatSwitches() {
    return kSwitches;
}

const FormatEntry& outputFormatEntry(OutputFormat format) {
    for (const FormatEntry& entry : kFormats)
        if (entry.writes() && entry.output == format) return entry;
    return kFormats[0];
}

const FormatEntry* readerFor(ImageFormat format) {
    for (const FormatEntry& entry : kFormats)
        if (entry.read && entry.input == format) return &entry;
    return nullptr;
}

const FormatEntry* outputFormatNamed(const char* name) {
    for (const FormatEntry& entry : kFormats)
        if (entry.writes() && (sameName(entry.name, name) || sameName(entry.alias, name)))
            return &entry;
    return nullptr;
}
