// The codec objects of one batch: created at its start, kept from file to
// file (their buffers and tables are reused), released at its end.
#pragma once

#include "codecs/bmp/bmp_reader.h"
#include "codecs/bmp/bmp_writer.h"
#include "codecs/gif/gif_reader.h"
#include "codecs/gif/gif_writer.h"
#include "codecs/jpeg/jpeg_copy.h"
#include "codecs/jpeg/jpeg_reader.h"
#include "codecs/jpeg/jpeg_writer.h"
#include "codecs/png/png_reader.h"
#include "codecs/png/png_writer.h"
#include "codecs/tiff/tiff_reader.h"
#include "imaging/resampler.h"
#include "imaging/sharpen.h"

struct CodecSet {
    BmpReader bmpReader;
    BmpWriter bmpWriter;
    PngReader pngReader;
    PngWriter pngWriter;
    JpegReader jpegReader;
    JpegWriter jpegWriter;
    JpegCopy jpegCopy;
    TiffReader tiffReader;
    GifReader gifReader;
    GifWriter gifWriter;
    Resampler resampler;
    SharpenEngine sharpener;
};
