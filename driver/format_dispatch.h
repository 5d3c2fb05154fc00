// The per-batch codec contexts: one long-lived object per reader, writer and
// filter, created at the start of a batch and released at its end. Reads and
// writes go through the format table's entries; each returns its result.
#pragma once

#include <cstdint>

#include "codecs/metadata/source_metadata.h"
#include "codecs/source_bytes.h"
#include "core/image_record.h"
#include "core/picture_to_write.h"
#include "driver/format_table.h"

class CodecContexts {
  public:
    // Null when memory for any context cannot be had.
    static CodecContexts* create();
    ~CodecContexts();
    CodecContexts(const CodecContexts&) = delete;
    CodecContexts& operator=(const CodecContexts&) = delete;

    // Decodes a source read whole into the record with the reader of its
    // detected format (null: an unrecognised file, which fails with no codec
    // used).
    ReadResult read(const FormatEntry* reader, SourceBytes& source, ImageRecord& record,
                    const ReadRequest& request);
    // Writes the picture in the entry's format to `path`.
    WriteResult write(const FormatEntry& format, const char16_t* path,
                      const PictureToWrite& picture, const WriteRequest& request);
    // Re-writes a JPEG, read whole, losslessly without its metadata, except
    // the colour profile and orientation found in it (`metadata`).
    ReadResult copyJpeg(SourceBytes& source, const SourceMetadata& metadata,
                        const char16_t* destination);
    // Shrinks (and sharpens) the working picture.
    bool resize(WorkingPicture& picture, int32_t mode, int32_t target);

  private:
    CodecContexts() = default;
    CodecSet* codecs_ = nullptr;
};
