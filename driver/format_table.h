// The formats this program reads and writes, one entry each, in the order
// they are tried: the native codecs (driver/native_formats.h), then the libraries'
// codecs (everyFormat(), driver/library_formats.h). The batch driver, the
// command line (format names, switches, usage text) and the settings code
// read a table; a new output format is one more entry. Files no entry reads
// go to the fallback reader (the image plug-in host), which stays last,
// behind the driver's FallbackReader interface.
#pragma once

#include <cstdint>
#include <span>

#include "codecs/source_bytes.h"
#include "core/image_record.h"
#include "core/picture_to_write.h"
#include "core/settings.h"
#include "driver/codec_results.h"
#include "driver/jpeg_size_hint.h"

namespace imaging {
class ColourTransform;
}

// The codec objects of one batch, kept from file to file (driver/codec_set.h).
struct CodecSet;

// Output options; an entry lists those that apply to it.
enum FormatOption : uint32_t {
    kOptionQuality = 1u << 0,
    kOptionSubsampling = 1u << 1,
    kOptionSizeLimit = 1u << 2,
    kOptionKeepTransparency = 1u << 3,
    kOptionLossless = 1u << 4,
};

// An option given by a bare command-line switch rather than a setting.
struct FormatSwitch {
    const char* flag;  // "--lossless"
    FormatOption option;
    const char* help;  // one sentence for the usage text
};

struct ReadRequest {
    JpegSizeHint hint;
    bool keepTransparency = false;
    // The source's own CMYK profile, which a CMYK JPEG's inks go through
    // while they are decoded (null: none).
    const imaging::ColourTransform* cmykProfile = nullptr;
};

struct WriteRequest {
    const Settings& settings;
    uint32_t switches = 0;  // FormatOption bits given as switches (kOptionLossless)
};

struct FormatEntry {
    const char* name;           // command-line name ("jpeg"), null for a format only read
    const char* alias;          // another accepted name ("jpg"), or null
    const char* usageNote;      // what the usage text says of it, or null
    const char16_t* extension;  // of its outputs
    uint32_t uiStringId;        // its convert button's text (0: command line only)
    OutputFormat output;        // its settings code, when it is written
    // What the sniffer calls its files. A reader under kFormatUnknown gets
    // the files the sniffer does not know, recognises its own by their
    // first bytes, and fails with status 0 on the others.
    ImageFormat input;
    ReadResult (*read)(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                       const ReadRequest& request);
    WriteResult (*write)(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                         const WriteRequest& request);
    // Re-written from the source file's bytes instead of from the decoded
    // picture (the lossless JPEG re-write); write is null then.
    bool rewritesSource;
    uint32_t options;  // FormatOption bits
    bool writes() const { return write || rewritesSource; }
};

using FormatTable = std::span<const FormatEntry>;

// The entry of the table that writes `format`; an unknown code gives the
// first (BMP), as in the settings file.
const FormatEntry& outputFormatEntry(FormatTable table, OutputFormat format);
// The entry whose reader takes files the sniffer calls `format`, or null.
// Only the first entry that reads a format is ever used.
const FormatEntry* readerFor(FormatTable table, ImageFormat format);
// The writing entry behind the convert button whose text is string `id`, or null.
const FormatEntry* formatOfButton(FormatTable table, uint32_t id);
// The writing entry start mode `mode` converts to at once, or null (the mode
// waits for a command): modes 1, 2, ... are the convert buttons in table
// order, BMP, PNG, JPEG, GIF and the lossless re-write.
const FormatEntry* formatOfStartMode(FormatTable table, int mode);
// The writing entry with this command-line name or alias (ASCII, any letter
// case), or null.
const FormatEntry* outputFormatNamed(FormatTable table, const char* name);
