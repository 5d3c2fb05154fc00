// avif.sph: AVIF pictures through libheif with dav1d.
#include "formats/avif_decoder.h"
#include "plugins/formats/susie_shell.h"

namespace {
constexpr const char* kPatterns[] = {"*.avif"};
constexpr const char* kNames[] = {"AVIF picture"};
}  // namespace

const SusieFormat kSusieFormat = {
    "Moravel AVIF import filter",
    kPatterns,
    kNames,
    1,
    "AVIF import filter of Moravel.\n\nDecodes with libheif (GNU LGPL 3.0) and dav1d (BSD "
    "licence); their licence texts are in the program's folder.",
    formats::looksLikeAvif,
    formats::readAvifSize,
    formats::decodeAvif,
};
