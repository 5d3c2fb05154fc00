#include "formats/webp_decoder.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>

#include "formats/library_check.h"

namespace formats {
namespace {

// Lossy (VP8) key frames code every macroblock's luma and chroma prediction
// modes with fixed probabilities: at least 0.82 + 0.85 bits per 16 x 16
// macroblock (cwebp's flat pictures need about 3.6). So a file of n bytes
// holds at most 5n + 1 macroblocks. Lossless (VP8L) pixels can cost no bits
// at all (one-symbol codes), and an animation's canvas may lie outside every
// frame, so neither has a bound below the 4 GiB one.
uint64_t describablePixels(const WebPBitstreamFeatures& features, size_t fileBytes) {
    if (features.has_animation || features.format != 1) return UINT64_MAX;
    return (uint64_t{fileBytes} * 5 + 1) * 256;
}

DecodeStatus statusOf(VP8StatusCode code) {
    switch (code) {
        case VP8_STATUS_OK:
            return DecodeStatus::ok;
        case VP8_STATUS_OUT_OF_MEMORY:
            return DecodeStatus::outOfMemory;
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return DecodeStatus::unsupported;
        default:
            return DecodeStatus::damaged;
    }
}

DecodeStatus checkedFeatures(const uint8_t* data, size_t size, WebPBitstreamFeatures& features) {
    if (size < 16 || !looksLikeWebp(data, size)) return DecodeStatus::notRecognised;
    const DecodeStatus status = statusOf(WebPGetFeatures(data, size, &features));
    if (status != DecodeStatus::ok) return status;
    const PictureSize picture{static_cast<uint32_t>(features.width),
                              static_cast<uint32_t>(features.height)};
    if (features.width <= 0 || features.height <= 0) return DecodeStatus::damaged;
    if (!pictureAllowed(picture, describablePixels(features, size))) return DecodeStatus::tooLarge;
    return DecodeStatus::ok;
}

// An opaque still picture: libwebp writes blue-green-red rows bottom-up
// (flip) straight into the sink's memory.
DecodeStatus decodeOpaque(const uint8_t* data, size_t size, WebPDecoderConfig& config,
                          uint8_t* rows, uint32_t stride, uint32_t height) {
    config.options.flip = 1;
    config.output.colorspace = MODE_BGR;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = rows;
    config.output.u.RGBA.stride = static_cast<int>(stride);
    config.output.u.RGBA.size = size_t{stride} * height;
    return statusOf(WebPDecode(data, size, &config));
}

// A still picture with alpha: decoded by libwebp into its own buffer, then
// composited row by row.
DecodeStatus decodeWithAlpha(const uint8_t* data, size_t size, WebPDecoderConfig& config,
                             uint8_t* rows, uint32_t stride, uint32_t width, uint32_t height) {
    config.options.flip = 1;
    config.output.colorspace = MODE_BGRA;
    const DecodeStatus status = statusOf(WebPDecode(data, size, &config));
    if (status == DecodeStatus::ok) {
        const WebPRGBABuffer& decoded = config.output.u.RGBA;
        for (uint32_t y = 0; y < height; ++y)
            compositeRowOnWhite(decoded.rgba + static_cast<ptrdiff_t>(y) * decoded.stride,
                                rows + size_t{y} * stride, width);
    }
    WebPFreeDecBuffer(&config.output);
    return status;
}

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

// The first frame of an animation, blended onto the transparent canvas as the
// animation would show it, then onto white.
DecodeStatus decodeFirstFrame(const uint8_t* data, size_t size, uint8_t* rows, uint32_t stride,
                              uint32_t width, uint32_t height) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return DecodeStatus::unsupported;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData whole{data, size};
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder(
        WebPAnimDecoderNew(&whole, &options));
    if (!decoder) return DecodeStatus::damaged;
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != width ||
        info.canvas_height != height)
        return DecodeStatus::damaged;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) return DecodeStatus::damaged;
    for (uint32_t y = 0; y < height; ++y)
        compositeRowOnWhite(canvas + size_t{height - 1 - y} * width * 4, rows + size_t{y} * stride,
                            width);
    return DecodeStatus::ok;
}

DecodeStatus decode(const uint8_t* data, size_t size, PictureSink& sink) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return DecodeStatus::unsupported;
    const DecodeStatus checked = checkedFeatures(data, size, config.input);
    if (checked != DecodeStatus::ok) return checked;
    const uint32_t width = static_cast<uint32_t>(config.input.width);
    const uint32_t height = static_cast<uint32_t>(config.input.height);
    const uint32_t stride = static_cast<uint32_t>(bgrStride(width));
    uint8_t* rows = sink.allocate(width, height, stride);
    if (!rows) return DecodeStatus::outOfMemory;
    if (config.input.has_animation)
        return decodeFirstFrame(data, size, rows, stride, width, height);
    if (config.input.has_alpha)
        return decodeWithAlpha(data, size, config, rows, stride, width, height);
    return decodeOpaque(data, size, config, rows, stride, height);
}

}  // namespace

bool looksLikeWebp(const uint8_t* head, size_t size) {
    if (size < 16) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WEBP", 4) != 0) return false;
    return std::memcmp(head + 12, "VP8 ", 4) == 0 || std::memcmp(head + 12, "VP8L", 4) == 0 ||
           std::memcmp(head + 12, "VP8X", 4) == 0;
}

DecodeStatus readWebpSize(const uint8_t* data, size_t size, PictureSize& out) {
    return guardLibraryCalls([&] {
        WebPBitstreamFeatures features;
        const DecodeStatus status = checkedFeatures(data, size, features);
        if (status == DecodeStatus::ok)
            out = {static_cast<uint32_t>(features.width), static_cast<uint32_t>(features.height)};
        return status;
    });
}

DecodeStatus decodeWebp(const uint8_t* data, size_t size, PictureSink& sink) {
    return guardLibraryCalls([&] { return decode(data, size, sink); });
}

}  // namespace formats
