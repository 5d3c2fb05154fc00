// Why a file was not converted, in the words of the language library: the
// same reasons the command line gives in English, in the user's language.
#pragma once

#include <string>

#include "app/language_library.h"
#include "driver/batch_driver.h"

namespace app {

// The text of `pattern` with "%1" and "%2" replaced by `first` and `second`.
std::wstring fillIn(const wchar_t* pattern, const std::wstring& first, const std::wstring& second);

// The language library's string for a batch-level error.
UINT batchErrorStringId(BatchError error);

// The reason for one failed file: the failure in words, and the codec's
// status or the system's error code as its detail where there is one.
std::wstring failureWords(const LanguageLibrary& language, FileFailure failure, OutputFormat format,
                          uint32_t codecStatus, uint32_t systemError);

}  // namespace app
