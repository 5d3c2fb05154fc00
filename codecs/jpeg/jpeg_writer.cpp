#include "codecs/jpeg/jpeg_writer.h"

#include <algorithm>

#include "platform/platform.h"

namespace {

constexpr int kRowsPerCall = 16;

// One encoding in one plain struct: encodeOnce() calls setjmp, and nothing
// with a destructor may live in the frames a library error jumps over.
struct EncodeJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    JpegFileDestination fileDestination;
    platform::File* file;           // the file destination when set
    JpegMemoryDestination* memory;  // else this one
    const uint8_t* pixels;          // bottom-up 24-bit rows
    uint32_t stride;
    JDIMENSION width;
    JDIMENSION height;
    int quality;
    int horizontalSampling;
    int verticalSampling;
    int32_t horizontalResolution;  // pixels per metre
    int32_t verticalResolution;
    bool greyscale;
    bool progressive;
};

UINT16 dotsPerInch(int32_t pixelsPerMetre) {
    const int dpi = static_cast<int>(pixelsPerMetre * 0.0254 + 0.5);
    return static_cast<UINT16>(std::clamp(dpi, 1, 65535));
}

void encodeSteps(EncodeJob& job) {
    jpeg_compress_struct& cinfo = job.cinfo;
    if (job.file)
        installFileDestination(&cinfo, job.fileDestination, *job.file);
    else
        installMemoryDestination(&cinfo, *job.memory);

    cinfo.image_width = job.width;
    cinfo.image_height = job.height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    cinfo.optimize_coding = TRUE;
    if (job.greyscale) {
        jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    } else {
        cinfo.comp_info[0].h_samp_factor = job.horizontalSampling;
        cinfo.comp_info[0].v_samp_factor = job.verticalSampling;
    }
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    if (job.progressive) jpeg_simple_progression(&cinfo);
    // Resolutions the record does not know (0) keep the library's 1:1 aspect.
    if (job.horizontalResolution > 0 && job.verticalResolution > 0) {
        cinfo.density_unit = 1;
        cinfo.X_density = dotsPerInch(job.horizontalResolution);
        cinfo.Y_density = dotsPerInch(job.verticalResolution);
    }
    jpeg_start_compress(&cinfo, TRUE);

    while (cinfo.next_scanline < job.height) {
        JSAMPROW rows[kRowsPerCall];
        const JDIMENSION first = cinfo.next_scanline;
        const int count = static_cast<int>(std::min<JDIMENSION>(kRowsPerCall, job.height - first));
        for (int i = 0; i < count; ++i)  // the library only reads the rows
            rows[i] = const_cast<JSAMPROW>(
                job.pixels + static_cast<size_t>(job.height - 1 - first - i) * job.stride);
        jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&cinfo);
}

bool encodeOnce(EncodeJob& job, char16_t* messageText) {
    job.cinfo.err = installJpegErrorManager(job.error, messageText);
    if (setjmp(job.error.jumpTarget)) {
        jpeg_destroy_compress(&job.cinfo);
        return false;
    }
    jpeg_create_compress(&job.cinfo);
    encodeSteps(job);
    jpeg_destroy_compress(&job.cinfo);
    return true;
}

}  // namespace

int32_t jpegQualityForSetting(int32_t setting) {
    return setting <= 100 ? setting : 75;
}

void jpegSamplingForSetting(int32_t setting, int32_t& horizontal, int32_t& vertical) {
    switch (setting) {
        case 1:
            horizontal = 2, vertical = 1;
            break;
        case 2:
            horizontal = 1, vertical = 1;
            break;
        default:
            horizontal = 2, vertical = 2;
            break;
    }
}

void JpegWriter::reset() {
    quality_ = 75;
    horizontalSampling_ = verticalSampling_ = 2;
    greyscale_ = progressive_ = false;
}

void JpegWriter::setSamplingFactors(int32_t horizontal, int32_t vertical) {
    horizontalSampling_ = horizontal;
    verticalSampling_ = vertical;
}

// Points `rows` at 24-bit rows of the picture, widening 8-bit rows through
// the reducer into a buffer of its own.
bool JpegWriter::prepareRows(const PictureToWrite& picture, Rows& rows) {
    const bool eightBit = picture.currentBitCount == 8;
    if (picture.width <= 0 || picture.height <= 0 || !picture.pixels ||
        (!eightBit && picture.currentBitCount != 24) || (eightBit && !picture.palette)) {
        status_ = kStatusUnsupported;
        return false;
    }
    reducer_.configure(picture.width, picture.height, static_cast<int32_t>(picture.currentBitCount),
                       24);
    if (reducer_.targetImageSize() == 0) {
        status_ = kStatusOutputError;
        return false;
    }
    rows.stride = static_cast<uint32_t>(reducer_.targetStride());
    if (!eightBit) {
        rows.pixels = picture.pixels;
        return true;
    }
    if (!rows.converted.allocate(uint64_t{reducer_.targetImageSize()} + 4)) {
        status_ = kStatusNoMemory;
        return false;
    }
    if (!reducer_.convertPacked(picture.palette, picture.pixels, nullptr, rows.converted.data())) {
        status_ = kStatusReducerFailed;
        return false;
    }
    rows.pixels = rows.converted.data();
    return true;
}

bool JpegWriter::encode(const PictureToWrite& picture, const Rows& rows, int32_t quality,
                        platform::File* file, JpegMemoryDestination* memory) {
    ++encodings_;
    EncodeJob job{};
    job.file = file;
    job.memory = memory;
    job.pixels = rows.pixels;
    job.stride = rows.stride;
    job.width = static_cast<JDIMENSION>(picture.width);
    job.height = static_cast<JDIMENSION>(picture.height);
    job.quality = quality;
    job.horizontalSampling = horizontalSampling_;
    job.verticalSampling = verticalSampling_;
    job.horizontalResolution = picture.horizontalResolution;
    job.verticalResolution = picture.verticalResolution;
    job.greyscale = greyscale_;
    job.progressive = progressive_;
    if (encodeOnce(job, messageText_)) return true;
    status_ = job.error.failureStatus;
    return false;
}

bool JpegWriter::write(const char16_t* path, const PictureToWrite& picture) {
    status_ = kStatusOk;
    messageText_[0] = u'\0';
    encodings_ = 0;
    aboveLimit_ = false;
    writtenBytes_ = 0;
    Rows rows;
    bool written = false;
    if (prepareRows(picture, rows)) {
        platform::File file;
        if (!file.create(path))
            status_ = kStatusOutputError;
        else
            written = encode(picture, rows, quality_, &file, nullptr);
        // Data the system still held can fail to reach the disk only at close.
        if (written && !file.closeChecked()) {
            status_ = kStatusOutputError;
            written = false;
        }
    }
    return written;
}

bool JpegWriter::writeLimited(const char16_t* path, const PictureToWrite& picture,
                              uint32_t limitKiB) {
    status_ = kStatusOk;
    messageText_[0] = u'\0';
    encodings_ = 0;
    aboveLimit_ = false;
    writtenBytes_ = 0;
    Rows rows;
    JpegMemoryDestination memory{};
    const uint64_t limit = uint64_t{limitKiB & 0xFFFFFF} * 1024;
    bool written = false;
    if (prepareRows(picture, rows)) {
        if (!allocateMemoryDestination(memory, reducer_.targetImageSize())) {
            status_ = kStatusNoMemory;
        } else {
            // Halving search: from the set quality downwards until an encoding
            // fits, then back up between the last fitting and failing ones.
            int32_t quality = quality_;
            int32_t lastEncoded = quality;
            bool encoded = encode(picture, rows, quality, nullptr, &memory);
            if (encoded && memory.encodedSize > limit && quality > 1) {
                int32_t step = quality / 2;
                int32_t fitting = 1;
                quality -= step;
                do {
                    lastEncoded = quality;
                    encoded = encode(picture, rows, quality, nullptr, &memory);
                    if (!encoded || quality == 1) break;
                    if (step > 1) step /= 2;
                    if (memory.encodedSize > limit) {
                        quality -= step;
                    } else {
                        if (fitting == quality) break;
                        fitting = quality;
                        quality += step;
                    }
                } while (quality >= 1);
            }
            if (encoded) {
                quality_ = lastEncoded;
                platform::File file;
                if (!file.create(path) || !file.write(memory.buffer, memory.encodedSize) ||
                    !file.closeChecked()) {
                    status_ = kStatusOutputError;
                } else {
                    written = true;
                    writtenBytes_ = memory.encodedSize;
                    aboveLimit_ = memory.encodedSize > limit;
                }
            }
        }
    }
    releaseMemoryDestination(memory);
    return written;
}
