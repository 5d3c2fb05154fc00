#include "plugins/formats/formats_reader.h"

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

}  // namespace

bool FormatsReader::read(const char16_t*, const SourceBytes& bytes, ImageRecord& record,
                         FallbackReport&) {
    resetRecord(record);
    const formats::FormatDecoder* decoder = formats::findDecoder(bytes.data(), bytes.size());
    if (!decoder) return false;
    RecordSink sink(record);
    if (decoder->decode(bytes.data(), bytes.size(), sink) != formats::DecodeStatus::ok) {
        releasePixelBuffer(record.pixels);
        record.pixels = nullptr;
        return false;
    }
    record.sourceFileSize = static_cast<uint32_t>(bytes.size());
    record.sourceModified = bytes.lastWriteTime();
    record.sourceBitsPerPixel = 24;
    record.sourceFormat = kFormatUnknown;
    return true;
}
