#include "driver/batch_driver.h"

#include <optional>

#include "core/path_limits.h"
#include "driver/file_converter.h"
#include "driver/format_table.h"
#include "driver/output_names.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"

namespace {
// Each lost race means another program took a name; the names run out long
// before this.
constexpr int kRenameAttempts = 10000;
}  // namespace

BatchDriver::BatchDriver(Settings& settings, BatchHooks& hooks, FormatTable formats)
    : settings_(settings), hooks_(hooks), formats_(formats) {}

bool BatchDriver::executeJob(const ConvertJob& job) {
    produced_ = 0;
    batchSystemError_ = 0;
    hooks_.takeSettings(settings_);
    // A configured folder that has gone away falls back to the source folder.
    if (!settings_.outputFolder.empty() && !platform::isDirectory(settings_.outputFolder.c_str()))
        settings_.outputFolder.clear();

    const FormatEntry& format = outputFormatEntry(formats_, job.format);

    HeapString outputFolder;
    if (!settings_.outputFolder.empty()) {
        outputFolder = settings_.outputFolder;
    } else {
        const char16_t* first = job.count > 0 ? job.sources[0].c_str() : u"";
        folderOf(first, outputFolder);
        if (!platform::isDirectory(outputFolder.c_str())) {
            hooks_.showBatchError(BatchError::NoSourceFolder);
            return false;
        }
    }

    // No interrupt may fall between making the sub-folder and registering it.
    auto folderDeferral = std::make_optional<platform::InterruptDeferral>();
    bool createdSubFolder = false;
    if (settings_.subFolderOn && !settings_.subFolderName.empty()) {
        if (!outputFolder.appendPath(settings_.subFolderName.c_str())) {
            hooks_.showBatchError(BatchError::NoMemory);
            return false;
        }
        if (!platform::isDirectory(outputFolder.c_str())) {
            if (!platform::createDirectory(outputFolder.c_str())) {
                batchSystemError_ = platform::lastSystemError();
                hooks_.showBatchError(BatchError::SubFolder);
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

    // The one-thread converter first: a batch that cannot have it cannot start.
    std::unique_ptr<FileConverter> converter =
        FileConverter::create(settings_, formats_, fallback_);
    if (!converter) {
        hooks_.showBatchError(BatchError::NoMemory);
        return false;
    }

    char16_t tempFolder[kTempFolderCapacity] = {};
    if (platform::tempFolder(tempFolder, kTempFolderCapacity) == 0) tempFolder[0] = 0;

    outputFolder_ = outputFolder.c_str();
    extension_ = format.extension;
    const BatchFiles files{formats_,     job.sources, job.count, format,
                           job.switches, tempFolder,  cancel_};
    const bool parallel =
        jobs_ > 1 && job.count > 1 && convertInParallel(files, jobs_, settings_, fallback_, *this);
    if (!parallel) convertInSequence(files, *converter, *this);
    converter.reset();
    // The pages kept for the next picture are not wanted after the batch.
    platform::releaseCachedPages();

    if (produced_ > 0) {
        platform::notifyChange(platform::ChangeKind::FolderUpdated, outputFolder.c_str());
        return true;
    }
    if (createdSubFolder && platform::removeDirectory(outputFolder.c_str()))
        platform::notifyChange(platform::ChangeKind::FolderRemoved, outputFolder.c_str());
    hooks_.showBatchError(BatchError::NothingProduced);
    return false;
}

void BatchDriver::finish(const char16_t* source, FileConversion& file, int cleanupSlot) {
    if (!file.converted) {
        registerTempFile(cleanupSlot, nullptr);
        hooks_.fileFailed(source, file.failure, file.status);
        return;
    }
    if (file.notes.any()) hooks_.fileNotes(source, file.notes);
    deliver(file.tempFile.c_str(), source, outputFolder_, extension_);
    platform::deleteFile(file.tempFile.c_str());
    registerTempFile(cleanupSlot, nullptr);
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
