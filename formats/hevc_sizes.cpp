#include "formats/hevc_sizes.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace formats {
namespace {

uint32_t loadU32BE(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Exp-Golomb and fixed-width fields of a parameter set, with the emulation
// prevention bytes (00 00 03) already removed. Reading past the end fails.
class BitReader {
  public:
    explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool bits(int count, uint32_t& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= bytes_.size() * 8) return false;
            value = (value << 1) | ((bytes_[position_ / 8] >> (7 - position_ % 8)) & 1);
            ++position_;
        }
        return true;
    }
    bool skip(int count) {
        position_ += static_cast<size_t>(count);
        return position_ <= bytes_.size() * 8;
    }
    bool unsignedGolomb(uint32_t& value) {
        int zeros = 0;
        uint32_t bit = 0;
        while (bits(1, bit) && bit == 0)
            if (++zeros > 31) return false;
        if (bit != 1) return false;
        uint32_t rest = 0;
        if (!bits(zeros, rest)) return false;
        value = static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + rest);
        return true;
    }

  private:
    const std::vector<uint8_t>& bytes_;
    size_t position_ = 0;
};

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
    BitReader r(rbsp);
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
    if (!r.unsignedGolomb(value) || !r.unsignedGolomb(chroma)) return false;
    if (chroma == 3 && !r.skip(1)) return false;
    return r.unsignedGolomb(width) && r.unsignedGolomb(height);
}

struct Boxes {
    const uint8_t* iinf = nullptr;
    const uint8_t* iinfEnd = nullptr;
    const uint8_t* iloc = nullptr;
    const uint8_t* ilocEnd = nullptr;
    const uint8_t* idat = nullptr;
    const uint8_t* idatEnd = nullptr;
    int nalLengthSize = 4;
};

void noteSps(const uint8_t* nal, size_t length, HevcSizes& out) {
    uint32_t width = 0, height = 0;
    if (!spsSize(nal, length, width, height)) return;
    out.largestCodedWidth = std::max(out.largestCodedWidth, width);
    out.largestCodedHeight = std::max(out.largestCodedHeight, height);
    ++out.parameterSets;
}

bool readHvcc(const uint8_t* box, size_t length, HevcSizes& out, Boxes& boxes) {
    if (length < 23) return false;
    boxes.nalLengthSize = (box[21] & 3) + 1;
    const uint8_t* p = box + 22;  // numOfArrays follows the 22-byte record header
    const uint8_t* end = box + length;
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

// Walks the boxes between begin and end, into 'meta' (a full box), 'iprp'
// and 'ipco', where the properties are.
bool walk(const uint8_t* begin, const uint8_t* end, HevcSizes& out, Boxes& boxes, int depth) {
    const uint8_t* p = begin;
    while (end - p >= 8) {
        uint64_t size = loadU32BE(p);
        size_t header = 8;
        if (size == 1) {
            if (end - p < 16) return false;
            size = (uint64_t{loadU32BE(p + 8)} << 32) | loadU32BE(p + 12);
            header = 16;
        } else if (size == 0) {
            size = static_cast<uint64_t>(end - p);
        }
        if (size < header || size > static_cast<uint64_t>(end - p)) return false;
        const uint8_t* body = p + header;
        const uint8_t* next = p + size;
        if (std::memcmp(p + 4, "meta", 4) == 0 && depth == 0) {
            if (next - body < 4 || !walk(body + 4, next, out, boxes, 1)) return false;
        } else if ((std::memcmp(p + 4, "iprp", 4) == 0 || std::memcmp(p + 4, "ipco", 4) == 0) &&
                   depth > 0) {
            if (!walk(body, next, out, boxes, depth + 1)) return false;
        } else if (std::memcmp(p + 4, "hvcC", 4) == 0) {
            if (!readHvcc(body, static_cast<size_t>(next - body), out, boxes)) return false;
        } else if (std::memcmp(p + 4, "iinf", 4) == 0 && depth == 1) {
            boxes.iinf = body;
            boxes.iinfEnd = next;
        } else if (std::memcmp(p + 4, "iloc", 4) == 0 && depth == 1) {
            boxes.iloc = body;
            boxes.ilocEnd = next;
        } else if (std::memcmp(p + 4, "idat", 4) == 0 && depth == 1) {
            boxes.idat = body;
            boxes.idatEnd = next;
        } else if (std::memcmp(p + 4, "ispe", 4) == 0) {
            if (next - body < 12) return false;
            out.largestDeclaredWidth = std::max(out.largestDeclaredWidth, loadU32BE(body + 4));
            out.largestDeclaredHeight = std::max(out.largestDeclaredHeight, loadU32BE(body + 8));
        }
        p = next;
    }
    return true;
}

// Reads a big-endian field of `width` bytes (0 to 8) and advances.
bool field(const uint8_t*& p, const uint8_t* end, int width, uint64_t& value) {
    if (end - p < width) return false;
    value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | *p++;
    return true;
}

// The IDs of the HEVC-coded items ('hvc1' entries of the item information)
// and of the grids put together from them ('grid').
bool itemIds(const uint8_t* p, const uint8_t* end, std::vector<uint32_t>& ids,
             std::vector<uint32_t>& grids) {
    uint64_t version = 0, count = 0;
    if (!field(p, end, 1, version) || !field(p, end, 3, count) ||
        !field(p, end, version == 0 ? 2 : 4, count))
        return false;
    for (uint64_t i = 0; i < count && end - p >= 8; ++i) {
        const uint64_t size = loadU32BE(p);
        if (size < 8 || size > static_cast<uint64_t>(end - p)) return false;
        const uint8_t* body = p + 8;
        const uint8_t* next = p + size;
        uint64_t infeVersion = 0, flags = 0, id = 0, protection = 0;
        if (std::memcmp(p + 4, "infe", 4) == 0 && field(body, next, 1, infeVersion) &&
            infeVersion >= 2 && field(body, next, 3, flags) &&
            field(body, next, infeVersion == 2 ? 2 : 4, id) && field(body, next, 2, protection) &&
            next - body >= 4) {
            if (std::memcmp(body, "hvc1", 4) == 0) ids.push_back(static_cast<uint32_t>(id));
            if (std::memcmp(body, "grid", 4) == 0) grids.push_back(static_cast<uint32_t>(id));
        }
        p = next;
    }
    return true;
}

// Every parameter set inside the data of the HEVC items: the decoder takes
// the last one it is given, so each counts.
// A grid's output size, from its descriptor (version, flags, rows - 1,
// columns - 1, then width and height in 16 or 32 bits).
void noteGrid(const uint8_t* p, const uint8_t* end, HevcSizes& out) {
    uint64_t version = 0, flags = 0, rows = 0, columns = 0, width = 0, height = 0;
    const int side = 2;
    if (!field(p, end, 1, version) || !field(p, end, 1, flags) || !field(p, end, 1, rows) ||
        !field(p, end, 1, columns) || !field(p, end, (flags & 1) ? 2 * side : side, width) ||
        !field(p, end, (flags & 1) ? 2 * side : side, height))
        return;
    out.largestCodedWidth = std::max(out.largestCodedWidth, static_cast<uint32_t>(width));
    out.largestCodedHeight = std::max(out.largestCodedHeight, static_cast<uint32_t>(height));
}

bool scanItemData(const uint8_t* p, const uint8_t* end, const std::vector<uint32_t>& hevcItems,
                  const std::vector<uint32_t>& grids, const Boxes& boxes, const uint8_t* file,
                  size_t fileSize, HevcSizes& out) {
    const int lengthSize = boxes.nalLengthSize;
    uint64_t version = 0, flags = 0, sizes = 0, count = 0;
    if (!field(p, end, 1, version) || !field(p, end, 3, flags) || !field(p, end, 2, sizes))
        return false;
    const int offsetSize = static_cast<int>(sizes >> 12), lengthFieldSize = (sizes >> 8) & 15;
    const int baseSize = (sizes >> 4) & 15, indexSize = version >= 1 ? sizes & 15 : 0;
    if (!field(p, end, version == 2 ? 4 : 2, count)) return false;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t id = 0, method = 0, reference = 0, base = 0, extents = 0;
        if (!field(p, end, version == 2 ? 4 : 2, id) ||
            (version >= 1 && !field(p, end, 2, method)) || !field(p, end, 2, reference) ||
            !field(p, end, baseSize, base) || !field(p, end, 2, extents))
            return false;
        const bool hevc = std::find(hevcItems.begin(), hevcItems.end(), id) != hevcItems.end();
        const bool grid = std::find(grids.begin(), grids.end(), id) != grids.end();
        for (uint64_t e = 0; e < extents; ++e) {
            uint64_t index = 0, offset = 0, length = 0;
            if (!field(p, end, indexSize, index) || !field(p, end, offsetSize, offset) ||
                !field(p, end, lengthFieldSize, length))
                return false;
            if (grid && e == 0) {
                // The descriptor lies in the file (method 0) or in 'idat' (method 1).
                const uint8_t* from = (method & 15) == 1 ? boxes.idat : file;
                const uint8_t* to = (method & 15) == 1 ? boxes.idatEnd : file + fileSize;
                if (from && (method & 15) <= 1 && base + offset < static_cast<uint64_t>(to - from))
                    noteGrid(from + base + offset, to, out);
            }
            if (!hevc || (method & 15) != 0 || reference != 0) continue;
            const uint64_t start = base + offset;
            if (start >= fileSize) continue;
            const uint64_t available = fileSize - start;
            const uint64_t bytes = length == 0 || length > available ? available : length;
            const uint8_t* nal = file + start;
            const uint8_t* nalEnd = nal + bytes;
            uint64_t nalLength = 0;
            while (field(nal, nalEnd, lengthSize, nalLength) && nalLength >= 2 &&
                   nalLength <= static_cast<uint64_t>(nalEnd - nal)) {
                if (((nal[0] >> 1) & 0x3F) == 33) noteSps(nal, static_cast<size_t>(nalLength), out);
                nal += nalLength;
            }
        }
    }
    return true;
}

}  // namespace

bool readHevcSizes(const uint8_t* data, size_t size, HevcSizes& out) {
    out = {};
    Boxes boxes;
    if (!walk(data, data + size, out, boxes, 0)) return false;
    std::vector<uint32_t> hevcItems, grids;
    if (boxes.iinf && !itemIds(boxes.iinf, boxes.iinfEnd, hevcItems, grids)) return false;
    return !boxes.iloc ||
           scanItemData(boxes.iloc, boxes.ilocEnd, hevcItems, grids, boxes, data, size, out);
}

}  // namespace formats
