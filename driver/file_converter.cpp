#include "driver/file_converter.h"

#include <new>

#include "codecs/codec_status.h"
#include "codecs/metadata/source_metadata.h"
#include "codecs/source_bytes.h"
#include "core/format_detect.h"
#include "core/path_limits.h"
#include "driver/fallback_reader.h"
#include "driver/jpeg_size_hint.h"
#include "imaging/colour_profile.h"
#include "imaging/orientation.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace {

// The format that the first bytes of a source name.
ImageFormat formatOf(const SourceBytes& bytes) {
    const size_t head = bytes.size() < 8 ? bytes.size() : 8;
    return detectFormatOfBytes(bytes.data(), static_cast<uint32_t>(head));
}

}  // namespace

void registerTempFile(int cleanupSlot, const char16_t* path) {
    if (cleanupSlot == kSingleTempSlot)
        platform::setCleanupPath(platform::CleanupItem::TemporaryFile, path);
    else
        platform::setQueuedFileCleanupPath(static_cast<unsigned>(cleanupSlot), path);
}

std::unique_ptr<FileConverter> FileConverter::create(const Settings& settings, FormatTable formats,
                                                     FallbackReader* fallback) {
    std::unique_ptr<FileConverter> converter(new (std::nothrow)
                                                 FileConverter(settings, formats, fallback));
    if (!converter) return nullptr;
    converter->codecs_.reset(CodecContexts::create());
    if (!converter->codecs_) return nullptr;
    return converter;
}

FileConverter::FileConverter(const Settings& settings, FormatTable formats,
                             FallbackReader* fallback)
    : settings_(settings), formats_(formats), fallback_(fallback) {
    resetRecord(picture_.record);
}

FileConverter::~FileConverter() {
    releasePixelBuffer(picture_.record.pixels);
}

void FileConverter::convert(const char16_t* tempFolder, const char16_t* source,
                            const FormatEntry& format, uint32_t switches, int cleanupSlot,
                            FileConversion& out) {
    out.converted = false;
    out.tempFile.clear();
    out.failure = FileFailure::Unreadable;
    out.status = 0;
    out.notes = {};
    cleanupSlot_ = cleanupSlot;
    out.converted = format.rewritesSource
                        ? copyJpeg(tempFolder, source, out)
                        : decodeAndEncode(tempFolder, source, format, switches, out);
}

bool FileConverter::createTempFile(const char16_t* tempFolder, HeapString& tempFile) {
    char16_t name[kTempFolderCapacity] = {};
    {
        platform::InterruptDeferral deferral;
        if (!platform::createUniqueTempFile(tempFolder, u"tmp", name, kTempFolderCapacity))
            return false;
        registerTempFile(cleanupSlot_, name);
    }
    if (!tempFile.assign(name)) {
        platform::deleteFile(name);
        return false;
    }
    return true;
}

bool FileConverter::decodeAndEncode(const char16_t* tempFolder, const char16_t* source,
                                    const FormatEntry& format, uint32_t switches,
                                    FileConversion& out) {
    if (!load(source, out)) return false;
    bool ok = createTempFile(tempFolder, out.tempFile);
    if (!ok) out.failure = FileFailure::EncodeFailed;
    if (ok && settings_.resizeOn) {
        ok = codecs_->resize(picture_, settings_.resizeMode, settings_.resizeTarget);
        if (!ok) {
            out.failure = FileFailure::ResizeFailed;
            out.status = 0;
        }
    }
    if (ok) {
        PictureToWrite picture;
        picture.width = picture_.width;
        picture.height = picture_.height;
        picture.currentBitCount = picture_.currentBitCount;
        picture.loadedBitCount = picture_.loadedBitCount;
        picture.horizontalResolution = picture_.horizontalResolution;
        picture.verticalResolution = picture_.verticalResolution;
        picture.palette = picture_.record.palette;
        picture.pixels = picture_.record.pixels;
        picture.transparent = transparent_.present;
        picture.transparentRgb = &transparent_.red;
        const WriteResult written =
            codecs_->write(format, out.tempFile.c_str(), picture, {settings_, switches});
        ok = written.ok;
        if (!ok) {
            out.failure = FileFailure::EncodeFailed;
            out.status = written.status;
        } else if (written.aboveSizeLimit) {
            out.notes.aboveSizeLimit = true;
            out.notes.outputBytes = written.bytes;
            out.notes.sizeLimitKiB = static_cast<uint32_t>(settings_.jpegSizeLimitKiB);
        }
    }
    if (!ok && !out.tempFile.empty()) {
        platform::deleteFile(out.tempFile.c_str());
        out.tempFile.clear();
    }
    releasePixelBuffer(picture_.record.pixels);
    picture_.record.pixels = nullptr;
    return ok;
}

bool FileConverter::copyJpeg(const char16_t* tempFolder, const char16_t* source,
                             FileConversion& out) {
    if (!platform::pathExists(source)) return false;
    SourceBytes bytes;
    out.status = bytes.load(source);
    if (out.status != kStatusOk) return false;
    if (!createTempFile(tempFolder, out.tempFile)) {
        out.failure = FileFailure::EncodeFailed;
        out.status = 0;
        return false;
    }
    // The colour profile and the orientation go along: the copy looks like the source.
    const SourceMetadata metadata = scanSourceMetadata(bytes.data(), bytes.size());
    const ReadResult copied = codecs_->copyJpeg(bytes, metadata, out.tempFile.c_str());
    if (!copied.ok) {
        out.failure =
            formatOf(bytes) == kFormatJpeg ? FileFailure::EncodeFailed : FileFailure::NotJpeg;
        out.status = copied.status;
        platform::deleteFile(out.tempFile.c_str());
        out.tempFile.clear();
        return false;
    }
    out.notes.damaged = copied.damaged;
    return true;
}

bool FileConverter::showAsViewersDo(ImageRecord& record, const SourceMetadata& metadata,
                                    const imaging::ColourTransform& colour, bool tookCmykProfile,
                                    FileConversion& out) {
    // Upright. HEIF and AVIF come upright from their decoder (their own
    // rotation boxes); the scan gives them, like PNG, orientation 1.
    if (!orientRecord(record, metadata.orientation)) {
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
        out.status = kStatusNoMemory;
        return false;
    }
    // In sRGB, as colour-managed viewers show it. A CMYK JPEG's profile was
    // taken while its inks were decoded.
    if (metadata.iccSize > 0 && !tookCmykProfile)
        out.notes.ignoredProfile = colour.convertRecord(record) == imaging::ProfileOutcome::ignored;
    return true;
}

bool FileConverter::load(const char16_t* source, FileConversion& out) {
    if (!platform::pathExists(source)) return false;
    transparent_.present = false;
    // Read once, whole: every reader then parses bytes that nothing can
    // change or take away underneath it.
    SourceBytes bytes;
    out.status = bytes.load(source);
    if (out.status != kStatusOk) return false;
    // Read before any reader runs: the JPEG reader shrinks by the upright
    // size, and gives back the source pages it has consumed.
    const SourceMetadata metadata = scanSourceMetadata(bytes.data(), bytes.size());
    // An embedded colour profile, checked and opened once per picture.
    const imaging::ColourTransform colour =
        imaging::ColourTransform::fromIcc(metadata.iccProfile, metadata.iccSize);
    const bool cmyk = colour.usable() && colour.space() == imaging::IccSpace::cmyk;
    ReadRequest request;
    request.hint = jpegSizeHintFor(settings_.resizeOn, settings_.resizeMode, settings_.resizeTarget,
                                   metadata.swapsSides());
    request.keepTransparency = settings_.keepTransparency != 0;
    request.cmykProfile = cmyk ? &colour : nullptr;
    ImageRecord& record = picture_.record;
    const ReadResult read =
        codecs_->read(readerFor(formats_, formatOf(bytes)), bytes, record, request);
    bool ok = read.ok;
    out.status = read.status;
    out.notes.damaged = read.damaged;
    if (ok) transparent_ = read.transparent;
    // Unrecognised or refused by its reader: the fallback gets it.
    if (!ok && fallback_) {
        const ReadResult fallback = fallback_->read(source, bytes, record);
        ok = fallback.ok;
        out.notes.damaged = ok && fallback.damaged;
        if (!ok && fallback.status != 0) out.status = fallback.status;
        // A plug-in reads the file again by its path; a file that changed
        // since it was read here could give a picture of neither version.
        if (ok && !bytes.unchangedOnDisk(source)) {
            releasePixelBuffer(record.pixels);
            record.pixels = nullptr;
            out.status = kStatusSourceChanged;
            return false;
        }
    }
    if (!ok || !showAsViewersDo(record, metadata, colour, read.ok && read.tookCmykProfile, out))
        return false;
    picture_.width = record.header.biWidth;
    picture_.height = record.header.biHeight;
    picture_.currentBitCount = record.header.biBitCount;
    picture_.loadedBitCount = record.header.biBitCount;
    picture_.horizontalResolution = record.header.biXPelsPerMeter;
    picture_.verticalResolution = record.header.biYPelsPerMeter;
    return true;
}
