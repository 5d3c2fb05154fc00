#include "imaging/icc_header_check.h"

#include <cstring>

namespace imaging {
namespace {

constexpr size_t kHeaderBytes = 128;
constexpr size_t kTagEntryBytes = 12;  // signature, offset, size

uint32_t bigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool isSignature(const uint8_t* p, const char* fourcc) {
    return std::memcmp(p, fourcc, 4) == 0;
}

}  // namespace

IccHeaderCheck checkIccHeader(const uint8_t* icc, size_t size) {
    IccHeaderCheck result;
    if (!icc || size < kHeaderBytes + 4 || size > kMaxIccProfileBytes) return result;
    // The declared size counts; trailing bytes (a padded APP2 chunk) do not.
    const uint32_t declared = bigEndian32(icc);
    if (declared < kHeaderBytes + 4 || declared > size) return result;
    if (!isSignature(icc + 36, "acsp")) return result;
    const uint8_t* deviceClass = icc + 12;
    if (!isSignature(deviceClass, "scnr") && !isSignature(deviceClass, "mntr") &&
        !isSignature(deviceClass, "prtr") && !isSignature(deviceClass, "spac"))
        return result;
    const uint8_t* dataSpace = icc + 16;
    if (isSignature(dataSpace, "RGB "))
        result.space = IccSpace::rgb;
    else if (isSignature(dataSpace, "GRAY"))
        result.space = IccSpace::grey;
    else if (isSignature(dataSpace, "CMYK"))
        result.space = IccSpace::cmyk;
    else
        return result;
    if (!isSignature(icc + 20, "XYZ ") && !isSignature(icc + 20, "Lab ")) return result;

    const uint32_t tagCount = bigEndian32(icc + kHeaderBytes);
    if (tagCount == 0 || tagCount > kMaxIccTags) return result;
    const uint64_t tableEnd = kHeaderBytes + 4 + uint64_t{tagCount} * kTagEntryBytes;
    if (tableEnd > declared) return result;
    for (uint32_t i = 0; i < tagCount; ++i) {
        const uint8_t* entry = icc + kHeaderBytes + 4 + size_t{i} * kTagEntryBytes;
        const uint64_t offset = bigEndian32(entry + 4);
        const uint64_t length = bigEndian32(entry + 8);
        // Every tag holds at least its type signature and reserved word.
        if (offset < tableEnd || length < 8 || offset + length > declared) return result;
    }
    result.usable = true;
    return result;
}

}  // namespace imaging
