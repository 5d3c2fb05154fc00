// Round trip of arbitrary index data through the GIF LZW encoder and
// decoder, with the input split into pieces the way rows are fed; the
// decoder must restore every byte and see the end code.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/gif/gif_lzw_decoder.h"
#include "codecs/gif/gif_lzw_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t piece = data[0] + 1u;  // first byte: piece length
    const uint8_t* input = data + 1;
    const size_t count = size - 1;

    static auto encoderTables = std::make_unique<gif::LzwEncoderTables>();
    static auto decoderTable = std::make_unique<gif::LzwDecoderTable>();
    std::vector<uint8_t> codes(gif::lzwEncodedBound(count) + gif::kLzwInputPadding, 0);
    gif::LzwEncoder encoder;
    encoder.begin(*encoderTables, codes.data());
    for (size_t i = 0; i < count; i += piece)
        encoder.feed(input + i, count - i < piece ? count - i : piece);
    const size_t encoded = encoder.finish();
    if (encoded + 3 > gif::lzwEncodedBound(count)) std::abort();
    std::memset(codes.data() + encoded, 0, codes.size() - encoded);

    std::vector<uint8_t> decoded(count);
    const gif::LzwDecodeResult result =
        gif::decodeLzw(*decoderTable, codes.data(), encoded, 8, decoded.data(), count);
    if (result.written != count || !result.endCodeSeen ||
        std::memcmp(decoded.data(), input, count) != 0)
        std::abort();
    return 0;
}
