// Helpers of the JPEG codec tests: fixture paths, PNM files (the expected
// pixels come from djpeg), pictures in the record's layout, JPEG markers.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>

#include <csignal>
#endif

#include "core/image_record.h"
#include "core/picture_to_write.h"
#include "tests/support/temp_file.h"

namespace jpegtest {

namespace fs = std::filesystem;

inline fs::path dataPath(const std::string& name) {
    return testDataFolder("jpeg") / name;
}

// A folder of its own under the temporary folder, removed afterwards.
class ScratchFolder {
  public:
    ScratchFolder() {
        std::random_device random;
        path_ = fs::temp_directory_path() /
                ("moravel-jpeg-" + std::to_string(random()) + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// A binary PPM (P6) or PGM (P5) file with maxval 255: top-down rows.
struct Pnm {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> samples;
};

inline Pnm readPnm(const fs::path& file) {
    std::vector<uint8_t> bytes = readBytes(file);
    Pnm pnm;
    size_t at = 0;
    auto token = [&]() {
        while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#')) {
            if (bytes[at] == '#')
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            else
                ++at;
        }
        std::string text;
        while (at < bytes.size() && !std::isspace(bytes[at]))
            text += static_cast<char>(bytes[at++]);
        return text;
    };
    const std::string magic = token();
    pnm.channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    pnm.width = std::stoi(token());
    pnm.height = std::stoi(token());
    token();  // maxval
    ++at;     // the one whitespace byte before the samples
    pnm.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    EXPECT_EQ(pnm.samples.size(), size_t(pnm.width) * pnm.height * pnm.channels) << file;
    return pnm;
}

inline uint32_t strideOf(int width, int bitCount) {
    return rowStride(width, bitCount);
}

// Compares a record's bottom-up rows with a top-down PNM (RGB or grey).
inline ::testing::AssertionResult recordMatches(const ImageRecord& record, const Pnm& pnm) {
    const int bits = pnm.channels == 3 ? 24 : 8;
    if (record.header.biWidth != pnm.width || record.header.biHeight != pnm.height ||
        record.header.biBitCount != bits)
        return ::testing::AssertionFailure()
               << "record " << record.header.biWidth << "x" << record.header.biHeight << "x"
               << record.header.biBitCount << ", expected " << pnm.width << "x" << pnm.height << "x"
               << bits;
    const uint32_t stride = strideOf(pnm.width, bits);
    for (int y = 0; y < pnm.height; ++y) {
        const uint8_t* row = record.pixels + size_t(pnm.height - 1 - y) * stride;
        const uint8_t* want = pnm.samples.data() + size_t(y) * pnm.width * pnm.channels;
        for (int x = 0; x < pnm.width; ++x) {
            for (int c = 0; c < pnm.channels; ++c) {
                const int got = row[x * pnm.channels + (pnm.channels == 3 ? 2 - c : 0)];
                if (got != want[x * pnm.channels + c])
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") channel " << c << ": " << got
                           << " instead of " << int(want[x * pnm.channels + c]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// A picture in the record's layout (bottom-up, blue-green-red, padded rows).
struct OwnedPicture {
    std::vector<uint8_t> pixels;
    std::vector<RgbQuad> palette;
    PictureToWrite picture;
};

inline OwnedPicture pictureFromPnm(const Pnm& pnm) {
    OwnedPicture owned;
    const uint32_t stride = strideOf(pnm.width, 24);
    owned.pixels.assign(size_t(stride) * pnm.height + 4, 0);
    for (int y = 0; y < pnm.height; ++y)
        for (int x = 0; x < pnm.width; ++x)
            for (int c = 0; c < 3; ++c)
                owned.pixels[size_t(pnm.height - 1 - y) * stride + x * 3 + (2 - c)] =
                    pnm.samples[(size_t(y) * pnm.width + x) * 3 + c];
    owned.picture.width = pnm.width;
    owned.picture.height = pnm.height;
    owned.picture.currentBitCount = 24;
    owned.picture.loadedBitCount = 24;
    owned.picture.pixels = owned.pixels.data();
    return owned;
}

// A 24-bit picture filled by fill(x, y, rgb[3]) with top-down y.
template <typename Fill>
OwnedPicture makePicture(int width, int height, Fill fill) {
    Pnm pnm;
    pnm.width = width;
    pnm.height = height;
    pnm.channels = 3;
    pnm.samples.resize(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) fill(x, y, &pnm.samples[(size_t(y) * width + x) * 3]);
    return pictureFromPnm(pnm);
}

// One marker segment before the first scan.
struct Segment {
    uint8_t marker;
    std::vector<uint8_t> payload;  // without the length field
};

// The segments from the start-of-image marker up to and including the first
// start-of-scan marker.
inline std::vector<Segment> headerSegments(const std::vector<uint8_t>& file) {
    std::vector<Segment> segments;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return segments;
    size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const uint8_t marker = file[at + 1];
        const size_t length = size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size()) break;
        segments.push_back(
            {marker, std::vector<uint8_t>(file.begin() + at + 4, file.begin() + at + 2 + length)});
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return segments;
}

inline const Segment* findSegment(const std::vector<Segment>& segments, uint8_t marker) {
    for (const Segment& segment : segments)
        if (segment.marker == marker) return &segment;
    return nullptr;
}

// progressive.jpg with its last scan repeated `extra` times: each repeat makes
// the library revisit the whole picture.
inline std::vector<uint8_t> withRepeatedLastScan(int extra) {
    const std::vector<uint8_t> file = readBytes(dataPath("progressive.jpg"));
    size_t lastScan = 0;
    for (size_t at = 2; at + 1 < file.size(); ++at)
        if (file[at] == 0xFF && file[at + 1] == 0xDA) lastScan = at;
    const size_t end = file.size() - 2;  // the end-of-image marker
    EXPECT_TRUE(lastScan > 0 && file[end] == 0xFF && file[end + 1] == 0xD9);
    std::vector<uint8_t> out(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(end));
    for (int i = 0; i < extra; ++i)
        out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(lastScan),
                   file.begin() + static_cast<std::ptrdiff_t>(end));
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// The file with comment segments of `padding` bytes in all (at least 4)
// right after its start-of-image marker, so that its own segments and scan
// data begin `padding` bytes later. The comments are full of end-of-image
// markers: a reader that does not skip all of a comment stops early.
inline std::vector<uint8_t> withCommentPadding(const std::vector<uint8_t>& file, size_t padding) {
    std::vector<uint8_t> padded(file.begin(), file.begin() + 2);
    for (size_t left = padding; left > 0;) {
        size_t segment = left < 65537 ? left : 65537;
        if (left - segment > 0 && left - segment < 4) segment = left - 4;
        const size_t length = segment - 2;
        padded.insert(padded.end(), {0xFF, 0xFE, uint8_t(length >> 8), uint8_t(length)});
        for (size_t i = 4; i < segment; ++i) padded.push_back(i % 2 ? 0xD9 : 0xFF);
        left -= segment;
    }
    padded.insert(padded.end(), file.begin() + 2, file.end());
    return padded;
}

#ifdef __linux__
// Open file descriptors of this process.
inline size_t openDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// While it lives, a write that would grow any file past `bytes` fails with
// EFBIG (SIGXFSZ ignored): a full disk in the middle of an output file.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};
#endif

}  // namespace jpegtest
