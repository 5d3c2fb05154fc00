// webp.sph: WebP pictures through libwebp.
#include "formats/webp_decoder.h"
#include "plugins/formats/susie_shell.h"

namespace {
constexpr const char* kPatterns[] = {"*.webp"};
constexpr const char* kNames[] = {"WebP picture"};
}  // namespace

const SusieFormat kSusieFormat = {
    "Moravel WebP import filter",
    kPatterns,
    kNames,
    1,
    "WebP import filter of Moravel.\n\nDecodes with libwebp (BSD licence); "
    "its licence text is in the program's folder.",
    formats::looksLikeWebp,
    formats::readWebpSize,
    formats::decodeWebp,
};
