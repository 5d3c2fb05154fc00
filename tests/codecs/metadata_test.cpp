// The metadata scan over hand-built files: where each container keeps its
// orientation and colour profile, and the damaged and absurd blocks that
// must count as absent.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "codecs/metadata/source_metadata.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v, bool little) {
    if (little) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    } else {
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
    }
}
void put32(Bytes& b, uint32_t v, bool little) {
    put16(b, little ? v & 0xFFFF : v >> 16, little);
    put16(b, little ? v >> 16 : v & 0xFFFF, little);
}
void append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}
Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;  // a SHORT value is left-aligned in the field
};

// A TIFF structure: header, one directory at `directoryAt`, then `tail`.
Bytes tiffStructure(bool little, const std::vector<Entry>& entries, uint32_t next = 0,
                    uint32_t directoryAt = 8, uint32_t entryCount = UINT32_MAX) {
    Bytes b = text(little ? "II" : "MM");
    put16(b, 42, little);
    put32(b, directoryAt, little);
    b.resize(std::max<size_t>(b.size(), directoryAt), 0);
    put16(b, entryCount == UINT32_MAX ? uint32_t(entries.size()) : entryCount, little);
    for (const Entry& e : entries) {
        put16(b, e.tag, little);
        put16(b, e.type, little);
        put32(b, e.count, little);
        if (e.type == 3 && e.count == 1) {
            put16(b, e.value, little);
            put16(b, 0, little);
        } else {
            put32(b, e.value, little);
        }
    }
    put32(b, next, little);
    return b;
}
Bytes orientationExif(bool little, uint16_t value) {
    return tiffStructure(little, {{274, 3, 1, value}});
}

Bytes segment(uint8_t marker, const Bytes& body) {
    Bytes b{0xFF, marker};
    put16(b, uint32_t(body.size() + 2), false);
    append(b, body);
    return b;
}
Bytes exifSegment(const Bytes& tiff) {
    Bytes body = {'E', 'x', 'i', 'f', 0, 0};
    append(body, tiff);
    return segment(0xE1, body);
}
Bytes iccSegment(uint8_t sequence, uint8_t count, const Bytes& part) {
    Bytes body = text("ICC_PROFILE");
    body.push_back(0);
    body.push_back(sequence);
    body.push_back(count);
    append(body, part);
    return segment(0xE2, body);
}
Bytes jpeg(const std::vector<Bytes>& segments) {
    Bytes b{0xFF, 0xD8};
    for (const Bytes& s : segments) append(b, s);
    append(b, {0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0xFF, 0xD9});
    return b;
}

Bytes profile(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t(i * 31 + seed);
    return b;
}
Bytes slice(const Bytes& b, size_t from, size_t to) {
    return Bytes(b.begin() + from, b.begin() + to);
}

Bytes pngChunk(const std::string& type, const Bytes& data, bool goodCrc = true) {
    Bytes b;
    put32(b, uint32_t(data.size()), false);
    Bytes typed = text(type);
    append(typed, data);
    append(b, typed);
    put32(b, uint32_t(crc32(0, typed.data(), uInt(typed.size()))) ^ (goodCrc ? 0 : 1), false);
    return b;
}
Bytes zlibCompressed(const Bytes& raw) {
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}
Bytes iccpBody(const Bytes& raw, uint8_t method = 0) {
    Bytes body = text("ICC");
    body.push_back(0);
    body.push_back(method);
    append(body, zlibCompressed(raw));
    return body;
}
Bytes png(const std::vector<Bytes>& chunks) {
    Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Bytes& c : chunks) append(b, c);
    append(b, pngChunk("IDAT", {1, 2, 3}));
    append(b, pngChunk("IEND", {}));
    return b;
}

Bytes riffChunk(const std::string& type, const Bytes& data) {
    Bytes b = text(type);
    put32(b, uint32_t(data.size()), true);
    append(b, data);
    if (data.size() & 1) b.push_back(0);
    return b;
}
Bytes webp(const std::vector<Bytes>& chunks, bool extended = true) {
    Bytes body = text("WEBP");
    if (extended) append(body, riffChunk("VP8X", Bytes(10, 0)));
    for (const Bytes& c : chunks) append(body, c);
    append(body, riffChunk("VP8L", Bytes(7, 0)));
    Bytes b = text("RIFF");
    put32(b, uint32_t(body.size()), true);
    append(b, body);
    return b;
}

Bytes withPrefix(const std::string& prefix, const Bytes& b) {
    Bytes out = text(prefix);
    append(out, b);
    return out;
}

struct OrientationCase {
    const char* name;
    Bytes file;
    uint8_t orientation;
};

std::vector<OrientationCase> orientationCases() {
    std::vector<OrientationCase> cases;
    for (uint16_t value = 1; value <= 8; ++value) {
        cases.push_back(
            {"jpeg-le", jpeg({exifSegment(orientationExif(true, value))}), uint8_t(value)});
        cases.push_back(
            {"jpeg-be", jpeg({exifSegment(orientationExif(false, value))}), uint8_t(value)});
        cases.push_back({"tiff-le", orientationExif(true, value), uint8_t(value)});
        cases.push_back({"tiff-be", orientationExif(false, value), uint8_t(value)});
        cases.push_back(
            {"webp", webp({riffChunk("EXIF", orientationExif(value & 1, value))}), uint8_t(value)});
        cases.push_back({"webp-exif-id",
                         webp({riffChunk("EXIF", withPrefix(std::string("Exif\0\0", 6),
                                                            orientationExif(false, value)))}),
                         uint8_t(value)});
    }
    const Bytes six = orientationExif(true, 6);
    cases.insert(
        cases.end(),
        {
            // Where it is looked for, and where not.
            {"jpeg after an XMP APP1", jpeg({segment(0xE1, text("http://ns.adobe.com/xap/1.0/")),
                                             exifSegment(six)}),
             6},
            {"jpeg first Exif wins",
             jpeg({exifSegment(six), exifSegment(orientationExif(true, 3))}), 6},
            {"jpeg Exif after the scan", [] {
                 Bytes b = jpeg({});
                 b.resize(b.size() - 2);
                 append(b, exifSegment(orientationExif(true, 6)));
                 return b;
             }(),
             1},
            {"jpeg with fill bytes", [] {
                 Bytes b{0xFF, 0xD8, 0xFF, 0xFF};
                 append(b, exifSegment(orientationExif(true, 5)));
                 return b;
             }(),
             5},
            {"webp simple format", webp({riffChunk("EXIF", six)}, false), 1},
            {"png eXIf is not applied", png({pngChunk("eXIf", six)}), 1},
            {"tiff other tags around", tiffStructure(true, {{256, 3, 1, 10}, {274, 3, 1, 7},
                                                            {305, 2, 4, 0x41414141}}),
             7},
            // Damaged or absurd: counts as 1.
            {"value 0", jpeg({exifSegment(orientationExif(true, 0))}), 1},
            {"value 9", jpeg({exifSegment(orientationExif(false, 9))}), 1},
            {"value 0x600", jpeg({exifSegment(orientationExif(true, 0x600))}), 1},
            {"type LONG", jpeg({exifSegment(tiffStructure(true, {{274, 4, 1, 6}}))}), 1},
            {"count 2", jpeg({exifSegment(tiffStructure(true, {{274, 3, 2, 6}}))}), 1},
            {"huge count", jpeg({exifSegment(tiffStructure(false, {{274, 3, 0x40000000, 6}}))}),
             1},
            {"two orientations", jpeg({exifSegment(tiffStructure(true, {{274, 3, 1, 6}, {274, 3, 1, 6}}))}),
             1},
            {"directory offset past the end", [] {
                 Bytes t = orientationExif(true, 6);
                 t[4] = 0xF0;  // first directory at 0xF0, beyond the block
                 return jpeg({exifSegment(t)});
             }(),
             1},
            {"directory inside the header",
             jpeg({exifSegment(tiffStructure(true, {{274, 3, 1, 6}}, 0, 4))}), 1},
            {"entry count past the end",
             jpeg({exifSegment(tiffStructure(true, {{274, 3, 1, 6}}, 0, 8, 500))}), 1},
            {"next directory loops back",
             jpeg({exifSegment(tiffStructure(true, {{274, 3, 1, 6}}, 8))}), 1},
            {"next directory into the header",
             jpeg({exifSegment(tiffStructure(false, {{274, 3, 1, 6}}, 2))}), 1},
            {"bad byte order mark", jpeg({exifSegment(withPrefix("XX", slice(six, 2, six.size())))}),
             1},
            {"bad magic", [] {
                 Bytes t = orientationExif(true, 6);
                 t[2] = 43;
                 return jpeg({exifSegment(t)});
             }(),
             1},
            {"segment longer than the file", [] {
                 Bytes b = jpeg({exifSegment(orientationExif(true, 6))});
                 b[4] = 0xFF;  // APP1 length 0xFF..
                 return b;
             }(),
             1},
            {"webp EXIF chunk longer than the file", [] {
                 Bytes b = webp({riffChunk("EXIF", orientationExif(true, 6))});
                 b.resize(b.size() - 20);
                 return b;
             }(),
             1},
            {"empty", {}, 1},
        });
    return cases;
}

TEST(SourceMetadataTest, OrientationOfEveryContainerAndEveryDamage) {
    for (const OrientationCase& c : orientationCases()) {
        const SourceMetadata found = scanSourceMetadata(c.file.data(), c.file.size());
        EXPECT_EQ(int(found.orientation), int(c.orientation)) << c.name;
        EXPECT_EQ(found.swapsSides(), c.orientation >= 5) << c.name;
    }
}

struct IccCase {
    const char* name;
    Bytes file;
    Bytes profile;  // empty: none expected
};

std::vector<IccCase> iccCases() {
    const Bytes p = profile(150000, 7);
    const Bytes small = profile(700, 3);
    const Bytes a = slice(p, 0, 65519), b = slice(p, 65519, 131038), c = slice(p, 131038, p.size());
    Bytes tiffWithIcc =
        tiffStructure(false, {{274, 3, 1, 1}, {34675, 7, uint32_t(small.size()), 38}});
    append(tiffWithIcc, small);
    Bytes tiffIccPastEnd = tiffWithIcc;
    tiffIccPastEnd.resize(tiffIccPastEnd.size() - 1);
    const Bytes bomb(kMaxIccProfileBytes + 1, 0);
    const Bytes largest = profile(kMaxIccProfileBytes, 1);
    return {
        {"jpeg chunks in order",
         jpeg({iccSegment(1, 3, a), iccSegment(2, 3, b), iccSegment(3, 3, c)}), p},
        {"jpeg chunks out of order",
         jpeg({iccSegment(3, 3, c), iccSegment(1, 3, a), iccSegment(2, 3, b)}), p},
        {"jpeg one chunk", jpeg({iccSegment(1, 1, small)}), small},
        {"jpeg chunk missing", jpeg({iccSegment(1, 3, a), iccSegment(3, 3, c)}), {}},
        {"jpeg chunk repeated",
         jpeg({iccSegment(1, 2, a), iccSegment(1, 2, a), iccSegment(2, 2, b)}),
         {}},
        {"jpeg counts disagree", jpeg({iccSegment(1, 2, a), iccSegment(2, 3, b)}), {}},
        {"jpeg sequence 0", jpeg({iccSegment(0, 1, small)}), {}},
        {"jpeg sequence beyond count", jpeg({iccSegment(2, 1, small)}), {}},
        {"jpeg shorter than a profile header", jpeg({iccSegment(1, 1, profile(127, 0))}), {}},
        {"jpeg cut inside the second chunk",
         [&] {
             Bytes f = jpeg({iccSegment(1, 2, a), iccSegment(2, 2, b)});
             f.resize(f.size() - 100);
             return f;
         }(),
         {}},
        {"png iCCP", png({pngChunk("iCCP", iccpBody(small))}), small},
        {"png iCCP of the largest size", png({pngChunk("iCCP", iccpBody(largest))}), largest},
        {"png iCCP inflating past the bound", png({pngChunk("iCCP", iccpBody(bomb))}), {}},
        {"png iCCP with a bad CRC", png({pngChunk("iCCP", iccpBody(small), false)}), {}},
        {"png iCCP with an unknown method", png({pngChunk("iCCP", iccpBody(small, 1))}), {}},
        {"png iCCP cut stream",
         [&] {
             Bytes body = iccpBody(small);
             body.resize(body.size() - 10);
             return png({pngChunk("iCCP", body)});
         }(),
         {}},
        {"png iCCP after the image data",
         [&] {
             Bytes f = png({});
             f.resize(f.size() - 12);  // before IEND
             append(f, pngChunk("iCCP", iccpBody(small)));
             return f;
         }(),
         {}},
        {"tiff tag 34675", tiffWithIcc, small},
        {"tiff profile past the end", tiffIccPastEnd, {}},
        {"webp ICCP", webp({riffChunk("ICCP", small), riffChunk("EXIF", orientationExif(true, 6))}),
         small},
        {"webp ICCP over the bound", webp({riffChunk("ICCP", bomb)}), {}},
    };
}

TEST(SourceMetadataTest, ProfilesOfEveryContainerAndEveryDamage) {
    for (const IccCase& c : iccCases()) {
        const SourceMetadata found = scanSourceMetadata(c.file.data(), c.file.size());
        if (c.profile.empty()) {
            EXPECT_EQ(found.iccProfile, nullptr) << c.name;
            EXPECT_EQ(found.iccSize, 0u) << c.name;
            continue;
        }
        ASSERT_NE(found.iccProfile, nullptr) << c.name;
        EXPECT_EQ(Bytes(found.iccProfile, found.iccProfile + found.iccSize), c.profile) << c.name;
    }
}

// The JPEG reader gives back the source pages it has consumed: the profile
// must not live in the source's bytes.
TEST(SourceMetadataTest, TheProfileOutlivesTheSourceBytes) {
    const Bytes small = profile(700, 9);
    for (Bytes file : {jpeg({iccSegment(1, 1, small)}), webp({riffChunk("ICCP", small)})}) {
        SourceMetadata found = scanSourceMetadata(file.data(), file.size());
        std::fill(file.begin(), file.end(), 0);
        file.clear();
        file.shrink_to_fit();
        const SourceMetadata moved = std::move(found);
        ASSERT_NE(moved.iccProfile, nullptr);
        EXPECT_EQ(Bytes(moved.iccProfile, moved.iccProfile + moved.iccSize), small);
    }
}

// Every file cut at every length: never a read outside it (the sanitizer
// build watches), and whatever is found stays sound.
TEST(SourceMetadataTest, EveryTruncationIsSafe) {
    std::vector<Bytes> files;
    for (const OrientationCase& c : orientationCases()) files.push_back(c.file);
    files.push_back(
        jpeg({iccSegment(1, 1, profile(300, 1)), exifSegment(orientationExif(true, 6))}));
    files.push_back(png({pngChunk("iCCP", iccpBody(profile(300, 2)))}));
    for (const Bytes& file : files) {
        for (size_t size = 0; size <= file.size(); ++size) {
            Bytes cut(file.begin(), file.begin() + size);  // its own allocation
            const SourceMetadata found = scanSourceMetadata(cut.data(), cut.size());
            ASSERT_GE(found.orientation, 1);
            ASSERT_LE(found.orientation, 8);
            ASSERT_EQ(found.iccProfile == nullptr, found.iccSize == 0);
        }
    }
}

}  // namespace
