#include "codecs/jpeg/jpeg_reader.h"

#include <algorithm>
#include <cstring>

#include "codecs/jpeg/jpeg_memory_bound.h"
#include "codecs/jpeg/jpeg_scan_limit.h"
#include "codecs/jpeg/jpeg_source.h"
#include "platform/platform.h"

namespace {

// Rows handed to the library per call; it fills as many as it has ready.
constexpr int kRowsPerCall = 16;

// Everything one decoding needs, in one plain struct: decode() calls setjmp,
// and nothing with a destructor may live in the frames a library error
// jumps over.
struct DecodeJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    JpegMappedSource source;
    JpegScanLimit scanLimit;
    const uint8_t* data;
    size_t size;
    bool ownBytes;
    bool hintEnabled;
    uint32_t hintWidth;
    uint32_t hintHeight;
    const imaging::ColourTransform* cmykProfile;  // CMYK pictures through it, when set
    bool cmykProfileApplied;
    ImageRecord* record;
    uint8_t* pixels;  // allocated by the job; the caller frees it on failure
    uint32_t status;
};

int32_t pixelsPerMetre(const jpeg_decompress_struct& cinfo, UINT16 density) {
    switch (cinfo.density_unit) {
        case 1:
            return static_cast<int32_t>(density / 0.0254 + 0.5);  // dots per inch
        case 2:
            return static_cast<int32_t>(density) * 100;  // dots per centimetre
        default:
            return 0;
    }
}

// Decodes rows straight into the record, top row first into the last row of
// the bottom-up buffer.
void readDirect(jpeg_decompress_struct& cinfo, uint8_t* pixels, uint32_t stride) {
    const JDIMENSION height = cinfo.output_height;
    while (cinfo.output_scanline < height) {
        JSAMPROW rows[kRowsPerCall];
        const JDIMENSION first = cinfo.output_scanline;
        const int count = static_cast<int>(std::min<JDIMENSION>(kRowsPerCall, height - first));
        for (int i = 0; i < count; ++i)
            rows[i] = pixels + static_cast<size_t>(height - 1 - first - i) * stride;
        jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
    }
}

// CMYK rows through the source's colour profile.
void readCmykThrough(const imaging::ColourTransform& profile, jpeg_decompress_struct& cinfo,
                     uint8_t* pixels, uint32_t stride) {
    const JDIMENSION height = cinfo.output_height;
    JSAMPARRAY sample = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                   JPOOL_IMAGE, cinfo.output_width * 4, 1);
    while (cinfo.output_scanline < height) {
        uint8_t* out = pixels + static_cast<size_t>(height - 1 - cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&cinfo, sample, 1) != 1) continue;
        profile.convertCmykRow(sample[0], out, cinfo.output_width);
    }
}

// CMYK rows: blue = Y*K/255, green = M*K/255, red = C*K/255.
void readCmyk(jpeg_decompress_struct& cinfo, uint8_t* pixels, uint32_t stride) {
    auto* product = static_cast<uint8_t*>(
        (*cinfo.mem->alloc_large)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, 256 * 256));
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned k = 0; k < 256; ++k) product[a << 8 | k] = static_cast<uint8_t>(a * k / 255);

    const JDIMENSION width = cinfo.output_width;
    const JDIMENSION height = cinfo.output_height;
    JSAMPARRAY sample = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                   JPOOL_IMAGE, width * 4, 1);
    while (cinfo.output_scanline < height) {
        uint8_t* out = pixels + static_cast<size_t>(height - 1 - cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&cinfo, sample, 1) != 1) continue;
        const JSAMPLE* in = sample[0];
        for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
            const unsigned k = in[3];
            out[0] = product[in[2] << 8 | k];
            out[1] = product[in[1] << 8 | k];
            out[2] = product[in[0] << 8 | k];
        }
    }
}

// The steps between creating and destroying the decompressor. A library
// error jumps from inside them back to decode().
bool decodeSteps(DecodeJob& job) {
    jpeg_decompress_struct& cinfo = job.cinfo;
    limitJpegMemory(reinterpret_cast<j_common_ptr>(&cinfo));
    installMappedSource(&cinfo, job.source, job.data, job.size, job.ownBytes);
    installJpegScanLimit(&cinfo, job.scanLimit);
    jpeg_read_header(&cinfo, TRUE);
    if (const char* refusal = jpegPictureRefusal(&cinfo, job.size, false)) {
        job.status = kStatusUnsupported;
        failJpegCall(reinterpret_cast<j_common_ptr>(&cinfo), refusal);
    }

    if (job.hintEnabled) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = jpegScaleDenominator(cinfo.image_width, cinfo.image_height,
                                                 job.hintWidth, job.hintHeight);
        jpeg_calc_output_dimensions(&cinfo);
    }
    // Three-component pictures come out in the record's blue-green-red order.
    if (cinfo.out_color_space == JCS_RGB) cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);

    const int components = cinfo.output_components;
    if (cinfo.output_width < 1 || cinfo.output_height < 1 ||
        (components != 1 && components != 3 && components != 4)) {
        job.status = kStatusUnsupported;
        return false;
    }
    const int bitCount = components == 1 ? 8 : 24;
    const int32_t width = static_cast<int32_t>(cinfo.output_width);
    const int32_t height = static_cast<int32_t>(cinfo.output_height);
    const uint64_t stride = rowStride(width, bitCount);
    if (stride == 0 || stride * static_cast<uint64_t>(height) >= (uint64_t{1} << 32)) {
        job.status = kStatusUnsupported;
        return false;
    }
    job.pixels = allocatePixelBuffer(width, height, bitCount);
    if (!job.pixels) {
        job.status = kStatusNoMemory;
        return false;
    }

    ImageRecord& record = *job.record;
    setRecordGeometry(record, width, height, bitCount);
    if (bitCount == 8)
        for (int i = 0; i < 256; ++i) {
            const auto level = static_cast<uint8_t>(i);
            record.palette[i] = {level, level, level, 0};
        }

    job.cmykProfileApplied = components == 4 && job.cmykProfile && job.cmykProfile->usable() &&
                             job.cmykProfile->space() == imaging::IccSpace::cmyk;
    if (job.cmykProfileApplied)
        readCmykThrough(*job.cmykProfile, cinfo, job.pixels, static_cast<uint32_t>(stride));
    else if (components == 4)
        readCmyk(cinfo, job.pixels, static_cast<uint32_t>(stride));
    else
        readDirect(cinfo, job.pixels, static_cast<uint32_t>(stride));
    jpeg_finish_decompress(&cinfo);

    record.header.biXPelsPerMeter = pixelsPerMetre(cinfo, cinfo.X_density);
    record.header.biYPelsPerMeter = pixelsPerMetre(cinfo, cinfo.Y_density);
    record.sourceBitsPerPixel = static_cast<uint32_t>(bitCount);
    record.sourceFormat = kFormatJpeg;
    return true;
}

bool decode(DecodeJob& job, char16_t* messageText) {
    job.cinfo.err = installJpegErrorManager(job.error, messageText);
    if (setjmp(job.error.jumpTarget)) {
        jpeg_destroy_decompress(&job.cinfo);
        job.status = job.error.failureStatus;
        return false;
    }
    jpeg_create_decompress(&job.cinfo);
    const bool decoded = decodeSteps(job);
    jpeg_destroy_decompress(&job.cinfo);
    return decoded;
}

}  // namespace

unsigned jpegScaleDenominator(uint32_t imageWidth, uint32_t imageHeight, uint32_t hintWidth,
                              uint32_t hintHeight) {
    if (hintWidth == 0 || hintHeight == 0) return 1;
    const uint32_t r = std::min(imageWidth / hintWidth, imageHeight / hintHeight);
    return r >= 8 ? 8 : r >= 4 ? 4 : r >= 2 ? 2 : 1;
}

void JpegReader::setSizeHint(bool enabled, uint32_t width, uint32_t height) {
    hintEnabled_ = enabled;
    hintWidth_ = width;
    hintHeight_ = height;
}

ImageRecord* JpegReader::readFrom(const ReadSource& source, ImageRecord* record) {
    input_.status = kStatusOk;
    messageText_[0] = u'\0';
    damaged_ = false;
    cmykProfileApplied_ = false;
    return readMapped(input_, source, record, [this](ImageRecord& target) {
        DecodeJob job{};
        job.data = input_.base;
        job.size = input_.size();
        job.ownBytes = input_.ownsBytes();
        job.hintEnabled = hintEnabled_;
        job.hintWidth = hintWidth_;
        job.hintHeight = hintHeight_;
        job.cmykProfile = cmykProfile_;
        job.record = &target;
        job.status = kStatusOk;
        const bool decoded = decode(job, messageText_);
        input_.status = job.status;
        damaged_ = job.error.library.num_warnings > 0;
        cmykProfileApplied_ = decoded && job.cmykProfileApplied;
        if (!decoded) {
            releasePixelBuffer(job.pixels);
            return false;
        }
        target.pixels = job.pixels;
        return true;
    });
}
