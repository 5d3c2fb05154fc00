// avif.sph: AVIF pictures through libheif with dav1d.
#include "formats/avif_decoder.h"
#include "plugins/formats/susie_shell.h"

namespace {
constexpr const char* kPatterns[] = {"*.avif"};
constexpr const char* kNames[] = {"AVIF picture"};
constexpr const char* kJapaneseNames[] = {"AVIF 画像"};
}  // namespace

const SusieFormat kSusieFormat = {
    kPatterns,
    1,
    {"Moravel AVIF import filter", kNames,
     "AVIF import filter of Moravel.\n\nDecodes with libheif (GNU LGPL 3.0) and dav1d (BSD "
     "licence); their licence texts are in the \"licenses\" folder in Moravel's folder."},
    {"Moravel AVIF 読み込みプラグイン", kJapaneseNames,
     "Moravel の AVIF 読み込みプラグインです。\n\n画像のデコードには libheif（GNU LGPL "
     "3.0）と dav1d（BSD ライセンス）を使っています。ライセンス文は Moravel のフォルダー内の"
     "「licenses」フォルダーにあります。"},
    formats::looksLikeAvif,
    formats::readAvifSize,
    formats::decodeAvif,
};
