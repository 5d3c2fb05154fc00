// Helpers of the plug-in host tests: folders of test plug-ins, MRAW files
// with known pixels, and a host over its own settings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/codec_status.h"
#include "core/heap_string.h"
#include "core/image_record.h"
#include "core/settings.h"
#include "mraw_format.h"
#include "plugins/plugin_host.h"
#include "tests/support/bytes.h"

namespace fs = std::filesystem;

// A built test plug-in, e.g. "tp_good".
fs::path testPlugin(const char* target);
// An empty folder of this name under the build folder.
fs::path freshFolder(const std::string& name);
// Copies test plug-in `target` into `folder` as `fileName`.
void installPlugin(const fs::path& folder, const char* target, const std::u16string& fileName);

// A picture in the made-up format, rows packed as in a bottom-up DIB.
struct MrawPicture {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitCount = 24;
    uint16_t reportedDepth = 0;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint8_t fault = kNoFault;
    uint8_t infoHeader = kInfoHeader40;
    uint8_t statedColours = 0;
    uint8_t missingBytes = 0;
    std::vector<RgbQuad> palette;
    std::vector<uint8_t> rows;
};

// Index (or, at 24 bits, byte c of the pixel) that patternPicture stores at
// column x of stored row y.
uint8_t patternValue(uint32_t x, uint32_t y, uint16_t bitCount, int c = 0);
// A picture of the given size and depth holding patternValue everywhere, with
// a palette of 2^bitCount distinct colours for indexed depths.
MrawPicture patternPicture(uint32_t width, uint32_t height, uint16_t bitCount);
// The file bytes, after `prefix` bytes of filler that is not MRAW.
std::vector<uint8_t> encodeMraw(const MrawPicture& picture, size_t prefix = 0);

// A plug-in host over settings of its own.
struct HostUnderTest {
    explicit HostUnderTest(const fs::path& folder) : host(pluginFolder, disabled) {
        pluginFolder.assign(folder.u16string().c_str());
    }
    bool read(const fs::path& source, ImageRecord& record) {
        report = {};
        SourceBytes bytes;
        if (bytes.load(source.u16string().c_str()) != kStatusOk) return false;
        report = host.read(source.u16string().c_str(), bytes, record);
        return report.ok;
    }
    HeapString pluginFolder;
    ReadResult report;  // of the last read
    NameList disabled;
    PluginHost host;
};

// Releases a record's pixels.
struct RecordGuard {
    ImageRecord record{};
    ~RecordGuard() { releasePixelBuffer(record.pixels); }
};
