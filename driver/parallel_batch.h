// The loops over a batch's sources: on the calling thread, or with several
// workers, each with a converter of its own, while the calling thread takes
// the finished files back in source order. Either way every file reaches
// the same FileFinisher, in source order, so names, bytes and reports do
// not depend on the number of workers.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/heap_string.h"
#include "core/settings.h"
#include "driver/format_table.h"

class FallbackReader;
class FileConverter;
struct FileConversion;

// What the loops convert.
struct BatchFiles {
    FormatTable formats;  // whose readers decode the sources
    const HeapString* sources;
    uint32_t count;
    const FormatEntry& format;
    uint32_t switches;  // FormatOption bits given as switches
    const char16_t* tempFolder;
    // Once set, no further source starts (null: never).
    const std::atomic<bool>* cancel;
};

// Takes each converted (or failed) file, on the calling thread, in source
// order; `cleanupSlot` is the interrupt clean-up slot its temporary file is
// registered in.
class FileFinisher {
  public:
    virtual void finish(const char16_t* source, FileConversion& file, int cleanupSlot) = 0;

  protected:
    ~FileFinisher() = default;
};

// One source after another with `converter`.
void convertInSequence(const BatchFiles& files, FileConverter& converter, FileFinisher& finisher);

// With up to `jobs` workers; false, with nothing done, when fewer than two
// workers can be had. The fallback reader is taken one file at a time.
bool convertInParallel(const BatchFiles& files, uint32_t jobs, const Settings& settings,
                       FallbackReader* fallback, FileFinisher& finisher);
