// A first-party plug-in shell over a decoder whose internal check fails, as
// a library's assert would on a file it never expected: "CHCK" files.
#undef NDEBUG
#include <cassert>
#include <cstring>

#include "plugins/formats/susie_shell.h"

namespace {

bool looksLikeCheck(const uint8_t* head, size_t size) {
    return size >= 4 && std::memcmp(head, "CHCK", 4) == 0;
}

formats::DecodeStatus readCheckSize(const uint8_t* data, size_t size, formats::PictureSize& out) {
    out = {1, 1};
    return formats::DecodeStatus::ok;
}

formats::DecodeStatus decodeCheck(const uint8_t* data, size_t size, formats::PictureSink&) {
    assert(size < 4 && "the library's own invariant");
    return formats::DecodeStatus::damaged;
}

constexpr const char* kPatterns[] = {"*.chck"};
constexpr const char* kNames[] = {"Check picture"};

}  // namespace

const SusieFormat kSusieFormat = {
    kPatterns,
    1,
    {"Failed-check test filter", kNames, ""},
    {"Failed-check test filter", kNames, ""},
    looksLikeCheck,
    readCheckSize,
    decodeCheck,
};
