#include "formats/avif_decoder.h"

#include <iterator>

#include "formats/libheif_decoder.h"

namespace formats {
namespace {

constexpr const char* kAv1Brands[] = {"avif", "avis"};

// A frame is cut into tiles of at most 4096 x 2304 coded pixels, each
// needing at least one byte of tile data, and super-resolution at most
// doubles the coded width. A weak bound, but a true one.
uint64_t describablePixels(size_t fileBytes) {
    return uint64_t{fileBytes} * 2 * 4096 * 2304;
}

constexpr HeifCoding kAv1 = {kAv1Brands, std::size(kAv1Brands), "av01", describablePixels};

}  // namespace

bool looksLikeAvif(const uint8_t* head, size_t size) {
    return looksLikeHeifCoding(kAv1, head, size);
}

DecodeStatus readAvifSize(const uint8_t* data, size_t size, PictureSize& out) {
    return readHeifCodingSize(kAv1, data, size, out);
}

DecodeStatus decodeAvif(const uint8_t* data, size_t size, PictureSink& sink) {
    return decodeHeifCoding(kAv1, data, size, sink);
}

}  // namespace formats
