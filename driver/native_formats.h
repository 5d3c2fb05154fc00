// The native codecs' entries of the format table: BMP, PNG, JPEG, GIF, TIFF
// and the lossless JPEG re-write. A header so that the table with the
// libraries' formats (library_formats.cpp) starts with the same entries.
#pragma once

#include "driver/format_table.h"
#include "lang/resource_ids.h"

namespace native_codecs {

ReadResult readBmp(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                   const ReadRequest& request);
ReadResult readPng(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                   const ReadRequest& request);
ReadResult readJpeg(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                    const ReadRequest& request);
ReadResult readTiff(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                    const ReadRequest& request);
ReadResult readGif(CodecSet& codecs, SourceBytes& source, ImageRecord& record,
                   const ReadRequest& request);
WriteResult writeBmp(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                     const WriteRequest& request);
WriteResult writePng(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                     const WriteRequest& request);
WriteResult writeJpeg(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                      const WriteRequest& request);
WriteResult writeGif(CodecSet& codecs, const char16_t* path, const PictureToWrite& picture,
                     const WriteRequest& request);
// A result of `status`, successful when `ok`.
WriteResult finished(bool ok, uint32_t status);

inline constexpr uint32_t kJpegOptions = kOptionQuality | kOptionSubsampling | kOptionSizeLimit;

inline constexpr FormatEntry kNativeFormats[] = {
    {"bmp", nullptr, nullptr, u".bmp", IDS_CONVERT_BMP, OutputFormat::Bmp, kFormatBmp, readBmp,
     writeBmp, false, 0},
    {"png", nullptr, nullptr, u".png", IDS_CONVERT_PNG, OutputFormat::Png, kFormatPng, readPng,
     writePng, false, kOptionKeepTransparency},
    {"jpeg", "jpg", "jpg is jpeg", u".jpg", IDS_CONVERT_JPEG, OutputFormat::Jpeg, kFormatJpeg,
     readJpeg, writeJpeg, false, kJpegOptions},
    {"gif", nullptr, nullptr, u".gif", IDS_CONVERT_GIF, OutputFormat::Gif, kFormatGif, readGif,
     writeGif, false, kOptionKeepTransparency},
    {nullptr, nullptr, nullptr, u".tif", 0, OutputFormat::Bmp, kFormatTiff, readTiff, nullptr,
     false, 0},
    {"jpegcopy", nullptr,
     "jpegcopy: lossless JPEG re-write without metadata, keeping the colour profile and the "
     "orientation",
     u".jpg", IDS_CONVERT_JPEG_COPY, OutputFormat::JpegCopy, kFormatUnknown, nullptr, nullptr, true,
     0},
};

}  // namespace native_codecs

using native_codecs::kNativeFormats;

// BMP, PNG, JPEG, GIF, TIFF and the lossless JPEG re-write.
FormatTable nativeFormats();
