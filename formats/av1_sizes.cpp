#include "formats/av1_sizes.h"

#include <cstring>

#include "formats/bit_reader.h"

namespace formats {
namespace {

enum ObuType { kSequenceHeader = 1, kFrameHeader = 3, kFrame = 6, kRedundantFrameHeader = 7 };
enum FrameType { kKeyFrame = 0, kSwitchFrame = 3 };
constexpr uint32_t kSelect = 2;  // a tool chosen per frame

// The fields of a sequence header that frame headers depend on, up to the
// frame size fields.
struct SequenceHeader {
    bool reducedStill = false;
    uint32_t widthBits = 0, heightBits = 0, maxWidth = 0, maxHeight = 0;
    bool decoderModel = false, equalPictureInterval = false;
    uint32_t delayBits = 0, removalDelayBits = 0, presentationDelayBits = 0;
    uint32_t operatingPoints = 0;
    uint32_t idc[32] = {};
    bool decoderModelForPoint[32] = {};
    bool frameIds = false;
    uint32_t frameIdBits = 0;
    bool orderHint = false;
    uint32_t orderHintBits = 0;
    uint32_t screenContentTools = 0, integerMv = 0;
};

bool readSequenceHeader(BitReader& r, SequenceHeader& s) {
    uint32_t profile = 0, v = 0;
    bool still = false;
    if (!r.bits(3, profile) || profile > 2 || !r.flag(still) || !r.flag(s.reducedStill) ||
        (s.reducedStill && !still))
        return false;
    s.operatingPoints = 1;
    if (s.reducedStill) {
        if (!r.skip(5)) return false;
    } else {
        bool timing = false, displayModel = false;
        if (!r.flag(timing)) return false;
        if (timing) {
            if (!r.skip(64) || !r.flag(s.equalPictureInterval)) return false;
            if (s.equalPictureInterval && (!r.expGolomb(v) || v == 0xFFFFFFFF)) return false;
            if (!r.flag(s.decoderModel)) return false;
            if (s.decoderModel) {
                if (!r.bits(5, s.delayBits) || !r.skip(32) || !r.bits(5, s.removalDelayBits) ||
                    !r.bits(5, s.presentationDelayBits))
                    return false;
                ++s.delayBits, ++s.removalDelayBits, ++s.presentationDelayBits;
            }
        }
        if (!r.flag(displayModel) || !r.bits(5, s.operatingPoints)) return false;
        ++s.operatingPoints;
        for (uint32_t i = 0; i < s.operatingPoints; ++i) {
            uint32_t level = 0;
            if (!r.bits(12, s.idc[i]) || !r.bits(3, level) || !r.skip(2)) return false;
            if (level + 2 > 3 && !r.skip(1)) return false;
            bool present = false;
            if (s.decoderModel && !r.flag(present)) return false;
            s.decoderModelForPoint[i] = present;
            if (present && !r.skip(2 * uint64_t{s.delayBits} + 1)) return false;
            if (displayModel && (!r.flag(present) || (present && !r.skip(4)))) return false;
        }
    }
    if (!r.bits(4, s.widthBits) || !r.bits(4, s.heightBits)) return false;
    ++s.widthBits, ++s.heightBits;
    if (!r.bits(static_cast<int>(s.widthBits), s.maxWidth) ||
        !r.bits(static_cast<int>(s.heightBits), s.maxHeight))
        return false;
    ++s.maxWidth, ++s.maxHeight;
    if (!s.reducedStill && !r.flag(s.frameIds)) return false;
    if (s.frameIds) {
        uint32_t delta = 0, extra = 0;
        if (!r.bits(4, delta) || !r.bits(3, extra)) return false;
        s.frameIdBits = extra + delta + 2 + 1;
    }
    if (!r.skip(3)) return false;  // 128 x 128 superblocks, filter intra, intra edge filter
    s.screenContentTools = s.integerMv = kSelect;
    if (s.reducedStill) return true;
    if (!r.skip(4) || !r.flag(s.orderHint)) return false;
    if (s.orderHint && !r.skip(2)) return false;
    bool choose = false;
    if (!r.flag(choose)) return false;
    if (!choose && !r.bits(1, s.screenContentTools)) return false;
    if (s.screenContentTools != 0) {
        if (!r.flag(choose)) return false;
        if (!choose && !r.bits(1, s.integerMv)) return false;
    }
    if (s.orderHint) {
        if (!r.bits(3, s.orderHintBits)) return false;
        ++s.orderHintBits;
    }
    return true;
}

// The size a frame header makes the decoder allocate. A frame shown again
// allocates nothing (false with `allocates` cleared); an inter frame that
// overrides the size takes whatever its fields can hold.
bool frameSize(BitReader& r, const SequenceHeader& s, uint32_t temporalId, uint32_t spatialId,
               bool& allocates, uint32_t& width, uint32_t& height) {
    allocates = false;
    width = s.maxWidth;
    height = s.maxHeight;
    if (s.reducedStill) {
        allocates = true;
        return true;
    }
    bool showExisting = false, show = false, errorResilient = false, override = false;
    uint32_t type = 0;
    if (!r.flag(showExisting)) return false;
    if (showExisting) return true;
    if (!r.bits(2, type) || !r.flag(show)) return false;
    if (show && s.decoderModel && !s.equalPictureInterval && !r.skip(s.presentationDelayBits))
        return false;
    if (!show && !r.skip(1)) return false;
    errorResilient = (type == kKeyFrame && show) || type == kSwitchFrame;
    if (!errorResilient && !r.flag(errorResilient)) return false;
    if (!r.skip(1)) return false;  // disable_cdf_update
    uint32_t screenContent = s.screenContentTools;
    if (screenContent == kSelect && !r.bits(1, screenContent)) return false;
    if (screenContent && s.integerMv == kSelect && !r.skip(1)) return false;
    if (s.frameIds && !r.skip(s.frameIdBits)) return false;
    override = type == kSwitchFrame;
    if (!override && !r.flag(override)) return false;
    if (s.orderHint && !r.skip(s.orderHintBits)) return false;
    const bool intra = (type & 1) == 0;
    if (!errorResilient && !intra && !r.skip(3)) return false;  // primary_ref_frame
    if (s.decoderModel) {
        bool removalTimes = false;
        if (!r.flag(removalTimes)) return false;
        for (uint32_t i = 0; removalTimes && i < s.operatingPoints; ++i) {
            const uint32_t idc = s.idc[i];
            if (s.decoderModelForPoint[i] &&
                (idc == 0 || (((idc >> temporalId) & 1) && ((idc >> (spatialId + 8)) & 1))) &&
                !r.skip(s.removalDelayBits))
                return false;
        }
    }
    allocates = true;
    if (!override) return true;
    if (!intra) {
        width = uint32_t{1} << s.widthBits;
        height = uint32_t{1} << s.heightBits;
        return true;
    }
    uint32_t refresh = 0xFF;
    if (!(type == kKeyFrame && show) && !r.bits(8, refresh)) return false;
    if (refresh != 0xFF && errorResilient && s.orderHint && !r.skip(8 * s.orderHintBits))
        return false;
    if (!r.bits(static_cast<int>(s.widthBits), width) ||
        !r.bits(static_cast<int>(s.heightBits), height))
        return false;
    ++width, ++height;
    return true;
}

// Walks the OBUs of one decoder input in order, as dav1d does, noting the
// size of every frame. Stops where dav1d would stop with an error.
// `strict`: every OBU must carry its size and end inside the data (the rule
// for configuration OBUs, so that the item's data starts a new OBU).
bool scanObus(const uint8_t* p, const uint8_t* end, bool strict, SequenceHeader& sequence,
              bool& haveSequence, CodedSizes& out) {
    while (p < end) {
        const uint8_t header = *p++;
        const uint32_t type = (header >> 3) & 15;
        uint32_t temporalId = 0, spatialId = 0;
        if (header & 0x80) return !strict;  // forbidden bit
        if (header & 4) {
            if (p == end) return !strict;
            temporalId = *p >> 5;
            spatialId = (*p >> 3) & 3;
            ++p;
        }
        uint64_t length = static_cast<uint64_t>(end - p);
        if (header & 2) {
            length = 0;
            int i = 0;
            for (;; ++i) {
                if (i == 8 || p == end) return !strict;
                length |= uint64_t{*p & 0x7Fu} << (7 * i);
                if (!(*p++ & 0x80)) break;
            }
            if (length > static_cast<uint64_t>(end - p)) return !strict;
        } else if (strict) {
            return false;
        }
        BitReader r(p, static_cast<size_t>(length));
        if (type == kSequenceHeader) {
            SequenceHeader next;
            if (!readSequenceHeader(r, next)) return !strict;
            sequence = next;
            haveSequence = true;
        } else if (type == kFrameHeader || type == kFrame || type == kRedundantFrameHeader) {
            if (!haveSequence) return !strict;
            bool allocates = false;
            uint32_t width = 0, height = 0;
            if (!frameSize(r, sequence, temporalId, spatialId, allocates, width, height))
                return !strict;
            if (allocates) out.note(width, height);
        }
        p += length;
    }
    return true;
}

}  // namespace

bool readAv1Sizes(const HeifBoxes& boxes, CodedSizes& out) {
    for (const HeifCodedItem& item : boxes.codedItems) {
        if (std::memcmp(item.type, "av01", 4) != 0) continue;
        // libheif 1.15 hands dav1d an empty input as it is, and dav1d's
        // refusal leaves the input's reference behind, never freed.
        const size_t configObus = item.config.size > 4 ? item.config.size - 4 : 0;
        if (configObus + item.data.size() == 0) return false;
        SequenceHeader sequence;
        bool haveSequence = false;
        if (item.config.data) {
            // marker and version, profile and level, depth and sampling, delay
            if (item.config.size < 4 ||
                !scanObus(item.config.data + 4, item.config.data + item.config.size, true, sequence,
                          haveSequence, out))
                return false;
        }
        scanObus(item.data.data(), item.data.data() + item.data.size(), false, sequence,
                 haveSequence, out);
    }
    return true;
}

}  // namespace formats
