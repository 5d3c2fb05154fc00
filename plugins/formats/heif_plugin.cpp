// heif.sph: HEIC pictures through libheif with libde265.
#include "formats/heif_decoder.h"
#include "plugins/formats/susie_shell.h"

namespace {
constexpr const char* kPatterns[] = {"*.heic", "*.heif"};
constexpr const char* kNames[] = {"HEIC picture", "HEIF picture"};
constexpr const char* kJapaneseNames[] = {"HEIC 画像", "HEIF 画像"};
}  // namespace

const SusieFormat kSusieFormat = {
    kPatterns,
    2,
    {"Moravel HEIC import filter", kNames,
     "HEIC import filter of Moravel.\n\nDecodes with libheif and libde265 (GNU LGPL 3.0); "
     "their licence texts are in the \"licenses\" folder in Moravel's folder."},
    {"Moravel HEIC 読み込みプラグイン", kJapaneseNames,
     "Moravel の HEIC 読み込みプラグインです。\n\n画像のデコードには libheif と "
     "libde265（GNU LGPL 3.0）を使っています。ライセンス文は Moravel のフォルダー内の"
     "「licenses」フォルダーにあります。"},
    formats::looksLikeHeif,
    formats::readHeifSize,
    formats::decodeHeif,
};
