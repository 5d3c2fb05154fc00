#include "driver/native_formats.h"

#include "codecs/codec_status.h"
#include "driver/codec_set.h"

namespace native_codecs {

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

}  // namespace native_codecs

FormatTable nativeFormats() {
    return kNativeFormats;
}
