// The reader of last resort for moravel on Linux: the import plug-ins'
// decoders (WebP, HEIF) called directly, with no plug-in DLL in between, so
// both targets decode these files with the same code.
#pragma once

#include "driver/fallback_reader.h"

class FormatsReader final : public FallbackReader {
  public:
    ReadResult read(const char16_t* path, const SourceBytes& bytes, ImageRecord& record) override;
};
