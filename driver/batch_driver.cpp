#include "driver/batch_driver.h"

#include <new>
#include <optional>

#include "codecs/codec_status.h"
#include "codecs/metadata/source_metadata.h"
#include "codecs/source_bytes.h"
#include "core/format_detect.h"
#include "core/path_limits.h"
#include "driver/fallback_reader.h"
#include "driver/format_dispatch.h"
#include "driver/jpeg_size_hint.h"
#include "driver/output_names.h"
#include "imaging/orientation.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace {
// Each lost race means another program took a name; the names run out long
// before this.
constexpr int kRenameAttempts = 10000;

// The format that the first bytes of a source name.
ImageFormat formatOf(const SourceBytes& bytes) {
    const size_t head = bytes.size() < 8 ? bytes.size() : 8;
    return detectFormatOfBytes(bytes.data(), static_cast<uint32_t>(head));
}

}  // namespace

const char16_t* extensionFor(OutputFormat format) {
    switch (format) {
        case OutputFormat::Png:
            return u".png";
        case OutputFormat::Jpeg:
            return u".jpg";
        case OutputFormat::Gif:
            return u".gif";
        case OutputFormat::JpegCopy:
            return u".jpg";
        case OutputFormat::Bmp:
            break;
    }
    return u".bmp";
}

BatchDriver::BatchDriver(Settings& settings, BatchHooks& hooks)
    : settings_(settings), hooks_(hooks) {
    resetRecord(picture_.record);
}

BatchDriver::~BatchDriver() {
    releasePixelBuffer(picture_.record.pixels);
    delete codecs_;
}

bool BatchDriver::executeJob(const ConvertJob& job) {
    produced_ = 0;
    batchSystemError_ = 0;
    hooks_.takeSettings(settings_);
    // A configured folder that has gone away falls back to the source folder.
    if (!settings_.outputFolder.empty() && !platform::isDirectory(settings_.outputFolder.c_str()))
        settings_.outputFolder.clear();

    const OutputFormat format = outputFormatFromCode(static_cast<uint32_t>(job.format));
    const char16_t* extension = extensionFor(format);

    HeapString outputFolder;
    if (!settings_.outputFolder.empty()) {
        outputFolder = settings_.outputFolder;
    } else {
        const char16_t* first = job.count > 0 ? job.sources[0].c_str() : u"";
        folderOf(first, outputFolder);
        if (!platform::isDirectory(outputFolder.c_str())) {
            hooks_.showBatchError(kErrorNoSourceFolder);
            return false;
        }
    }

    // No interrupt may fall between making the sub-folder and registering it.
    auto folderDeferral = std::make_optional<platform::InterruptDeferral>();
    bool createdSubFolder = false;
    if (settings_.subFolderOn && !settings_.subFolderName.empty()) {
        if (!outputFolder.appendPath(settings_.subFolderName.c_str())) {
            hooks_.showBatchError(kErrorNoMemory);
            return false;
        }
        if (!platform::isDirectory(outputFolder.c_str())) {
            if (!platform::createDirectory(outputFolder.c_str())) {
                batchSystemError_ = platform::lastSystemError();
                hooks_.showBatchError(kErrorSubFolder);
                return false;
            }
            platform::notifyChange(platform::ChangeKind::FolderCreated, outputFolder.c_str());
            createdSubFolder = true;
        }
    }
    // An interrupt removes the sub-folder again while it is still empty.
    platform::ScopedCleanupPath newFolder(platform::CleanupItem::CreatedFolder,
                                          createdSubFolder ? outputFolder.c_str() : nullptr);
    folderDeferral.reset();

    codecs_ = CodecContexts::create();
    if (!codecs_) {
        hooks_.showBatchError(kErrorNoMemory);
        return false;
    }

    char16_t tempFolder[kTempFolderCapacity] = {};
    if (platform::tempFolder(tempFolder, kTempFolderCapacity) == 0) tempFolder[0] = 0;

    const bool parallel =
        jobs_ > 1 && job.count > 1 &&
        convertInParallel(job, format, tempFolder, outputFolder.c_str(), extension);
    for (uint32_t i = 0; !parallel && i < job.count && !cancelled(); ++i) {
        const char16_t* source = job.sources[i].c_str();
        HeapString tempFile;
        lastFailure_ = FileFailure::Unreadable;
        lastStatus_ = 0;
        notes_ = {};
        if (!convertOne(tempFolder, source, format, tempFile)) {
            platform::setCleanupPath(platform::CleanupItem::TemporaryFile, nullptr);
            hooks_.fileFailed(source, lastFailure_, lastStatus_);
            continue;
        }
        if (notes_.any()) hooks_.fileNotes(source, notes_);
        deliver(tempFile.c_str(), source, outputFolder.c_str(), extension);
        platform::deleteFile(tempFile.c_str());
        platform::setCleanupPath(platform::CleanupItem::TemporaryFile, nullptr);
    }

    delete codecs_;
    codecs_ = nullptr;
    // The pages kept for the next picture are not wanted after the batch.
    platform::releaseCachedPages();

    if (produced_ > 0) {
        platform::notifyChange(platform::ChangeKind::FolderUpdated, outputFolder.c_str());
        return true;
    }
    if (createdSubFolder && platform::removeDirectory(outputFolder.c_str()))
        platform::notifyChange(platform::ChangeKind::FolderRemoved, outputFolder.c_str());
    hooks_.showBatchError(kErrorNothingProduced);
    return false;
}

bool BatchDriver::deliver(const char16_t* tempFile, const char16_t* source,
                          const char16_t* outputFolder, const char16_t* extension) {
    HeapString wanted;
    if (!outputPathFor(outputFolder, source, extension, wanted)) {
        hooks_.fileFailed(source, FileFailure::NoFreeName, 0);
        return false;
    }
    // The bytes go to a hidden name in the output folder and reach the disk
    // there; only a complete file ever takes a final name.
    char16_t hidden[kTempFolderCapacity + 32] = {};
    platform::File target;
    auto deferral = std::make_optional<platform::InterruptDeferral>();
    if (!platform::createHiddenFile(outputFolder, target, hidden, kTempFolderCapacity + 32)) {
        hooks_.fileFailed(source, FileFailure::CopyFailed, 0, platform::lastSystemError());
        return false;
    }
    platform::ScopedCleanupPath pending(platform::CleanupItem::DeliveryFile, hidden,
                                        target.handle());
    deferral.reset();
    const bool copied = platform::copyAndCommit(tempFile, target);
    uint32_t systemError = copied ? 0 : platform::lastSystemError();
    platform::setCleanupPath(platform::CleanupItem::DeliveryFile, hidden);  // handle now closed
    // The rename never replaces: a name another program took since it was
    // found free sends the search back to the source's own name.
    for (int attempt = 0; copied && attempt < kRenameAttempts; ++attempt) {
        HeapString output(wanted);
        if (!makeUniqueOutputName(output, extension)) {
            platform::deleteFile(hidden);
            hooks_.fileFailed(source, FileFailure::NoFreeName, 0);
            return false;
        }
        const platform::RenameOutcome outcome = platform::renameNoReplace(hidden, output.c_str());
        if (outcome == platform::RenameOutcome::Renamed) {
            ++produced_;
            hooks_.fileConverted(source, output.c_str());
            return true;
        }
        if (outcome == platform::RenameOutcome::Failed) {
            systemError = platform::lastSystemError();
            break;
        }
    }
    platform::deleteFile(hidden);
    hooks_.fileFailed(source, FileFailure::CopyFailed, 0, systemError);
    return false;
}

bool BatchDriver::convertOne(const char16_t* tempFolder, const char16_t* source,
                             OutputFormat format, HeapString& tempFile) {
    if (format == OutputFormat::JpegCopy) return copyJpeg(tempFolder, source, tempFile);
    return decodeAndEncode(tempFolder, source, format, tempFile);
}

bool BatchDriver::createTempFile(const char16_t* tempFolder, HeapString& tempFile) {
    char16_t name[kTempFolderCapacity] = {};
    {
        platform::InterruptDeferral deferral;
        if (!platform::createUniqueTempFile(tempFolder, u"tmp", name, kTempFolderCapacity))
            return false;
        registerTempFile(name);
    }
    if (!tempFile.assign(name)) {
        platform::deleteFile(name);
        return false;
    }
    return true;
}

void BatchDriver::registerTempFile(const char16_t* path) {
    if (queuedSlot_ < 0)
        platform::setCleanupPath(platform::CleanupItem::TemporaryFile, path);
    else
        platform::setQueuedFileCleanupPath(static_cast<unsigned>(queuedSlot_), path);
}

bool BatchDriver::decodeAndEncode(const char16_t* tempFolder, const char16_t* source,
                                  OutputFormat format, HeapString& tempFile) {
    if (!load(source)) return false;
    bool ok = createTempFile(tempFolder, tempFile);
    if (!ok) lastFailure_ = FileFailure::EncodeFailed;
    if (ok && settings_.resizeOn) {
        ok = codecs_->resize(picture_, settings_.resizeMode, settings_.resizeTarget);
        if (!ok) {
            lastFailure_ = FileFailure::ResizeFailed;
            lastStatus_ = 0;
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
        ok = codecs_->write(format, tempFile.c_str(), picture, settings_);
        if (!ok) {
            lastFailure_ = FileFailure::EncodeFailed;
            lastStatus_ = codecs_->lastStatus();
        } else if (codecs_->lastWriteAboveLimit()) {
            notes_.aboveSizeLimit = true;
            notes_.outputBytes = codecs_->lastWrittenBytes();
            notes_.sizeLimitKiB = static_cast<uint32_t>(settings_.jpegSizeLimitKiB);
        }
    }
    if (!ok && !tempFile.empty()) {
        platform::deleteFile(tempFile.c_str());
        tempFile.clear();
    }
    releasePixelBuffer(picture_.record.pixels);
    picture_.record.pixels = nullptr;
    return ok;
}

bool BatchDriver::copyJpeg(const char16_t* tempFolder, const char16_t* source,
                           HeapString& tempFile) {
    if (!platform::pathExists(source)) return false;
    SourceBytes bytes;
    lastStatus_ = bytes.load(source);
    if (lastStatus_ != kStatusOk) return false;
    if (!createTempFile(tempFolder, tempFile)) {
        lastFailure_ = FileFailure::EncodeFailed;
        lastStatus_ = 0;
        return false;
    }
    // The colour profile and the orientation go along: the copy looks like the source.
    const SourceMetadata metadata = scanSourceMetadata(bytes.data(), bytes.size());
    if (!codecs_->copyJpeg(bytes, metadata, tempFile.c_str())) {
        lastFailure_ =
            formatOf(bytes) == kFormatJpeg ? FileFailure::EncodeFailed : FileFailure::NotJpeg;
        lastStatus_ = codecs_->lastStatus();
        platform::deleteFile(tempFile.c_str());
        tempFile.clear();
        return false;
    }
    notes_.damaged = codecs_->lastReadDamaged();
    return true;
}

bool BatchDriver::showAsViewersDo(ImageRecord& record, const SourceMetadata& metadata,
                                  const imaging::ColourTransform& colour) {
    // Upright. HEIF and AVIF come upright from their decoder (their own
    // rotation boxes); the scan gives them, like PNG, orientation 1.
    if (!orientRecord(record, metadata.orientation)) {
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
        lastStatus_ = kStatusNoMemory;
        return false;
    }
    // In sRGB, as colour-managed viewers show it. A CMYK JPEG's profile was
    // taken while its inks were decoded.
    if (metadata.iccSize > 0 && !codecs_->lastReadTookCmykProfile())
        notes_.ignoredProfile = colour.convertRecord(record) == imaging::ProfileOutcome::ignored;
    return true;
}

bool BatchDriver::load(const char16_t* source) {
    if (!platform::pathExists(source)) return false;
    transparent_.present = false;
    // Read once, whole: every reader then parses bytes that nothing can
    // change or take away underneath it.
    SourceBytes bytes;
    lastStatus_ = bytes.load(source);
    if (lastStatus_ != kStatusOk) return false;
    // Read before any reader runs: the JPEG reader shrinks by the upright
    // size, and gives back the source pages it has consumed.
    const SourceMetadata metadata = scanSourceMetadata(bytes.data(), bytes.size());
    const JpegSizeHint hint = jpegSizeHintFor(settings_.resizeOn, settings_.resizeMode,
                                              settings_.resizeTarget, metadata.swapsSides());
    // An embedded colour profile, checked and opened once per picture.
    const imaging::ColourTransform colour =
        imaging::ColourTransform::fromIcc(metadata.iccProfile, metadata.iccSize);
    const bool cmyk = colour.usable() && colour.space() == imaging::IccSpace::cmyk;
    ImageRecord& record = picture_.record;
    bool ok = codecs_->read(formatOf(bytes), bytes, record, hint, settings_.keepTransparency != 0,
                            transparent_, cmyk ? &colour : nullptr);
    lastStatus_ = codecs_->lastStatus();
    notes_.damaged = ok && codecs_->lastReadDamaged();
    // Unrecognised or refused by its reader: the fallback gets it.
    if (!ok && fallback_) {
        FallbackReport report;
        ok = fallback_->read(source, bytes, record, report);
        notes_.damaged = ok && report.damaged;
        if (!ok && report.status != 0) lastStatus_ = report.status;
        // A plug-in reads the file again by its path; a file that changed
        // since it was read here could give a picture of neither version.
        if (ok && !bytes.unchangedOnDisk(source)) {
            releasePixelBuffer(record.pixels);
            record.pixels = nullptr;
            lastStatus_ = kStatusSourceChanged;
            return false;
        }
    }
    if (!ok || !showAsViewersDo(record, metadata, colour)) return false;
    picture_.width = record.header.biWidth;
    picture_.height = record.header.biHeight;
    picture_.currentBitCount = record.header.biBitCount;
    picture_.loadedBitCount = record.header.biBitCount;
    picture_.horizontalResolution = record.header.biXPelsPerMeter;
    picture_.verticalResolution = record.header.biYPelsPerMeter;
    return true;
}
