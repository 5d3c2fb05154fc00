// webp.sph: WebP pictures through libwebp.
#include "formats/webp_decoder.h"
#include "plugins/formats/susie_shell.h"

namespace {
constexpr const char* kPatterns[] = {"*.webp"};
constexpr const char* kNames[] = {"WebP picture"};
constexpr const char* kJapaneseNames[] = {"WebP 画像"};
}  // namespace

const SusieFormat kSusieFormat = {
    kPatterns,
    1,
    {"Moravel WebP import filter", kNames,
     "WebP import filter of Moravel.\n\nDecodes with libwebp (BSD licence); its licence texts "
     "are in the \"licenses\" folder in Moravel's folder."},
    {"Moravel WebP 読み込みプラグイン", kJapaneseNames,
     "Moravel の WebP 読み込みプラグインです。\n\n画像のデコードには libwebp（BSD "
     "ライセンス）を使っています。ライセンス文は Moravel のフォルダー内の「licenses」"
     "フォルダーにあります。"},
    formats::looksLikeWebp,
    formats::readWebpSize,
    formats::decodeWebp,
};
