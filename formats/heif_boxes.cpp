#include "formats/heif_boxes.h"

#include <algorithm>
#include <cstring>

namespace formats {
namespace {

uint32_t loadU32BE(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

bool isType(const uint8_t* fourcc, const char* type) {
    return std::memcmp(fourcc, type, 4) == 0;
}

// Reads a big-endian field of `width` bytes (0 to 8) and advances.
bool field(const uint8_t*& p, const uint8_t* end, int width, uint64_t& value) {
    if (end - p < width) return false;
    value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | *p++;
    return true;
}

struct Found {
    ByteSpan iinf, iloc, idat, ipma;
    std::vector<ByteSpan> properties;  // the first 'ipco', in order (ipma counts from 1)
    std::vector<char> propertyTypes;   // four characters per property
    bool haveIpco = false;
};

// Walks the boxes between begin and end, into 'meta' (a full box), 'iprp'
// and 'ipco'. Every 'hvcC' and 'ispe' counts wherever it lies; the first
// box of each other kind is the one libheif uses.
bool walk(const uint8_t* begin, const uint8_t* end, HeifBoxes& out, Found& found, int depth,
          bool inIpco) {
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
        const uint8_t* type = p + 4;
        const ByteSpan body{p + header, static_cast<size_t>(size - header)};
        const uint8_t* next = p + size;
        if (inIpco) {
            found.properties.push_back(body);
            found.propertyTypes.insert(found.propertyTypes.end(), type, type + 4);
        }
        if (isType(type, "meta") && depth == 0) {
            if (body.size < 4 || !walk(body.data + 4, next, out, found, 1, false)) return false;
        } else if (isType(type, "iprp") && depth == 1) {
            if (!walk(body.data, next, out, found, 2, false)) return false;
        } else if (isType(type, "ipco") && depth == 2) {
            const bool first = !found.haveIpco;
            found.haveIpco = true;
            if (!walk(body.data, next, out, found, 3, first)) return false;
        } else if (isType(type, "ipma") && depth == 2) {
            if (!found.ipma.data) found.ipma = body;
        } else if (isType(type, "hvcC")) {
            out.hvccConfigs.push_back(body);
        } else if (isType(type, "ispe")) {
            if (body.size < 12) return false;
            out.largestDeclaredWidth = std::max(out.largestDeclaredWidth, loadU32BE(body.data + 4));
            out.largestDeclaredHeight =
                std::max(out.largestDeclaredHeight, loadU32BE(body.data + 8));
        } else if (depth == 1) {
            ByteSpan* slot = isType(type, "iinf")   ? &found.iinf
                             : isType(type, "iloc") ? &found.iloc
                             : isType(type, "idat") ? &found.idat
                                                    : nullptr;
            if (slot && !slot->data) *slot = body;
        }
        p = next;
    }
    return true;
}

// The items whose pictures libheif decodes or allocates for: coded ones
// ('hvc1', 'av01') and derived ones ('grid', 'iovl').
struct ItemType {
    uint32_t id;
    char type[4];
};

bool itemTypes(ByteSpan iinf, std::vector<ItemType>& items) {
    const uint8_t* p = iinf.data;
    const uint8_t* end = p + iinf.size;
    uint64_t version = 0, flags = 0, count = 0;
    if (!field(p, end, 1, version) || !field(p, end, 3, flags) ||
        !field(p, end, version == 0 ? 2 : 4, count))
        return false;
    for (uint64_t i = 0; i < count && end - p >= 8; ++i) {
        const uint64_t size = loadU32BE(p);
        if (size < 8 || size > static_cast<uint64_t>(end - p)) return false;
        const uint8_t* body = p + 8;
        const uint8_t* next = p + size;
        uint64_t infeVersion = 0, id = 0, protection = 0;
        if (isType(p + 4, "infe") && field(body, next, 1, infeVersion) && infeVersion >= 2 &&
            field(body, next, 3, flags) && field(body, next, infeVersion == 2 ? 2 : 4, id) &&
            field(body, next, 2, protection) && next - body >= 4) {
            for (const char* kind : {"hvc1", "av01", "grid", "iovl"}) {
                if (!isType(body, kind)) continue;
                ItemType item{static_cast<uint32_t>(id), {}};
                std::memcpy(item.type, body, 4);
                items.push_back(item);
            }
        }
        p = next;
    }
    return true;
}

// The first property of `type` that the item's first 'ipma' entry names.
ByteSpan associatedProperty(const Found& found, uint32_t itemId, const char* type) {
    const uint8_t* p = found.ipma.data;
    const uint8_t* end = p + found.ipma.size;
    uint64_t version = 0, flags = 0, entries = 0;
    if (!p || !field(p, end, 1, version) || !field(p, end, 3, flags) || !field(p, end, 4, entries))
        return {};
    for (uint64_t e = 0; e < entries; ++e) {
        uint64_t id = 0, count = 0;
        if (!field(p, end, version < 1 ? 2 : 4, id) || !field(p, end, 1, count)) return {};
        const int width = (flags & 1) ? 2 : 1;
        if (id != itemId) {
            if (end - p < static_cast<int64_t>(count) * width) return {};
            p += count * width;
            continue;
        }
        for (uint64_t k = 0; k < count; ++k) {
            uint64_t index = 0;
            if (!field(p, end, width, index)) return {};
            index &= width == 2 ? 0x7FFF : 0x7F;
            if (index == 0 || index > found.properties.size()) return {};
            if (std::memcmp(&found.propertyTypes[(index - 1) * 4], type, 4) == 0)
                return found.properties[index - 1];
        }
        return {};
    }
    return {};
}

// A derived image's output size: a grid's descriptor (version, flags,
// rows - 1, columns - 1, width, height) or an overlay's (version, flags,
// four 16-bit fill values, width, height), sizes in 16 or 32 bits by flag 1.
void noteDerived(const ItemType& item, const std::vector<uint8_t>& data, HeifBoxes& out) {
    const uint8_t* p = data.data();
    const uint8_t* end = p + data.size();
    uint64_t version = 0, flags = 0, width = 0, height = 0;
    const int skip = isType(reinterpret_cast<const uint8_t*>(item.type), "grid") ? 2 : 8;
    const int side = (data.size() >= 2 && (data[1] & 1)) ? 4 : 2;
    if (!field(p, end, 1, version) || !field(p, end, 1, flags) || end - p < skip) return;
    p += skip;
    if (!field(p, end, side, width) || !field(p, end, side, height)) return;
    out.largestDerivedWidth = std::max(out.largestDerivedWidth, static_cast<uint32_t>(width));
    out.largestDerivedHeight = std::max(out.largestDerivedHeight, static_cast<uint32_t>(height));
}

// The data of each wanted item, its extents joined as libheif reads them:
// from the file (construction method 0) or from 'idat' (method 1), cut at
// the end of either (where libheif gives up).
bool readItemData(const Found& found, const std::vector<ItemType>& wanted, const uint8_t* file,
                  size_t fileSize, HeifBoxes& out) {
    const uint8_t* p = found.iloc.data;
    const uint8_t* end = p + found.iloc.size;
    uint64_t version = 0, flags = 0, sizes = 0, count = 0;
    if (!field(p, end, 1, version) || !field(p, end, 3, flags) || !field(p, end, 2, sizes))
        return false;
    const int offsetSize = static_cast<int>(sizes >> 12), lengthSize = (sizes >> 8) & 15;
    const int baseSize = (sizes >> 4) & 15, indexSize = version >= 1 ? sizes & 15 : 0;
    if (!field(p, end, version == 2 ? 4 : 2, count)) return false;
    // Items sharing bytes could make the copies far larger than the file.
    const uint64_t copyBudget = uint64_t{fileSize} * 2 + 65536;
    uint64_t copied = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t id = 0, method = 0, reference = 0, base = 0, extents = 0;
        if (!field(p, end, version == 2 ? 4 : 2, id) ||
            (version >= 1 && !field(p, end, 2, method)) || !field(p, end, 2, reference) ||
            !field(p, end, baseSize, base) || !field(p, end, 2, extents))
            return false;
        auto item = std::find_if(wanted.begin(), wanted.end(),
                                 [&](const ItemType& w) { return w.id == id; });
        std::vector<uint8_t> data;
        const uint8_t* from = (method & 15) == 1 ? found.idat.data : file;
        const uint64_t available = (method & 15) == 1 ? found.idat.size : fileSize;
        for (uint64_t e = 0; e < extents; ++e) {
            uint64_t index = 0, offset = 0, length = 0;
            if (!field(p, end, indexSize, index) || !field(p, end, offsetSize, offset) ||
                !field(p, end, lengthSize, length))
                return false;
            if (item == wanted.end() || !from || (method & 15) > 1 || reference != 0) continue;
            const uint64_t start = base + offset;
            if (start < base || start >= available) continue;
            // libheif reads an extent of length 0 as no bytes at all.
            const uint64_t bytes = std::min(length, available - start);
            copied += bytes;
            if (copied > copyBudget) return false;
            data.insert(data.end(), from + start, from + start + bytes);
        }
        if (item == wanted.end()) continue;
        if (isType(reinterpret_cast<const uint8_t*>(item->type), "grid") ||
            isType(reinterpret_cast<const uint8_t*>(item->type), "iovl")) {
            noteDerived(*item, data, out);
            continue;
        }
        HeifCodedItem coded;
        coded.id = item->id;
        std::memcpy(coded.type, item->type, 4);
        coded.config = associatedProperty(
            found, coded.id, std::memcmp(coded.type, "av01", 4) == 0 ? "av1C" : "hvcC");
        coded.data = std::move(data);
        out.codedItems.push_back(std::move(coded));
    }
    return true;
}

}  // namespace

bool readHeifBoxes(const uint8_t* data, size_t size, HeifBoxes& out) {
    out = {};
    Found found;
    if (!walk(data, data + size, out, found, 0, false)) return false;
    std::vector<ItemType> items;
    if (found.iinf.data && !itemTypes(found.iinf, items)) return false;
    return !found.iloc.data || readItemData(found, items, data, size, out);
}

}  // namespace formats
