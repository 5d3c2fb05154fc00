#include "core/codec_contexts.h"

#include <new>

#include "codecs/codec_status.h"

struct CodecContexts::Members {};

CodecContexts* CodecContexts::create() {
    auto* contexts = new (std::nothrow) CodecContexts;
    if (!contexts) return nullptr;
    contexts->members_ = new (std::nothrow) Members;
    if (!contexts->members_) {
        delete contexts;
        return nullptr;
    }
    return contexts;
}

CodecContexts::~CodecContexts() {
    delete members_;
}

bool CodecContexts::read(ImageFormat format, const char16_t* path, ImageRecord& record,
                         const JpegSizeHint& hint, bool keepTransparency,
                         TransparentColor& transparent) {
    lastStatus_ = kStatusUnsupported;
    return false;
}

bool CodecContexts::write(OutputFormat format, const char16_t* path, const PictureToWrite& picture,
                          const Settings& settings) {
    lastStatus_ = kStatusUnsupported;
    return false;
}

bool CodecContexts::copyJpeg(const char16_t* source, const char16_t* destination) {
    lastStatus_ = kStatusUnsupported;
    return false;
}

bool CodecContexts::resize(WorkingPicture& picture, int32_t mode, int32_t target) {
    return false;
}
