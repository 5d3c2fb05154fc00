#include "codecs/codec_status.h"

#include "codecs/png/png_status.h"

const char* codecStatusText(uint32_t status) {
    switch (status) {
        case kStatusOk:
            return "no error";
        case kStatusNoMemory:
            return "not enough memory";
        case kStatusUnsupported:
            return "unsupported or inconsistent picture data";
        case kStatusInputError:
            return "cannot be opened or read, or is empty or cut short";
        case kStatusOutputError:
            return "the output file cannot be written, or would be 4 GiB or more";
        case kStatusReducerFailed:
            return "the colours cannot be converted for the output format";
        case kStatusMalformed:
            return "damaged file structure";
        case kStatusPluginFailed:
            return "an image plug-in crashed or could not be loaded";
        case kStatusSourceChanged:
            return "the file changed while it was read";
        case kStatusTooLargeForFormat:
            return "the picture is wider or taller than the output format allows";
        case kPngInflateFailed:
            return "damaged compressed image data";
        case kPngDeflateFailed:
            return "the image data cannot be compressed";
        case kPngBadCrc:
            return "damaged file (checksum mismatch)";
        case kPngBadChunkLength:
            return "damaged file (impossible chunk length)";
        case kPngBadHeaderLength:
            return "damaged file (wrong header length)";
        case kPngMissingHeader:
            return "damaged file (no header chunk first)";
        case kPngBadColourType:
            return "colour type not allowed for its bit depth";
        case kPngBadBitDepth:
            return "unsupported bit depth";
        case kPngBadCompression:
            return "unsupported compression method";
        case kPngBadFilterMethod:
            return "unsupported filter method";
        case kPngBadInterlace:
            return "unsupported interlace method";
        case kPngChunkOutOfOrder:
            return "damaged file (chunks out of order)";
        case kPngMissingData:
            return "damaged file (image data or palette missing)";
        case kPngBadImageDataRun:
            return "damaged image data";
    }
    return "the picture cannot be read or written";
}
