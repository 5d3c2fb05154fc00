#include "formats/libheif_decoder.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "formats/av1_sizes.h"
#include "formats/heif_boxes.h"
#include "formats/hevc_sizes.h"
#include "formats/library_check.h"
#include "imaging/colour_profile.h"

namespace formats {
namespace {

bool isBrand(const HeifCoding& coding, const uint8_t* fourcc) {
    for (size_t i = 0; i < coding.brandCount; ++i)
        if (std::memcmp(fourcc, coding.brands[i], 4) == 0) return true;
    return false;
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
struct NclxFree {
    void operator()(heif_color_profile_nclx* nclx) const { heif_nclx_color_profile_free(nclx); }
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

// The transfer curves of 'nclx' that convert: sRGB's (also Display P3's),
// and the BT.709 camera curve that BT.2020 shares, undone exactly as
// written (the displays' BT.1886 would darken shadows further). HDR curves
// (PQ, HLG) are left as decoded.
std::optional<imaging::TransferCurve> transferOf(heif_transfer_characteristics transfer) {
    switch (transfer) {
        case heif_transfer_characteristic_IEC_61966_2_1:
        case heif_transfer_characteristic_unspecified:
            return imaging::TransferCurve::srgb;
        case heif_transfer_characteristic_ITU_R_BT_709_5:
        case heif_transfer_characteristic_ITU_R_BT_601_6:
        case heif_transfer_characteristic_ITU_R_BT_2020_2_10bit:
        case heif_transfer_characteristic_ITU_R_BT_2020_2_12bit:
            return imaging::TransferCurve::bt709;
        case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
            return imaging::TransferCurve::gamma22;
        case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
            return imaging::TransferCurve::gamma28;
        case heif_transfer_characteristic_linear:
            return imaging::TransferCurve::linear;
        default:
            return std::nullopt;
    }
}

// The conversion to sRGB the picture's colour description asks for: its ICC
// profile ('colr' of type 'prof' or 'rICC'), else its 'nclx' primaries when
// they are not sRGB's. None when the picture is sRGB or the description is
// unusable; the picture is then kept as decoded.
std::optional<imaging::ColourTransform> colourTransformOf(const heif_image_handle* handle) {
    const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
    if (iccSize > 0) {
        if (iccSize > imaging::kMaxIccProfileBytes) return std::nullopt;
        std::vector<uint8_t> icc(iccSize);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            return std::nullopt;
        imaging::ColourTransform transform = imaging::ColourTransform::fromIcc(icc.data(), iccSize);
        if (!transform.usable() || transform.changesNothing()) return std::nullopt;
        return transform;
    }
    heif_color_profile_nclx* raw = nullptr;
    const heif_error error = heif_image_handle_get_nclx_color_profile(handle, &raw);
    // libheif hands out the profile before it checks its values: freed
    // even when an error comes with it.
    const std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
    if (error.code != heif_error_Ok || !nclx ||
        nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
        nclx->color_primaries == heif_color_primaries_unspecified)
        return std::nullopt;
    const std::optional<imaging::TransferCurve> transfer =
        transferOf(nclx->transfer_characteristics);
    if (!transfer) return std::nullopt;
    const imaging::PrimariesDescription description{
        {nclx->color_primary_red_x, nclx->color_primary_red_y},
        {nclx->color_primary_green_x, nclx->color_primary_green_y},
        {nclx->color_primary_blue_x, nclx->color_primary_blue_y},
        {nclx->color_primary_white_x, nclx->color_primary_white_y},
        *transfer};
    imaging::ColourTransform transform = imaging::ColourTransform::fromPrimaries(description);
    if (!transform.usable() || transform.changesNothing()) return std::nullopt;
    return transform;
}

// The file parsed and its primary image's handle, size checked.
struct OpenedHeif {
    std::unique_ptr<heif_context, ContextFree> context;
    std::unique_ptr<heif_image_handle, HandleRelease> primary;
    PictureSize size;
};

// No coded image may be larger than the picture (plus a partial coding
// block): the decoders allocate for the coded size before reading any
// picture data, and libheif for a grid's or an overlay's output size. The
// picture is what 'ispe' declares before any crop (libheif decodes all of it
// and crops afterwards), so that size must keep the bounds too. Both codecs
// are checked whichever coding the file claims, since libheif would decode
// either.
DecodeStatus checkCodedSizes(const HeifCoding& coding, const uint8_t* data, size_t size,
                             PictureSize shown) {
    HeifBoxes boxes;
    CodedSizes hevc, av1;
    if (!readHeifBoxes(data, size, boxes) || !readHevcSizes(boxes, hevc) ||
        !readAv1Sizes(boxes, av1))
        return DecodeStatus::damaged;
    const CodedSizes& own = std::strcmp(coding.itemType, "av01") == 0 ? av1 : hevc;
    if (own.headers == 0) return DecodeStatus::unsupported;
    const PictureSize declared{boxes.largestDeclaredWidth, boxes.largestDeclaredHeight};
    if (declared.width != 0 && declared.height != 0 &&
        !pictureAllowed(declared, coding.describablePixels(size)))
        return DecodeStatus::tooLarge;
    const uint64_t side = std::max(shown.width, shown.height);
    const uint64_t widthLimit = std::max<uint64_t>(side, declared.width) + 64;
    const uint64_t heightLimit = std::max<uint64_t>(side, declared.height) + 64;
    for (uint32_t width : {hevc.largestWidth, av1.largestWidth, boxes.largestDerivedWidth})
        if (width > widthLimit) return DecodeStatus::damaged;
    for (uint32_t height : {hevc.largestHeight, av1.largestHeight, boxes.largestDerivedHeight})
        if (height > heightLimit) return DecodeStatus::damaged;
    return DecodeStatus::ok;
}

DecodeStatus open(const HeifCoding& coding, const uint8_t* data, size_t size, OpenedHeif& out) {
    if (!looksLikeHeifCoding(coding, data, size) || size > INT32_MAX)
        return DecodeStatus::notRecognised;
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
    const uint64_t describable = coding.describablePixels(size);
    if (!pictureAllowed(out.size, describable) || !pictureAllowed(turned, describable))
        return DecodeStatus::tooLarge;
    return checkCodedSizes(coding, data, size, out.size);
}

DecodeStatus decode(const HeifCoding& coding, const uint8_t* data, size_t size, PictureSink& sink) {
    OpenedHeif heif;
    DecodeStatus status = open(coding, data, size, heif);
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
    if (!pictureAllowed(shown, coding.describablePixels(size))) return DecodeStatus::tooLarge;
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
    // Here rather than in the program, so that the plug-ins give the same
    // sRGB bytes as the Linux program. Transparent parts are already on
    // white, which every conversion keeps white.
    if (const std::optional<imaging::ColourTransform> transform =
            colourTransformOf(heif.primary.get()))
        transform->convertBgrRows(rows, shown.width, shown.height, stride);
    return DecodeStatus::ok;
}

}  // namespace

bool looksLikeHeifCoding(const HeifCoding& coding, const uint8_t* head, size_t size) {
    if (size < 16 || std::memcmp(head + 4, "ftyp", 4) != 0) return false;
    const uint64_t boxSize = (uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    if (boxSize < 16 || boxSize > size) return isBrand(coding, head + 8);
    if (isBrand(coding, head + 8)) return true;
    for (uint64_t at = 16; at + 4 <= boxSize; at += 4)
        if (isBrand(coding, head + at)) return true;
    return false;
}

// libheif is C++ behind a C interface; nothing it throws leaves here.
DecodeStatus readHeifCodingSize(const HeifCoding& coding, const uint8_t* data, size_t size,
                                PictureSize& out) {
    return guardLibraryCalls([&] {
        OpenedHeif heif;
        const DecodeStatus status = open(coding, data, size, heif);
        if (status == DecodeStatus::ok) out = heif.size;
        return status;
    });
}

DecodeStatus decodeHeifCoding(const HeifCoding& coding, const uint8_t* data, size_t size,
                              PictureSink& sink) {
    return guardLibraryCalls([&] { return decode(coding, data, size, sink); });
}

}  // namespace formats
