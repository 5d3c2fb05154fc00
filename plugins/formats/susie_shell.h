// The Windows side of a first-party import plug-in: the Susie exports
// (susie_shell.cpp) over one portable decoder. Each plug-in's source defines
// kSusieFormat and nothing else.
#pragma once

#include "formats/decoded_picture.h"

// What a plug-in says in one language, in UTF-8.
struct SusieTexts {
    const char* description;   // GetPluginInfo index 1
    const char* const* names;  // index 3, 5, ...: "WebP picture", one per pattern
    const char* about;         // the text of the About box
};

struct SusieFormat {
    const char* const* patterns;  // index 2, 4, ...: "*.webp"
    int patternCount;
    SusieTexts english;
    SusieTexts japanese;  // when the user's interface language is Japanese
    bool (*looksLike)(const uint8_t* head, size_t size);
    formats::DecodeStatus (*readSize)(const uint8_t* data, size_t size, formats::PictureSize& out);
    formats::DecodeStatus (*decode)(const uint8_t* data, size_t size, formats::PictureSink& sink);
};

extern const SusieFormat kSusieFormat;

// The exception a plug-in raises when an internal check (assert) of the
// libraries in it fails, instead of ending the host's process.
constexpr unsigned long kSusieFailedCheck = 0xE04D4348;
