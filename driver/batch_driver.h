// The batch driver: turns a list of sources and one output format into
// output files. Each source is decoded into the working picture, optionally
// shrunk and sharpened, encoded into a temporary file, and copied under a
// collision-free name into the output folder.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/heap_string.h"
#include "core/settings.h"
#include "driver/batch_reports.h"
#include "driver/format_table.h"
#include "driver/native_formats.h"
#include "driver/parallel_batch.h"

struct ConvertJob {
    const HeapString* sources = nullptr;
    uint32_t count = 0;
    OutputFormat format = OutputFormat::Bmp;
    // Options given as switches for this batch only (FormatOption bits of
    // driver/format_table.h: kOptionLossless).
    uint32_t switches = 0;
};

class BatchDriver : private FileFinisher {
  public:
    // `formats`: the table that reads the sources and writes the outputs.
    BatchDriver(Settings& settings, BatchHooks& hooks, FormatTable formats = nativeFormats());
    ~BatchDriver() = default;
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
    // still reports BatchError::NothingProduced). The caller keeps the flag alive.
    void setCancelFlag(const std::atomic<bool>* cancel) { cancel_ = cancel; }

    // Runs one batch; true when at least one output file was produced.
    bool executeJob(const ConvertJob& job);

    uint32_t producedCount() const { return produced_; }
    // The operating system's code behind the last batch-level error (0: none).
    uint32_t batchSystemError() const { return batchSystemError_; }

  private:
    // Reports a converted file's failure or notes and delivers its temporary
    // file, which is removed and forgotten by the clean-up slot afterwards:
    // the one path every file takes, whatever the number of workers.
    void finish(const char16_t* source, FileConversion& file, int cleanupSlot) override;
    bool deliver(const char16_t* tempFile, const char16_t* source, const char16_t* outputFolder,
                 const char16_t* extension);

    Settings& settings_;
    BatchHooks& hooks_;
    FormatTable formats_;
    FallbackReader* fallback_ = nullptr;
    uint32_t produced_ = 0;
    uint32_t batchSystemError_ = 0;
    uint32_t jobs_ = 1;
    const std::atomic<bool>* cancel_ = nullptr;
    // The batch being run: where its files are delivered, under which extension.
    const char16_t* outputFolder_ = nullptr;
    const char16_t* extension_ = nullptr;
};
