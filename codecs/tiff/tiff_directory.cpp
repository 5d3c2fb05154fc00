#include "codecs/tiff/tiff_directory.h"

#include <climits>

namespace {

enum TiffTag : uint16_t {
    kTagImageWidth = 256,
    kTagImageLength = 257,
    kTagBitsPerSample = 258,
    kTagCompression = 259,
    kTagPhotometric = 262,
    kTagStripOffsets = 273,
    kTagSamplesPerPixel = 277,
    kTagStripByteCounts = 279,
    kTagXResolution = 282,
    kTagYResolution = 283,
    kTagPlanarConfiguration = 284,
    kTagResolutionUnit = 296,
    kTagColorMap = 320,
};

constexpr uint32_t kEntrySize = 12;
constexpr uint32_t kMaxArrayCount = uint32_t{1} << 30;

// One 12-byte directory entry; the value field holds the value itself when
// it fits in 4 bytes, otherwise the file offset of the values.
struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    const uint8_t* valueField;
};

class DirectoryParser {
  public:
    DirectoryParser(MappedInput& input, TiffDirectory& directory)
        : input_(input), dir_(directory) {}

    bool parse();

  private:
    uint16_t value16(const Entry& e) const {
        const uint8_t* p = e.valueField;
        return dir_.readU16(p);
    }
    uint32_t value32(const Entry& e) const {
        const uint8_t* p = e.valueField;
        return dir_.readU32(p);
    }

    bool readHeader(uint32_t& directoryOffset);
    bool readEntry(const Entry& e);
    bool readDimension(const Entry& e, int32_t& target);
    bool readBitsPerSample(const Entry& e);
    bool readArray(const Entry& e, TiffArray& target);

    MappedInput& input_;
    TiffDirectory& dir_;
};

bool DirectoryParser::readHeader(uint32_t& directoryOffset) {
    if (input_.size() < 8) return input_.fail(kStatusMalformed);
    const uint8_t* p = input_.base;
    if (p[0] == 'I' && p[1] == 'I') {
        dir_.littleEndian = true;
        dir_.readU16 = readU16LE;
        dir_.readU32 = readU32LE;
    } else if (p[0] == 'M' && p[1] == 'M') {
        dir_.littleEndian = false;
        dir_.readU16 = readU16BE;
        dir_.readU32 = readU32BE;
    } else {
        return input_.fail(kStatusMalformed);
    }
    input_.cursor = p + 2;
    if (dir_.readU16(input_.cursor) != 42) return input_.fail(kStatusMalformed);
    directoryOffset = dir_.readU32(input_.cursor);
    return true;
}

bool DirectoryParser::parse() {
    uint32_t offset = 0;
    if (!readHeader(offset)) return false;
    if (!input_.holds(offset, 2)) return input_.fail(kStatusMalformed);
    input_.cursor = input_.base + offset;
    uint32_t entryCount = dir_.readU16(input_.cursor);
    if (!input_.holds(uint64_t{offset} + 2, uint64_t{entryCount} * kEntrySize))
        return input_.fail(kStatusMalformed);

    for (uint32_t i = 0; i < entryCount; ++i) {
        Entry e;
        e.tag = dir_.readU16(input_.cursor);
        e.type = dir_.readU16(input_.cursor);
        e.count = dir_.readU32(input_.cursor);
        e.valueField = input_.cursor;
        input_.cursor += 4;
        if (!readEntry(e)) return false;
    }

    if (dir_.width < 1 || dir_.height < 1) return input_.fail(kStatusUnsupported);
    if (!dir_.stripOffsets.present() || !dir_.stripByteCounts.present() ||
        dir_.stripOffsets.count != dir_.stripByteCounts.count)
        return input_.fail(kStatusMalformed);
    return true;
}

bool DirectoryParser::readEntry(const Entry& e) {
    switch (e.tag) {
        case kTagImageWidth:
            return readDimension(e, dir_.width);
        case kTagImageLength:
            return readDimension(e, dir_.height);
        case kTagBitsPerSample:
            return readBitsPerSample(e);
        case kTagCompression:
            // Only the first 16 bits of the value field count, whatever the
            // type: a big-endian LONG entry therefore reads as 0 and is refused.
            dir_.compression = value16(e);
            if (dir_.compression != 1) return input_.fail(kStatusUnsupported);
            return true;
        case kTagPhotometric:
            dir_.photometric = value16(e);
            return true;
        case kTagSamplesPerPixel:
            dir_.samplesPerPixel = value16(e);
            return true;
        case kTagPlanarConfiguration:
            dir_.planarConfiguration = value16(e);
            return true;
        case kTagResolutionUnit:
            dir_.resolutionUnit = value16(e);
            return true;
        case kTagStripOffsets:
            return readArray(e, dir_.stripOffsets);
        case kTagStripByteCounts:
            return readArray(e, dir_.stripByteCounts);
        case kTagXResolution:
            dir_.xResolutionOffset = value32(e);
            return true;
        case kTagYResolution:
            dir_.yResolutionOffset = value32(e);
            return true;
        case kTagColorMap:
            dir_.colorMapOffset = value32(e);
            return true;
        default:
            return true;  // tags the reader does not need
    }
}

bool DirectoryParser::readDimension(const Entry& e, int32_t& target) {
    uint32_t value;
    if (e.type == kTiffShort)
        value = value16(e);
    else if (e.type == kTiffLong)
        value = value32(e);
    else
        return input_.fail(kStatusMalformed);
    if (value == 0) return input_.fail(kStatusMalformed);
    if (value > INT32_MAX) return input_.fail(kStatusUnsupported);
    target = static_cast<int32_t>(value);
    return true;
}

bool DirectoryParser::readBitsPerSample(const Entry& e) {
    dir_.sampleCount = e.count > INT32_MAX ? INT32_MAX : static_cast<int32_t>(e.count);
    if (e.count == 1) {
        dir_.bitsPerSample = value16(e);
    } else if (e.count == 3) {
        uint32_t offset = value32(e);
        if (!input_.holds(offset, 6)) return input_.fail(kStatusMalformed);
        const uint8_t* p = input_.base + offset;
        uint16_t red = dir_.readU16(p);
        uint16_t green = dir_.readU16(p);
        uint16_t blue = dir_.readU16(p);
        if (red != green || red != blue || (red != 8 && red != 16))
            return input_.fail(kStatusUnsupported);
        dir_.bitsPerSample = red;
    }
    // Any other count (alpha or extra samples) leaves the value alone; the
    // sample count then makes the plan refuse the file.
    return true;
}

bool DirectoryParser::readArray(const Entry& e, TiffArray& target) {
    if (target.present()) return input_.fail(kStatusMalformed);
    if (e.count >= kMaxArrayCount) return input_.fail(kStatusUnsupported);
    if ((e.type != kTiffShort && e.type != kTiffLong) || e.count == 0)
        return input_.fail(kStatusMalformed);
    uint64_t bytes = uint64_t{e.count} * (e.type == kTiffShort ? 2 : 4);
    if (bytes <= 4) {
        // Up to two SHORTs or one LONG sit in the entry itself.
        target.values = e.valueField;
    } else {
        uint32_t offset = value32(e);
        if (!input_.holds(offset, bytes)) return input_.fail(kStatusMalformed);
        target.values = input_.base + offset;
    }
    target.count = e.count;
    target.type = e.type;
    return true;
}

}  // namespace

uint32_t TiffDirectory::arrayValue(const TiffArray& array, uint32_t index) const {
    if (array.type == kTiffShort) {
        const uint8_t* p = array.values + uint64_t{index} * 2;
        return littleEndian ? loadU16LE(p) : loadU16BE(p);
    }
    const uint8_t* p = array.values + uint64_t{index} * 4;
    return littleEndian ? loadU32LE(p) : loadU32BE(p);
}

bool readTiffDirectory(MappedInput& input, TiffDirectory& directory) {
    directory = TiffDirectory{};
    return DirectoryParser(input, directory).parse();
}
