// The batch driver: turns a list of sources and one output format into
// output files. Each source is decoded into the working picture, optionally
// shrunk and sharpened, encoded into a temporary file, and copied under a
// collision-free name into the output folder.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/heap_string.h"
#include "core/settings.h"

struct ConvertJob {
    const HeapString* sources = nullptr;
    uint32_t count = 0;
    OutputFormat format = OutputFormat::Bmp;
    // Options given as switches for this batch only (FormatOption bits of
    // driver/format_table.h: kOptionLossless).
    uint32_t switches = 0;
};

// Batch-level errors; their texts are strings 30001-30004 of the language library.
enum BatchError : uint32_t {
    kErrorNoMemory = 30001,
    kErrorNothingProduced = 30002,
    kErrorNoSourceFolder = 30003,
    kErrorSubFolder = 30004,
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
    // A batch-level error; for kErrorSubFolder the operating system's reason
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

class FallbackReader;
class FileConverter;
struct FormatEntry;
struct FileConversion;

class BatchDriver {
  public:
    BatchDriver(Settings& settings, BatchHooks& hooks);
    ~BatchDriver();
    BatchDriver(const BatchDriver&) = delete;
    BatchDriver& operator=(const BatchDriver&) = delete;

    // A reader for files no native reader decodes (the image plug-in host on
    // Windows); the caller keeps it alive while batches run. Null: none.
    void setFallbackReader(FallbackReader* reader) { fallback_ = reader; }

    // Files converted at once (1, the default: one after another on the
    // calling thread). With more, workers decode and encode while this
    // thread delivers in source order, so names, bytes and the hooks' calls
    // stay those of one after another.
    void setJobs(uint32_t jobs) { jobs_ = jobs > 0 ? jobs : 1; }

    // A flag another thread may set to end the batch early (null: none).
    // Once it is set no further source starts; the sources already started
    // finish and are delivered in order, every temporary file is removed,
    // and the batch ends as if its list had stopped there (nothing produced
    // still reports kErrorNothingProduced). The caller keeps the flag alive.
    void setCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

    // Runs one batch; true when at least one output file was produced.
    bool executeJob(const ConvertJob& job);

    uint32_t producedCount() const { return produced_; }
    // The operating system's code behind the last batch-level error (0: none).
    uint32_t batchSystemError() const { return batchSystemError_; }

  private:
    // Where and how the files of one batch are converted and delivered.
    struct Batch {
        const ConvertJob& job;
        const FormatEntry& format;
        const char16_t* tempFolder;
        const char16_t* outputFolder;
        const char16_t* extension;
    };
    // Converts every source on the calling thread.
    void convertInSequence(const Batch& batch, FileConverter& converter);
    // Converts with several workers (parallel_batch.cpp); false, with
    // nothing done, when fewer than two workers can be had.
    bool convertInParallel(const Batch& batch);
    // Reports a converted file's failure or notes and delivers its temporary
    // file, which is removed and forgotten by the clean-up slot afterwards:
    // the one path every converted file takes, in source order.
    void finishFile(const Batch& batch, const char16_t* source, FileConversion& file,
                    int cleanupSlot);
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    bool deliver(const char16_t* tempFile, const char16_t* source, const char16_t* outputFolder,
                 const char16_t* extension);

    Settings& settings_;
    BatchHooks& hooks_;
    FallbackReader* fallback_ = nullptr;
    uint32_t produced_ = 0;
    uint32_t batchSystemError_ = 0;
    uint32_t jobs_ = 1;
    const std::atomic<bool>* cancel_ = nullptr;
};
