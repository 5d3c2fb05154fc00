#include "formats/heif_decoder.h"

#include <iterator>

#include "formats/libheif_decoder.h"

namespace formats {
namespace {

constexpr const char* kHevcBrands[] = {"heic", "heix", "heim", "heis",
                                       "hevc", "hevx", "hevm", "hevs"};

// Every HEVC coding tree block (at most 64 x 64 pixels) ends with an
// end-of-slice-segment decision coded by the arithmetic coder's terminating
// mode, which costs at least log2(510 / 508) bits, so one byte of data holds
// at most 8 * 177 of them. A weak bound, but a true one.
uint64_t describablePixels(size_t fileBytes) {
    return uint64_t{fileBytes} * 8 * 177 * 64 * 64;
}

constexpr HeifCoding kHevc = {kHevcBrands, std::size(kHevcBrands), "hvc1", describablePixels};

}  // namespace

bool looksLikeHeif(const uint8_t* head, size_t size) {
    return looksLikeHeifCoding(kHevc, head, size);
}

DecodeStatus readHeifSize(const uint8_t* data, size_t size, PictureSize& out) {
    return readHeifCodingSize(kHevc, data, size, out);
}

DecodeStatus decodeHeif(const uint8_t* data, size_t size, PictureSink& sink) {
    return decodeHeifCoding(kHevc, data, size, sink);
}

}  // namespace formats
