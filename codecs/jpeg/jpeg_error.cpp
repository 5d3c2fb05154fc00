#include "codecs/jpeg/jpeg_error.h"

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

[[noreturn]] void jumpBack(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    std::longjmp(manager->jumpTarget, 1);
}

void exitWithMessage(j_common_ptr cinfo) {
    char buffer[JMSG_LENGTH_MAX] = {};
    (*cinfo->err->format_message)(cinfo, buffer);
    storeMessage(*reinterpret_cast<JpegErrorManager*>(cinfo->err), buffer);
    jumpBack(cinfo);
}

}  // namespace

jpeg_error_mgr* installJpegErrorManager(JpegErrorManager& manager, char16_t* messageText) {
    jpeg_std_error(&manager.library);
    manager.library.error_exit = exitWithMessage;
    manager.messageText = messageText;
    return &manager.library;
}

void failJpegCall(j_common_ptr cinfo, const char* message) {
    storeMessage(*reinterpret_cast<JpegErrorManager*>(cinfo->err), message);
    jumpBack(cinfo);
}
