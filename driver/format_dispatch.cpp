#include "driver/format_dispatch.h"

#include <new>

#include "codecs/codec_status.h"
#include "driver/codec_set.h"
#include "driver/resize_step.h"

CodecContexts* CodecContexts::create() {
    auto* contexts = new (std::nothrow) CodecContexts;
    if (!contexts) return nullptr;
    contexts->codecs_ = new (std::nothrow) CodecSet;
    if (!contexts->codecs_) {
        delete contexts;
        return nullptr;
    }
    return contexts;
}

CodecContexts::~CodecContexts() {
    delete codecs_;
}

ReadResult CodecContexts::read(const FormatEntry* reader, SourceBytes& source, ImageRecord& record,
                               const ReadRequest& request) {
    if (reader) return reader->read(*codecs_, source, record, request);
    return {};  // no codec was used for an unrecognised file
}

WriteResult CodecContexts::write(const FormatEntry& format, const char16_t* path,
                                 const PictureToWrite& picture, const WriteRequest& request) {
    if (format.write) return format.write(*codecs_, path, picture, request);
    WriteResult result;
    result.status = kStatusUnsupported;  // re-written from its source, never encoded
    return result;
}

ReadResult CodecContexts::copyJpeg(SourceBytes& source, const SourceMetadata& metadata,
                                   const char16_t* destination) {
    JpegCopy& copy = codecs_->jpegCopy;
    copy.resetOptions();
    copy.setOrientation(metadata.orientation);
    copy.setIccProfile(metadata.iccProfile, metadata.iccSize);
    ReadResult result;
    result.ok = copy.transcode(source, destination);
    result.status = copy.status();
    result.damaged = result.ok && copy.damaged();
    return result;
}

bool CodecContexts::resize(WorkingPicture& picture, int32_t mode, int32_t target) {
    return resizeWorkingPicture(picture, mode, target, codecs_->resampler, codecs_->sharpener);
}
