// The batch driver: turns a list of sources and one output format into
// output files. Each source is decoded into the working picture, optionally
// shrunk and sharpened, encoded into a temporary file, and copied under a
// collision-free name into the output folder.
#pragma once

#include <cstdint>

#include "core/heap_string.h"
#include "core/image_record.h"
#include "core/settings.h"

struct ConvertJob {
    const HeapString* sources = nullptr;
    uint32_t count = 0;
    OutputFormat format = OutputFormat::Bmp;
};

// Batch-level errors; their texts are strings 30001-30004 of the language library.
enum BatchError : uint32_t {
    kErrorNoMemory = 30001,
    kErrorNothingProduced = 30002,
    kErrorNoSourceFolder = 30003,
    kErrorSubFolder = 30004,
};

// Why one source produced no output.
enum class FileFailure {
    Unreadable,  // missing, unrecognised, or refused by every reader
    ResizeFailed,
    EncodeFailed,
    NoFreeName,
    CopyFailed,
    NotJpeg,  // the lossless re-write needs a JPEG source
};

const char* fileFailureText(FileFailure failure);

// What a front end supplies: the settings at batch start, the error boxes,
// and (optionally) a word about each file.
class BatchHooks {
  public:
    virtual ~BatchHooks() = default;
    // Brings the settings up to date with the front end's controls.
    virtual void takeSettings(Settings& settings) {}
    virtual void showBatchError(BatchError error) = 0;
    virtual void fileConverted(const char16_t* source, const char16_t* output) {}
    // codecStatus is the failing codec's status (0 when none applies).
    virtual void fileFailed(const char16_t* source, FileFailure failure, uint32_t codecStatus) {}
};

class CodecContexts;
class FallbackReader;

class BatchDriver {
  public:
    BatchDriver(Settings& settings, BatchHooks& hooks);
    ~BatchDriver();
    BatchDriver(const BatchDriver&) = delete;
    BatchDriver& operator=(const BatchDriver&) = delete;

    // A reader for files no native reader decodes (the image plug-in host on
    // Windows); the caller keeps it alive while batches run. Null: none.
    void setFallbackReader(FallbackReader* reader) { fallback_ = reader; }

    // Runs one batch; true when at least one output file was produced.
    bool executeJob(const ConvertJob& job);

    uint32_t producedCount() const { return produced_; }
    const WorkingPicture& workingPicture() const { return picture_; }

  private:
    bool convertOne(const char16_t* tempFolder, const char16_t* source, OutputFormat format,
                    HeapString& tempFile);
    bool decodeAndEncode(const char16_t* tempFolder, const char16_t* source, OutputFormat format,
                         HeapString& tempFile);
    bool copyJpeg(const char16_t* tempFolder, const char16_t* source, HeapString& tempFile);
    bool load(const char16_t* source);
    bool createTempFile(const char16_t* tempFolder, HeapString& tempFile);
    bool deliver(const char16_t* tempFile, const char16_t* source, const char16_t* outputFolder,
                 const char16_t* extension);

    Settings& settings_;
    BatchHooks& hooks_;
    CodecContexts* codecs_ = nullptr;
    FallbackReader* fallback_ = nullptr;
    WorkingPicture picture_{};
    TransparentColor transparent_{};
    uint32_t produced_ = 0;
    FileFailure lastFailure_ = FileFailure::Unreadable;
    uint32_t lastStatus_ = 0;
};

// ".bmp", ".png", ".jpg", ".gif" or ".jpg" for the lossless re-write.
const char16_t* extensionFor(OutputFormat format);
