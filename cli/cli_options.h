// The command line of the `moravel` front end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings.h"

struct CliOptions {
    bool help = false;
    bool version = false;
    bool showSettings = false;
    bool hasFormat = false;
    OutputFormat format = OutputFormat::Bmp;
    std::u16string settingsFile;      // --settings
    std::u16string saveSettingsFile;  // --save-settings
    std::vector<std::u16string> files;

    // Flags that override the settings (each applied only when given).
    bool hasOutputFolder = false;
    std::u16string outputFolder;
    bool hasSubFolder = false;
    std::u16string subFolder;
    bool hasQuality = false;
    int quality = 75;
    bool hasSubsampling = false;
    int subsampling = 0;  // settings code: 0 (2,2), 1 (2,1), 2 (1,1)
    bool hasSizeLimit = false;
    int sizeLimitKiB = 0;
    bool hasResize = false;
    int resizeMode = 0;
    int resizeTarget = 0;
    bool keepTransparency = false;
    bool hasPluginFolder = false;  // --plugin-folder (image plug-ins, Windows only)
    std::u16string pluginFolder;
    int jobs = 0;           // --jobs: files converted at once; 0: one per processor
    uint32_t switches = 0;  // the format's switches given (FormatOption bits: --lossless)
};

// The most files converted at once.
inline constexpr int kMaxJobs = 64;

// Parses arguments (without the program name). On failure returns false and
// sets `error` to a one-line message.
bool parseCliOptions(const std::vector<std::u16string>& args, CliOptions& options,
                     std::string& error);

// Applies the flags given on the command line over the settings.
void applyCliOptions(const CliOptions& options, Settings& settings);

// The --help text; the formats and their switches come from the format table.
std::string usageText();

std::string toUtf8(const std::u16string& text);
std::u16string fromUtf8(const std::string& text);
