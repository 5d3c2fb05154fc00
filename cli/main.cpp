// `moravel`: the batch driver on a terminal. Options come from flags (and
// optionally a settings file), errors are plain sentences on stderr.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/settings_options.h"
#include "driver/batch_driver.h"
#include "platform/platform.h"

#ifdef _WIN32
#include "plugins/plugin_host.h"
#endif

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

constexpr char kVersion[] = "moravel 1.0";

class TerminalHooks final : public BatchHooks {
  public:
    TerminalHooks(const CliOptions& options, uint32_t total)
        : options_(options), total_(total), progress_(isatty(fileno(stderr)) != 0) {}

    void takeSettings(Settings& settings) override { applyCliOptions(options_, settings); }

    void showBatchError(BatchError error) override {
        clearProgress();
        lastError_ = error;
        const char* text = "";
        switch (error) {
            case kErrorNoMemory:
                text = "Not enough memory to start the conversion.";
                break;
            case kErrorNothingProduced:
                text = "No file was converted.";
                break;
            case kErrorNoSourceFolder:
                text = "The folder of the first file does not exist; give --output-folder.";
                break;
            case kErrorSubFolder:
                text = "The output sub-folder cannot be created.";
                break;
        }
        std::fprintf(stderr, "moravel: %s\n", text);
    }

    void fileConverted(const char16_t* source, const char16_t* output) override {
        ++done_;
        showProgress(source);
        if (!progress_) std::printf("%s\n", toUtf8(output).c_str());
    }

    void fileFailed(const char16_t* source, FileFailure failure, uint32_t status) override {
        ++done_;
        clearProgress();
        if (status >= 50000 && status != 50000)
            std::fprintf(stderr, "moravel: %s: %s (code %u)\n", toUtf8(source).c_str(),
                         fileFailureText(failure), status);
        else
            std::fprintf(stderr, "moravel: %s: %s\n", toUtf8(source).c_str(),
                         fileFailureText(failure));
    }

    void finish() { clearProgress(); }
    BatchError lastError() const { return lastError_; }

  private:
    static std::string toUtf8(const char16_t* text) { return ::toUtf8(std::u16string(text)); }

    void showProgress(const char16_t* source) {
        if (!progress_) return;
        std::fprintf(stderr, "\r[%u/%u] %.60s\033[K", done_, total_, toUtf8(source).c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void clearProgress() {
        if (progress_ && shown_) std::fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

    const CliOptions& options_;
    uint32_t total_;
    uint32_t done_ = 0;
    bool progress_;
    bool shown_ = false;
    BatchError lastError_ = static_cast<BatchError>(0);
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "moravel: %s\n%s", message.c_str(), kUsageText);
    return 2;
}

int run(const std::vector<std::u16string>& args) {
    CliOptions options;
    std::string error;
    if (!parseCliOptions(args, options, error)) return usageError(error);
    if (options.help) {
        std::printf("%s", kUsageText);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", kVersion);
        return 0;
    }

    Settings settings;
    if (!options.settingsFile.empty() &&
        !loadSettingsFromFile(options.settingsFile.c_str(), settings)) {
        std::fprintf(stderr, "moravel: cannot read settings file %s\n",
                     toUtf8(options.settingsFile).c_str());
        return 2;
    }
    if (options.hasOutputFolder && !platform::isDirectory(options.outputFolder.c_str()))
        return usageError("output folder " + toUtf8(options.outputFolder) + " does not exist");

    if (options.showSettings || !options.saveSettingsFile.empty()) {
        applyCliOptions(options, settings);
        if (options.showSettings) printSettings(settings, stdout);
        if (!options.saveSettingsFile.empty() &&
            !saveSettingsToFile(options.saveSettingsFile.c_str(), settings)) {
            std::fprintf(stderr, "moravel: cannot write settings file %s\n",
                         toUtf8(options.saveSettingsFile).c_str());
            return 2;
        }
        if (options.files.empty()) return 0;
        if (!options.hasFormat) return usageError("no output format given (--format)");
    }

    // Paths that do not exist are skipped, as when started from Send To.
    std::vector<HeapString> sources;
    sources.reserve(options.files.size());
    for (const std::u16string& file : options.files) {
        if (platform::pathExists(file.c_str()) && !platform::isDirectory(file.c_str()))
            sources.emplace_back(file.c_str());
        else
            std::fprintf(stderr, "moravel: %s: no such file\n", toUtf8(file).c_str());
    }

    TerminalHooks hooks(options, static_cast<uint32_t>(sources.size()));
    BatchDriver driver(settings, hooks);
    // Files no native reader takes go to the image plug-ins of the plug-in
    // folder (from --plugin-folder or the settings file).
#ifdef _WIN32
    PluginHost pluginHost(settings.pluginFolder, settings.disabledPlugins);
    driver.setFallbackReader(&pluginHost);
    if (options.hasPluginFolder && !platform::isDirectory(options.pluginFolder.c_str()))
        return usageError("plug-in folder " + toUtf8(options.pluginFolder) + " does not exist");
#else
    if (options.hasPluginFolder)
        std::fprintf(stderr,
                     "moravel: image plug-ins exist only on Windows; --plugin-folder "
                     "is ignored\n");
#endif
    ConvertJob job;
    job.sources = sources.data();
    job.count = static_cast<uint32_t>(sources.size());
    job.format = options.format;
    bool produced = driver.executeJob(job);
    hooks.finish();
    if (produced) return 0;
    return hooks.lastError() == kErrorNothingProduced ? 1 : 2;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    return run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(fromUtf8(argv[i]));
    return run(args);
}
#endif
