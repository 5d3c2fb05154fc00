#include "formats/heif_decoder.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "formats/hevc_sizes.h"

namespace formats {
namespace {

constexpr const char* kHevcBrands[] = {"heic", "heix", "heim", "heis",
                                       "hevc", "hevx", "hevm", "hevs"};

bool isHevcBrand(const uint8_t* fourcc) {
    for (const char* brand : kHevcBrands)
        if (std::memcmp(fourcc, brand, 4) == 0) return true;
    return false;
}

// Every HEVC coding tree block (at most 64 x 64 pixels) ends with an
// end-of-slice-segment decision coded by the arithmetic coder's terminating
// mode, which costs at least log2(510 / 508) bits, so one byte of data holds
// at most 8 * 177 of them. A weak bound, but a true one.
uint64_t describablePixels(size_t fileBytes) {
    return uint64_t{fileBytes} * 8 * 177 * 64 * 64;
}

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

DecodeStatus statusOf(const heif_error& error) {
    // libheif reports its size limits as a memory error.
    if (error.subcode == heif_suberror_Security_limit_exceeded) return DecodeStatus::tooLarge;
    switch (error.code) {
        case heif_error_Ok:
            return DecodeStatus::ok;
        case heif_error_Memory_allocation_error:
            return DecodeStatus::outOfMemory;
        case heif_error_Unsupported_feature:
        case heif_error_Unsupported_filetype:
            return DecodeStatus::unsupported;
        default:
            return DecodeStatus::damaged;
    }
}

// The file parsed and its primary image's handle, size checked.
struct OpenedHeif {
    std::unique_ptr<heif_context, ContextFree> context;
    std::unique_ptr<heif_image_handle, HandleRelease> primary;
    PictureSize size;
};

DecodeStatus open(const uint8_t* data, size_t size, OpenedHeif& out) {
    if (!looksLikeHeif(data, size) || size > INT32_MAX) return DecodeStatus::notRecognised;
    out.context.reset(heif_context_alloc());
    if (!out.context) return DecodeStatus::outOfMemory;
    // Tiles are decoded on this thread, one after the other.
    heif_context_set_max_decoding_threads(out.context.get(), 0);
    DecodeStatus status = statusOf(
        heif_context_read_from_memory_without_copy(out.context.get(), data, size, nullptr));
    if (status != DecodeStatus::ok) return status;
    heif_image_handle* handle = nullptr;
    status = statusOf(heif_context_get_primary_image_handle(out.context.get(), &handle));
    out.primary.reset(handle);
    if (status != DecodeStatus::ok) return status;
    const int width = heif_image_handle_get_width(handle);
    const int height = heif_image_handle_get_height(handle);
    if (width <= 0 || height <= 0) return DecodeStatus::damaged;
    out.size = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    // Checked in both orientations: the stride depends on which side is the width.
    const PictureSize turned{out.size.height, out.size.width};
    if (!pictureAllowed(out.size, describablePixels(size)) ||
        !pictureAllowed(turned, describablePixels(size)))
        return DecodeStatus::tooLarge;
    // No coded image may be larger than the picture (plus a partial coding
    // block): the HEVC decoder allocates for the coded size before reading.
    HevcSizes coded;
    if (!readHevcSizes(data, size, coded)) return DecodeStatus::damaged;
    if (coded.parameterSets == 0) return DecodeStatus::unsupported;
    const uint64_t side = std::max(out.size.width, out.size.height) + uint64_t{64};
    if (coded.largestCodedWidth > side || coded.largestCodedHeight > side)
        return DecodeStatus::damaged;
    return DecodeStatus::ok;
}

DecodeStatus decode(const uint8_t* data, size_t size, PictureSink& sink) {
    OpenedHeif heif;
    DecodeStatus status = open(data, size, heif);
    if (status != DecodeStatus::ok) return status;
    const bool alpha = heif_image_handle_has_alpha_channel(heif.primary.get()) != 0;
    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options) return DecodeStatus::outOfMemory;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    status = statusOf(heif_decode_image(
        heif.primary.get(), &decoded, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
    std::unique_ptr<heif_image, ImageRelease> image(decoded);
    if (status != DecodeStatus::ok) return status;
    if (!image) return DecodeStatus::damaged;

    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int sourceStride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &sourceStride);
    if (!plane || width <= 0 || height <= 0 || sourceStride <= 0) return DecodeStatus::damaged;
    const PictureSize shown{static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    if (!pictureAllowed(shown, describablePixels(size))) return DecodeStatus::tooLarge;
    const uint32_t stride = static_cast<uint32_t>(bgrStride(shown.width));
    uint8_t* rows = sink.allocate(shown.width, shown.height, stride);
    if (!rows) return DecodeStatus::outOfMemory;

    // Red-green-blue(-alpha) rows top-down to blue-green-red bottom-up, onto white.
    std::vector<uint8_t> swapped(alpha ? size_t{shown.width} * 4 : 0);
    for (uint32_t y = 0; y < shown.height; ++y) {
        const uint8_t* in =
            plane + size_t{shown.height - 1 - y} * static_cast<size_t>(sourceStride);
        uint8_t* out = rows + size_t{y} * stride;
        if (alpha) {
            for (uint32_t x = 0; x < shown.width; ++x) {
                swapped[4 * x] = in[4 * x + 2];
                swapped[4 * x + 1] = in[4 * x + 1];
                swapped[4 * x + 2] = in[4 * x];
                swapped[4 * x + 3] = in[4 * x + 3];
            }
            compositeRowOnWhite(swapped.data(), out, shown.width);
        } else {
            for (uint32_t x = 0; x < shown.width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        }
    }
    return DecodeStatus::ok;
}

}  // namespace

bool looksLikeHeif(const uint8_t* head, size_t size) {
    if (size < 16 || std::memcmp(head + 4, "ftyp", 4) != 0) return false;
    const uint64_t boxSize = (uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    if (boxSize < 16 || boxSize > size) return isHevcBrand(head + 8);
    if (isHevcBrand(head + 8)) return true;
    for (uint64_t at = 16; at + 4 <= boxSize; at += 4)
        if (isHevcBrand(head + at)) return true;
    return false;
}

// libheif is C++ behind a C interface; nothing it throws leaves here.
DecodeStatus readHeifSize(const uint8_t* data, size_t size, PictureSize& out) {
    try {
        OpenedHeif heif;
        const DecodeStatus status = open(data, size, heif);
        if (status == DecodeStatus::ok) out = heif.size;
        return status;
    } catch (const std::bad_alloc&) {
        return DecodeStatus::outOfMemory;
    } catch (...) {
        return DecodeStatus::damaged;
    }
}

DecodeStatus decodeHeif(const uint8_t* data, size_t size, PictureSink& sink) {
    try {
        return decode(data, size, sink);
    } catch (const std::bad_alloc&) {
        return DecodeStatus::outOfMemory;
    } catch (...) {
        return DecodeStatus::damaged;
    }
}

}  // namespace formats
