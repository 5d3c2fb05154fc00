// heif.sph: HEIC pictures through libheif with libde265.
#include "formats/heif_decoder.h"
#include "plugins/formats/susie_shell.h"

namespace {
constexpr const char* kPatterns[] = {"*.heic", "*.heif"};
constexpr const char* kNames[] = {"HEIC picture", "HEIF picture"};
}  // namespace

const SusieFormat kSusieFormat = {
    "Moravel HEIC import filter",
    kPatterns,
    kNames,
    2,
    "HEIC import filter of Moravel.\n\nDecodes with libheif and libde265 (GNU LGPL 3.0); "
    "their licence texts are in the program's folder.",
    formats::looksLikeHeif,
    formats::readHeifSize,
    formats::decodeHeif,
};
