// Converts one source into a temporary file in the output format: decode,
// turn upright, convert to sRGB, shrink and sharpen, encode. A batch on one
// thread has one converter; a parallel batch has one per worker. Delivering
// the temporary file is the batch driver's.
#pragma once

#include <cstdint>
#include <memory>

#include "core/heap_string.h"
#include "core/image_record.h"
#include "core/settings.h"
#include "driver/batch_reports.h"
#include "driver/format_dispatch.h"

struct SourceMetadata;
namespace imaging {
class ColourTransform;
}
class FallbackReader;

// The temporary-file slot of the interrupt clean-up a conversion registers
// its temporary file in: kSingleTempSlot for a batch on one thread, else the
// queued-file slot of a parallel batch.
inline constexpr int kSingleTempSlot = -1;
// Registers `path` (null: forgets the file) in the clean-up slot.
void registerTempFile(int cleanupSlot, const char16_t* path);

// What the conversion of one source produced: its temporary file, or why
// there is none.
struct FileConversion {
    bool converted = false;
    HeapString tempFile;
    FileFailure failure = FileFailure::Unreadable;
    uint32_t status = 0;  // the failing codec's CodecStatus (0: none applies)
    ConversionNotes notes{};
};

class FileConverter {
  public:
    // Null when memory for the codec contexts cannot be had.
    // `formats`: the table whose readers decode the sources.
    static std::unique_ptr<FileConverter> create(const Settings& settings, FormatTable formats,
                                                 FallbackReader* fallback);
    ~FileConverter();
    FileConverter(const FileConverter&) = delete;
    FileConverter& operator=(const FileConverter&) = delete;

    // Converts `source` into a new temporary file in `tempFolder`, registered
    // in `cleanupSlot` while it exists.
    void convert(const char16_t* tempFolder, const char16_t* source, const FormatEntry& format,
                 uint32_t switches, int cleanupSlot, FileConversion& out);

  private:
    FileConverter(const Settings& settings, FormatTable formats, FallbackReader* fallback);
    bool decodeAndEncode(const char16_t* tempFolder, const char16_t* source,
                         const FormatEntry& format, uint32_t switches, FileConversion& out);
    bool copyJpeg(const char16_t* tempFolder, const char16_t* source, FileConversion& out);
    bool load(const char16_t* source, FileConversion& out);
    // Turns a freshly decoded picture into what viewers show of the source:
    // upright by its orientation, in sRGB. False (pixels released) when
    // memory runs out.
    bool showAsViewersDo(ImageRecord& record, const SourceMetadata& metadata,
                         const imaging::ColourTransform& colour, bool tookCmykProfile,
                         FileConversion& out);
    bool createTempFile(const char16_t* tempFolder, HeapString& tempFile);

    const Settings& settings_;
    FormatTable formats_;
    FallbackReader* fallback_;
    std::unique_ptr<CodecContexts> codecs_;
    WorkingPicture picture_{};
    TransparentColor transparent_{};
    int cleanupSlot_ = kSingleTempSlot;
};
