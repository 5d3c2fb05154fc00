// What the batch driver reports to a front end: batch-level errors, why a
// file failed, what a conversion noticed, and the hooks that receive them.
#pragma once

#include <cstdint>

#include "core/settings.h"

// Batch-level errors. Like FileFailure, codes only: each front end words them.
enum class BatchError {
    NoMemory,
    NothingProduced,
    NoSourceFolder,  // no output folder given and the first file's folder is gone
    SubFolder,       // the output sub-folder cannot be created
};

// Why one source produced no output. The driver reports codes only; each
// front end words them (moravel in English, the Windows program through its
// language library).
enum class FileFailure {
    Unreadable,  // missing, unrecognised, or refused by every reader
    ResizeFailed,
    EncodeFailed,
    NoFreeName,
    CopyFailed,
    NotJpeg,  // the lossless re-write needs a JPEG source
};

// What the conversion of one source noticed besides success: a front end
// may tell the user, the file was converted all the same.
struct ConversionNotes {
    // The source was damaged (a JPEG cut short, say): decoded as far as its
    // data goes, the missing parts filled.
    bool damaged = false;
    // Even the lowest JPEG quality stayed above the size limit; the file was
    // written at quality 1 all the same.
    bool aboveSizeLimit = false;
    uint64_t outputBytes = 0;   // size of that file, when aboveSizeLimit
    uint32_t sizeLimitKiB = 0;  // the limit it exceeds
    // The source's embedded colour profile could not be used (refused, or
    // not for this kind of picture): its colours were kept as decoded.
    bool ignoredProfile = false;
    bool any() const { return damaged || aboveSizeLimit || ignoredProfile; }
};

// What a front end supplies: the settings at batch start, the error boxes,
// and (optionally) a word about each file.
class BatchHooks {
  public:
    virtual ~BatchHooks() = default;
    // Brings the settings up to date with the front end's controls.
    virtual void takeSettings(Settings& settings) {}
    // A batch-level error; for BatchError::SubFolder the operating system's reason
    // is BatchDriver::batchSystemError() once executeJob has returned.
    virtual void showBatchError(BatchError error) = 0;
    // Called for a converted source before its output is delivered, only
    // when there is something to note.
    virtual void fileNotes(const char16_t* source, const ConversionNotes& notes) {}
    virtual void fileConverted(const char16_t* source, const char16_t* output) {}
    // codecStatus: the failing codec's CodecStatus (0 when none applies);
    // systemError: the operating system's code for a failed copy or folder
    // operation (platform::lastSystemError(), 0 when none applies).
    virtual void fileFailed(const char16_t* source, FileFailure failure, uint32_t codecStatus,
                            uint32_t systemError = 0) {}
};
