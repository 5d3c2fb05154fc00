#include "formats/webp_encoder.h"

#include <webp/encode.h>

#include "platform/platform.h"

namespace formats {
namespace {

// The encoder's output buffer, freed with the encoder's allocator.
class EncodedBytes {
  public:
    EncodedBytes() { WebPMemoryWriterInit(&writer_); }
    ~EncodedBytes() { WebPMemoryWriterClear(&writer_); }
    EncodedBytes(const EncodedBytes&) = delete;
    EncodedBytes& operator=(const EncodedBytes&) = delete;
    WebPMemoryWriter* writer() { return &writer_; }

  private:
    WebPMemoryWriter writer_;
};

// libwebp's picture (its own planes), freed however the encode ends.
class EncoderPicture {
  public:
    EncoderPicture() { valid_ = WebPPictureInit(&picture_) != 0; }
    ~EncoderPicture() { WebPPictureFree(&picture_); }
    EncoderPicture(const EncoderPicture&) = delete;
    EncoderPicture& operator=(const EncoderPicture&) = delete;
    bool valid() const { return valid_; }
    WebPPicture& get() { return picture_; }

  private:
    WebPPicture picture_;
    bool valid_ = false;
};

// A top-down RGB copy of the picture's rows.
class RgbRows {
  public:
    explicit RgbRows(size_t bytes) : data_(static_cast<uint8_t*>(platform::allocatePages(bytes))) {}
    ~RgbRows() { platform::releasePages(data_); }
    RgbRows(const RgbRows&) = delete;
    RgbRows& operator=(const RgbRows&) = delete;
    uint8_t* data() const { return data_; }

  private:
    uint8_t* data_;
};

void copyRowsTopDown(const PictureToWrite& picture, uint8_t* rgb) {
    const auto width = static_cast<size_t>(picture.width);
    const auto height = static_cast<size_t>(picture.height);
    const size_t stride = (width * picture.currentBitCount / 8 + 3) & ~size_t{3};
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = picture.pixels + (height - 1 - y) * stride;
        uint8_t* out = rgb + y * width * 3;
        if (picture.currentBitCount == 24) {
            for (size_t x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        } else {
            for (size_t x = 0; x < width; ++x, out += 3) {
                const RgbQuad& colour = picture.palette[in[x]];
                out[0] = colour.red;
                out[1] = colour.green;
                out[2] = colour.blue;
            }
        }
    }
}

WebpWriteStatus statusForEncoderError(WebPEncodingError error) {
    switch (error) {
        case VP8_ENC_ERROR_OUT_OF_MEMORY:
        case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
            return WebpWriteStatus::NoMemory;
        case VP8_ENC_ERROR_BAD_DIMENSION:
            return WebpWriteStatus::TooLarge;
        default:
            return WebpWriteStatus::OutputFailed;
    }
}

}  // namespace

WebpWriteResult writeWebp(const char16_t* path, const PictureToWrite& picture,
                          const WebpOptions& options) {
    WebpWriteResult result;
    const int32_t width = picture.width;
    const int32_t height = picture.height;
    if (width <= 0 || height <= 0 || !picture.pixels ||
        (picture.currentBitCount != 8 && picture.currentBitCount != 24) ||
        (picture.currentBitCount == 8 && !picture.palette)) {
        result.status = WebpWriteStatus::Unsupported;
        return result;
    }
    if (width > kWebpMaxSide || height > kWebpMaxSide) {
        result.status = WebpWriteStatus::TooLarge;
        return result;
    }

    WebPConfig config;
    EncoderPicture encoderPicture;
    if (!WebPConfigInit(&config) || !encoderPicture.valid()) {
        result.status = WebpWriteStatus::OutputFailed;
        return result;
    }
    config.quality = static_cast<float>(options.quality < 1     ? 1
                                        : options.quality > 100 ? 100
                                                                : options.quality);
    config.lossless = options.lossless ? 1 : 0;
    WebPPicture& webp = encoderPicture.get();
    webp.width = width;
    webp.height = height;
    // Lossless works on ARGB; lossy converts straight to YUV, as cwebp does.
    webp.use_argb = config.lossless;

    {
        RgbRows rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        if (!rgb.data()) {
            result.status = WebpWriteStatus::NoMemory;
            return result;
        }
        copyRowsTopDown(picture, rgb.data());
        if (!WebPPictureImportRGB(&webp, rgb.data(), width * 3)) {
            result.status = WebpWriteStatus::NoMemory;
            return result;
        }
    }

    EncodedBytes encoded;
    webp.writer = WebPMemoryWrite;
    webp.custom_ptr = encoded.writer();
    if (!WebPEncode(&config, &webp)) {
        result.status = statusForEncoderError(webp.error_code);
        return result;
    }

    platform::File file;
    if (!file.create(path) || !file.write(encoded.writer()->mem, encoded.writer()->size)) {
        result.status = WebpWriteStatus::OutputFailed;
        return result;
    }
    result.status = WebpWriteStatus::Written;
    result.bytes = encoded.writer()->size;
    return result;
}

}  // namespace formats
