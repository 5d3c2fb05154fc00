#include "app/failure_words.h"

#include "codecs/codec_status.h"
#include "lang/resource_ids.h"

namespace app {

namespace {

bool hasCodecReason(uint32_t status) {
    return status != 0 && status != kStatusOk;
}

// Statuses 50001-50099 have a string each where the codecs define them;
// any other, or one the library lacks, gets the general text.
std::wstring codecWords(const LanguageLibrary& language, uint32_t status) {
    if (status > kStatusOk && status < kStatusOk + 100) {
        const UiText text = language.text(IDS_CODEC_STATUS_BASE + (status - kStatusOk));
        if (text.text[0]) return text.text;
    }
    return language.text(IDS_CODEC_STATUS_OTHER).text;
}

// The system's own wording of an error code, in the system's language.
std::wstring systemWords(uint32_t error) {
    wchar_t text[256] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, 256, nullptr);
    std::wstring words(text, length);
    // Without the line break and the full stop the system ends it with.
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                              words.back() == L' ' || words.back() == L'.'))
        words.pop_back();
    if (words.empty()) words = L"error " + std::to_wstring(error);
    return words;
}

std::wstring withDetail(const LanguageLibrary& language, UINT what, uint32_t codecStatus,
                        uint32_t systemError) {
    const std::wstring words = language.text(what).text;
    if (hasCodecReason(codecStatus))
        return fillIn(language.text(IDS_FAILURE_WITH_DETAIL), words,
                      codecWords(language, codecStatus));
    if (systemError != 0)
        return fillIn(language.text(IDS_FAILURE_WITH_DETAIL), words, systemWords(systemError));
    return words;
}

}  // namespace

std::wstring fillIn(const wchar_t* pattern, const std::wstring& first, const std::wstring& second) {
    std::wstring text;
    for (const wchar_t* p = pattern; *p; ++p) {
        if (p[0] == L'%' && (p[1] == L'1' || p[1] == L'2')) {
            text += p[1] == L'1' ? first : second;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

UINT batchErrorStringId(BatchError error) {
    switch (error) {
        case BatchError::NoMemory:
            return IDS_ERROR_OUT_OF_MEMORY;
        case BatchError::NothingProduced:
            return IDS_ERROR_NOTHING_CONVERTED;
        case BatchError::NoSourceFolder:
            return IDS_ERROR_NO_OUTPUT_FOLDER;
        case BatchError::SubFolder:
            return IDS_ERROR_SUB_FOLDER;
    }
    return IDS_ERROR_OUT_OF_MEMORY;
}

std::wstring failureWords(const LanguageLibrary& language, FileFailure failure, OutputFormat format,
                          uint32_t codecStatus, uint32_t systemError) {
    switch (failure) {
        case FileFailure::Unreadable:
            if (!hasCodecReason(codecStatus)) return language.text(IDS_FAILURE_NOT_A_PICTURE).text;
            return withDetail(language, IDS_FAILURE_CANNOT_READ, codecStatus, 0);
        case FileFailure::ResizeFailed:
            return withDetail(language, IDS_FAILURE_RESIZE, codecStatus, 0);
        case FileFailure::EncodeFailed:
            return withDetail(
                language,
                format == OutputFormat::JpegCopy ? IDS_FAILURE_LOSSLESS : IDS_FAILURE_ENCODE,
                codecStatus, systemError);
        case FileFailure::NoFreeName:
            return language.text(IDS_FAILURE_NO_FREE_NAME).text;
        case FileFailure::CopyFailed:
            return withDetail(language, IDS_FAILURE_COPY, 0, systemError);
        case FileFailure::NotJpeg:
            return language.text(IDS_FAILURE_NOT_JPEG).text;
    }
    return language.text(IDS_CODEC_STATUS_OTHER).text;
}

}  // namespace app
