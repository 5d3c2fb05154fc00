#include "driver/library_decoders.h"

#include "codecs/codec_status.h"
#include "formats/format_registry.h"

namespace {

// Rows go straight into the record's pixel buffer.
class RecordSink final : public formats::PictureSink {
  public:
    explicit RecordSink(ImageRecord& record) : record_(record) {}
    uint8_t* allocate(uint32_t width, uint32_t height, uint32_t stride) override {
        if (width > INT32_MAX || height > INT32_MAX) return nullptr;
        record_.pixels = allocatePixelBuffer(width, height, 24);
        if (record_.pixels)
            setRecordGeometry(record_, static_cast<int32_t>(width), static_cast<int32_t>(height),
                              24);
        return record_.pixels;
    }

  private:
    ImageRecord& record_;
};

// The codec status a front end words for a decoder's failure.
uint32_t codecStatusOf(formats::DecodeStatus status) {
    switch (status) {
        case formats::DecodeStatus::ok:
            return kStatusOk;
        case formats::DecodeStatus::notRecognised:
            return 0;
        case formats::DecodeStatus::damaged:
            return kStatusMalformed;
        case formats::DecodeStatus::unsupported:
        case formats::DecodeStatus::tooLarge:
            return kStatusUnsupported;
        case formats::DecodeStatus::outOfMemory:
            return kStatusNoMemory;
    }
    return kStatusUnsupported;
}

}  // namespace

ReadResult readWithLibraries(CodecSet&, SourceBytes& bytes, ImageRecord& record,
                             const ReadRequest&) {
    ReadResult result;
    resetRecord(record);
    const formats::FormatDecoder* decoder = formats::findDecoder(bytes.data(), bytes.size());
    if (!decoder) return result;
    RecordSink sink(record);
    const formats::DecodeStatus decoded = decoder->decode(bytes.data(), bytes.size(), sink);
    result.status = codecStatusOf(decoded);
    if (decoded != formats::DecodeStatus::ok) {
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
        return result;
    }
    record.sourceFileSize = static_cast<uint32_t>(bytes.size());
    record.sourceModified = bytes.lastWriteTime();
    record.sourceBitsPerPixel = 24;
    record.sourceFormat = kFormatUnknown;
    result.ok = true;
    return result;
}
