#include "cli/failure_text.h"

#include "codecs/codec_status.h"
#include "platform/platform.h"

std::string systemReason(uint32_t systemError) {
    char text[256] = {};
    platform::systemErrorText(systemError, text, sizeof text);
    return text;
}

namespace {

bool hasCodecReason(uint32_t status) {
    return status != 0 && status != kStatusOk;
}

std::string withReason(const char* what, uint32_t codecStatus, uint32_t systemError) {
    std::string text = what;
    if (hasCodecReason(codecStatus))
        text += std::string(": ") + codecStatusText(codecStatus);
    else if (systemError != 0)
        text += ": " + systemReason(systemError);
    return text;
}

}  // namespace

std::string fileFailureText(FileFailure failure, OutputFormat format, uint32_t codecStatus,
                            uint32_t systemError) {
    switch (failure) {
        case FileFailure::Unreadable:
            if (!hasCodecReason(codecStatus)) return "not a picture this program can read";
            return withReason("cannot be read", codecStatus, 0);
        case FileFailure::ResizeFailed:
            return withReason("could not be resized", codecStatus, 0);
        case FileFailure::EncodeFailed:
            if (format == OutputFormat::JpegCopy)
                return withReason("could not be re-written losslessly", codecStatus, systemError);
            return withReason("could not be written in the output format", codecStatus,
                              systemError);
        case FileFailure::NoFreeName:
            return "no free output name (name+1 to name+9999 are taken, or the path would be "
                   "too long)";
        case FileFailure::CopyFailed:
            return withReason("could not be copied into the output folder", 0, systemError);
        case FileFailure::NotJpeg:
            return "not a JPEG file (the lossless re-write needs one)";
    }
    return "failed";
}

std::string conversionNoteTexts(const ConversionNotes& notes) {
    std::string lines;
    if (notes.damaged) lines += "damaged, converted with missing parts filled\n";
    if (notes.ignoredProfile) lines += "colour profile ignored (unreadable)\n";
    if (notes.aboveSizeLimit) {
        // Rounded up, so that a file just above the limit never reads as equal to it.
        const uint64_t kib = (notes.outputBytes + 1023) / 1024;
        lines += std::to_string(kib) + " KiB at the lowest quality, above the " +
                 std::to_string(notes.sizeLimitKiB) + " KiB limit\n";
    }
    return lines;
}

std::string batchErrorText(BatchError error, uint32_t systemError) {
    switch (error) {
        case BatchError::NoMemory:
            return "Not enough memory to start the conversion.";
        case BatchError::NothingProduced:
            return "No file was converted.";
        case BatchError::NoSourceFolder:
            return "The folder of the first file does not exist; give --output-folder.";
        case BatchError::SubFolder:
            if (systemError != 0)
                return "The output sub-folder cannot be created: " + systemReason(systemError) +
                       ".";
            return "The output sub-folder cannot be created.";
    }
    return "The conversion failed.";
}
