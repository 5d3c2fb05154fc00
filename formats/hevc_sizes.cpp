#include "formats/hevc_sizes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "formats/bit_reader.h"

namespace formats {
namespace {

// pic_width_in_luma_samples and pic_height_in_luma_samples of a sequence
// parameter set NAL unit (two header bytes first).
bool spsSize(const uint8_t* nal, size_t length, uint32_t& width, uint32_t& height) {
    std::vector<uint8_t> rbsp;
    rbsp.reserve(length);
    int zeros = 0;
    for (size_t i = 2; i < length; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    BitReader r(rbsp.data(), rbsp.size());
    uint32_t subLayers = 0, value = 0;
    if (!r.skip(4) || !r.bits(3, subLayers) || !r.skip(1)) return false;
    // profile_tier_level: the general profile and level, then per sub-layer.
    if (!r.skip(96)) return false;
    uint32_t profilePresent[8] = {}, levelPresent[8] = {};
    for (uint32_t i = 0; i < subLayers; ++i)
        if (!r.bits(1, profilePresent[i]) || !r.bits(1, levelPresent[i])) return false;
    if (subLayers > 0 && !r.skip(2 * (8 - static_cast<int>(subLayers)))) return false;
    for (uint32_t i = 0; i < subLayers; ++i)
        if (!r.skip(profilePresent[i] ? 88 : 0) || !r.skip(levelPresent[i] ? 8 : 0)) return false;
    uint32_t chroma = 0;
    if (!r.expGolomb(value) || !r.expGolomb(chroma)) return false;
    if (chroma == 3 && !r.skip(1)) return false;
    return r.expGolomb(width) && r.expGolomb(height);
}

void noteSps(const uint8_t* nal, size_t length, CodedSizes& out) {
    uint32_t width = 0, height = 0;
    if (spsSize(nal, length, width, height)) out.note(width, height);
}

// The parameter sets of an 'hvcC' box; the NAL unit length size of the
// items that use it comes back in lengthSize.
bool readHvcc(ByteSpan box, CodedSizes& out, int& lengthSize) {
    if (box.size < 23) return false;
    lengthSize = (box.data[21] & 3) + 1;
    const uint8_t* p = box.data + 22;  // numOfArrays follows the 22-byte record header
    const uint8_t* end = box.data + box.size;
    const int arrays = *p++;
    for (int a = 0; a < arrays; ++a) {
        if (end - p < 3) return false;
        const int type = p[0] & 0x3F;
        const int count = (p[1] << 8) | p[2];
        p += 3;
        for (int n = 0; n < count; ++n) {
            if (end - p < 2) return false;
            const size_t nalLength = (size_t{p[0]} << 8) | p[1];
            p += 2;
            if (static_cast<size_t>(end - p) < nalLength) return false;
            if (type == 33) noteSps(p, nalLength, out);
            p += nalLength;
        }
    }
    return true;
}

// Every parameter set inside an item's data: the decoder takes the last one
// it is given, so each counts.
void scanItem(const HeifCodedItem& item, int lengthSize, CodedSizes& out) {
    const uint8_t* nal = item.data.data();
    const uint8_t* end = nal + item.data.size();
    while (end - nal >= lengthSize) {
        uint64_t nalLength = 0;
        for (int i = 0; i < lengthSize; ++i) nalLength = (nalLength << 8) | *nal++;
        if (nalLength < 2 || nalLength > static_cast<uint64_t>(end - nal)) return;
        if (((nal[0] >> 1) & 0x3F) == 33) noteSps(nal, static_cast<size_t>(nalLength), out);
        nal += nalLength;
    }
}

}  // namespace

bool readHevcSizes(const HeifBoxes& boxes, CodedSizes& out) {
    int lengthSize = 4;
    for (const ByteSpan& config : boxes.hvccConfigs)
        if (!readHvcc(config, out, lengthSize)) return false;
    for (const HeifCodedItem& item : boxes.codedItems) {
        if (std::memcmp(item.type, "hvc1", 4) != 0) continue;
        int itemLengthSize = 4;
        CodedSizes ignored;
        if (item.config.data && !readHvcc(item.config, ignored, itemLengthSize)) return false;
        scanItem(item, itemLengthSize, out);
    }
    return true;
}

}  // namespace formats
