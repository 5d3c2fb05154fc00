#include "codecs/jpeg/jpeg_error.h"

#include "codecs/codec_status.h"

namespace {

// Widens the library's ASCII message (at most kJpegMessageCapacity - 1
// characters) into the context's text.
void storeMessage(const JpegErrorManager& manager, const char* message) {
    if (!manager.messageText) return;
    size_t n = 0;
    for (; n + 1 < kJpegMessageCapacity && message[n]; ++n)
        manager.messageText[n] = static_cast<unsigned char>(message[n]);
    manager.messageText[n] = u'\0';
}

// The status a library error stands for: memory, writing and short input
// have their own; features the library lacks count as unsupported content;
// everything else is damaged data.
uint32_t statusForLibraryError(int code) {
    switch (code) {
        case JERR_OUT_OF_MEMORY:
            return kStatusNoMemory;
        case JERR_FILE_WRITE:
            return kStatusOutputError;
        case JERR_INPUT_EMPTY:
        case JERR_INPUT_EOF:
            return kStatusInputError;
        case JERR_BAD_PRECISION:
        case JERR_CCIR601_NOTIMPL:
        case JERR_CONVERSION_NOTIMPL:
        case JERR_EMPTY_IMAGE:
        case JERR_FRACT_SAMPLE_NOTIMPL:
        case JERR_IMAGE_TOO_BIG:
        case JERR_NOTIMPL:
        case JERR_WIDTH_OVERFLOW:
            return kStatusUnsupported;
        default:
            return kStatusMalformed;
    }
}

// Warnings (level -1) are counted, never printed: the front end says in its
// own words that the file was damaged. Trace messages are dropped.
void countWarning(j_common_ptr cinfo, int level) {
    if (level < 0) ++cinfo->err->num_warnings;
}

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(manager->jumpTarget, 1);
}

void exitWithMessage(j_common_ptr cinfo) {
    char buffer[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, buffer);
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    storeMessage(*manager, buffer);
    manager->failureStatus = statusForLibraryError(cinfo->err->msg_code);
    jumpBack(cinfo);
}

}  // namespace

jpeg_error_mgr* installJpegErrorManager(JpegErrorManager& manager, char16_t* messageText) {
    jpeg_std_error(&manager.library);
    manager.library.error_exit = exitWithMessage;
    manager.library.emit_message = countWarning;
    manager.messageText = messageText;
    manager.failureStatus = kStatusOk;
    return &manager.library;
}

void failJpegCall(j_common_ptr cinfo, const char* message) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    storeMessage(*manager, message);
    manager->failureStatus = kStatusUnsupported;
    jumpBack(cinfo);
}
