#include "driver/library_formats.h"

#include <array>

#include "codecs/codec_status.h"
#include "codecs/jpeg/jpeg_writer.h"
#include "driver/native_formats.h"
#ifndef _WIN32
#include "driver/library_decoders.h"
#endif
#include "formats/webp_encoder.h"

namespace {

uint32_t codecStatusOf(formats::WebpWriteStatus status) {
    switch (status) {
        case formats::WebpWriteStatus::Written:
            return kStatusOk;
        case formats::WebpWriteStatus::Unsupported:
            return kStatusReducerFailed;
        case formats::WebpWriteStatus::TooLarge:
            return kStatusTooLargeForFormat;
        case formats::WebpWriteStatus::NoMemory:
            return kStatusNoMemory;
        case formats::WebpWriteStatus::OutputFailed:
            break;
    }
    return kStatusOutputError;
}

WriteResult writeWebp(CodecSet&, const char16_t* path, const PictureToWrite& picture,
                      const WriteRequest& request) {
    formats::WebpOptions options;
    options.quality = jpegQualityForSetting(request.settings.jpegQuality);
    options.lossless = (request.switches & kOptionLossless) != 0;
    const formats::WebpWriteResult written = formats::writeWebp(path, picture, options);
    WriteResult result = native_codecs::finished(
        written.status == formats::WebpWriteStatus::Written, codecStatusOf(written.status));
    result.bytes = written.bytes;
    return result;
}

constexpr FormatEntry kLibraryFormats[] = {
    {"webp", nullptr, "webp: lossy unless --lossless", u".webp", 0, OutputFormat::Webp,
     kFormatUnknown, nullptr, writeWebp, false, kOptionQuality | kOptionLossless},
#ifndef _WIN32
    // WebP, HEIC and AVIF input; on Windows the import plug-ins read them.
    {nullptr, nullptr, nullptr, nullptr, 0, OutputFormat::Bmp, kFormatUnknown, readWithLibraries,
     nullptr, false, 0},
#endif
};

template <size_t First, size_t Second>
constexpr std::array<FormatEntry, First + Second> joined(const FormatEntry (&first)[First],
                                                         const FormatEntry (&second)[Second]) {
    std::array<FormatEntry, First + Second> entries{};
    for (size_t i = 0; i < First; ++i) entries[i] = first[i];
    for (size_t i = 0; i < Second; ++i) entries[First + i] = second[i];
    return entries;
}

constexpr auto kEveryFormat = joined(kNativeFormats, kLibraryFormats);

constexpr FormatSwitch kSwitches[] = {
    {"--lossless", kOptionLossless,
     "WebP: lossless instead of lossy; --quality then sets the effort spent on compression"},
};

}  // namespace

FormatTable everyFormat() {
    return kEveryFormat;
}

std::span<const FormatSwitch> everyFormatSwitch() {
    return kSwitches;
}
