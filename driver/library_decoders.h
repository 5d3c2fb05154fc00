// The libraries' decoders (WebP, HEIC, AVIF through libwebp and libheif) as
// a reader of the format table. Each recognises its files by their first
// bytes itself, so the entry is tried for files the sniffer does not know.
// On Windows these formats are the import plug-ins' (the fallback reader).
#pragma once

#include "driver/format_table.h"

ReadResult readWithLibraries(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                             const ReadRequest& request);
