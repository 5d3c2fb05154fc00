#include "driver/format_dispatch.h"

#include <new>

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "codecs/codec_status.h"
#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_writer.h"
#include "codecs/png/png_reader.h"
#include "codecs/png/png_writer.h"
#include "codecs/tiff/tiff_reader.h"
#include "driver/resize_step.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"

struct CodecContexts::Members {
    BmpReader bmpReader;
    BmpWriter bmpWriter;
    PngReader pngReader;
    PngWriter pngWriter;
    JpegReader jpegReader;
    JpegWriter jpegWriter;
    JpegCopy jpegCopy;
    TiffReader tiffReader;
    GifReader gifReader;
    GifWriter gifWriter;
    Resampler resampler;
    SharpenEngine sharpener;
};

CodecContexts* CodecContexts::create() {
    auto* contexts = new (std::nothrow) CodecContexts;
    if (!contexts) return nullptr;
    contexts->members_ = new (std::nothrow) Members;
    if (!contexts->members_) {
        delete contexts;
        return nullptr;
    }
    return contexts;
}

CodecContexts::~CodecContexts() {
    delete members_;
}

bool CodecContexts::read(ImageFormat format, SourceBytes& source, ImageRecord& record,
                         const JpegSizeHint& hint, bool keepTransparency,
                         TransparentColor& transparent,
                         const imaging::ColourTransform* cmykProfile) {
    Members& m = *members_;
    bool ok = false;
    lastStatus_ = 0;
    readDamaged_ = false;
    tookCmykProfile_ = false;
    switch (format) {
        case kFormatBmp:
            ok = m.bmpReader.readCopy(source, &record) != nullptr;
            lastStatus_ = m.bmpReader.status();
            break;
        case kFormatPng:
            // Transparency is composited onto the file's own background, or white.
            m.pngReader.setDefaultBackground(0xFF, 0xFF, 0xFF);
            ok = m.pngReader.readCopy(source, &record) != nullptr;
            lastStatus_ = m.pngReader.status();
            if (ok && keepTransparency)
                transparent.present = m.pngReader.transparentColour(
                    transparent.red, transparent.green, transparent.blue);
            break;
        case kFormatJpeg:
            m.jpegReader.setSizeHint(hint.enabled, static_cast<uint32_t>(hint.width),
                                     static_cast<uint32_t>(hint.height));
            m.jpegReader.setCmykProfile(cmykProfile);
            ok = m.jpegReader.readCopy(source, &record) != nullptr;
            m.jpegReader.setCmykProfile(nullptr);
            lastStatus_ = m.jpegReader.status();
            readDamaged_ = ok && m.jpegReader.damaged();
            tookCmykProfile_ = ok && m.jpegReader.cmykProfileApplied();
            break;
        case kFormatTiff:
            ok = m.tiffReader.readCopy(source, &record) != nullptr;
            lastStatus_ = m.tiffReader.status();
            break;
        case kFormatGif:
            m.gifReader.setFlattenTransparency(true);
            m.gifReader.setUseFileBackground(true);
            m.gifReader.setFallbackBackground(0xFF, 0xFF, 0xFF);
            ok = m.gifReader.readCopy(source, &record) != nullptr;
            lastStatus_ = m.gifReader.status();
            if (ok && keepTransparency && m.gifReader.declaresTransparency()) {
                const uint8_t* rgb = m.gifReader.transparentColor();
                transparent = {true, rgb[0], rgb[1], rgb[2]};
            }
            break;
        case kFormatUnknown:
        case kFormatOpenFailed:
            // No codec was used for an unrecognised file.
            lastStatus_ = format == kFormatOpenFailed ? uint32_t{kStatusInputError} : 0;
            break;
    }
    return ok;
}

bool CodecContexts::write(OutputFormat format, const char16_t* path, const PictureToWrite& picture,
                          const Settings& settings) {
    Members& m = *members_;
    bool ok = false;
    aboveLimit_ = false;
    writtenBytes_ = 0;
    switch (format) {
        case OutputFormat::Bmp:
            ok = m.bmpWriter.write(path, picture);
            lastStatus_ = m.bmpWriter.status();
            break;
        case OutputFormat::Png:
            ok = m.pngWriter.write(path, picture);
            lastStatus_ = m.pngWriter.status();
            break;
        case OutputFormat::Jpeg: {
            int32_t horizontal = 2, vertical = 2;
            jpegSamplingForSetting(settings.jpegSubsampling, horizontal, vertical);
            m.jpegWriter.reset();
            m.jpegWriter.setQuality(jpegQualityForSetting(settings.jpegQuality));
            m.jpegWriter.setSamplingFactors(horizontal, vertical);
            m.jpegWriter.setGreyscale(false);
            m.jpegWriter.setProgressive(false);
            ok = settings.jpegSizeLimitOn
                     ? m.jpegWriter.writeLimited(path, picture,
                                                 static_cast<uint32_t>(settings.jpegSizeLimitKiB))
                     : m.jpegWriter.write(path, picture);
            lastStatus_ = m.jpegWriter.status();
            aboveLimit_ = ok && m.jpegWriter.aboveLimit();
            writtenBytes_ = m.jpegWriter.writtenBytes();
            break;
        }
        case OutputFormat::Gif:
            m.gifWriter.setInterlace(false);
            ok = m.gifWriter.write(path, picture);
            lastStatus_ = m.gifWriter.status();
            break;
        case OutputFormat::JpegCopy:
            lastStatus_ = kStatusUnsupported;  // re-written by copyJpeg, never encoded
            break;
    }
    return ok;
}

bool CodecContexts::copyJpeg(SourceBytes& source, const SourceMetadata& metadata,
                             const char16_t* destination) {
    members_->jpegCopy.resetOptions();
    members_->jpegCopy.setOrientation(metadata.orientation);
    members_->jpegCopy.setIccProfile(metadata.iccProfile, metadata.iccSize);
    bool ok = members_->jpegCopy.transcode(source, destination);
    lastStatus_ = members_->jpegCopy.status();
    readDamaged_ = ok && members_->jpegCopy.damaged();
    return ok;
}

bool CodecContexts::resize(WorkingPicture& picture, int32_t mode, int32_t target) {
    return resizeWorkingPicture(picture, mode, target, members_->resampler, members_->sharpener);
}
