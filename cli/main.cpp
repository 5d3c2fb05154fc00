// `moravel`: the batch driver on a terminal. Options come from flags (and
// optionally a settings file), errors are plain sentences on stderr.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cli/cli_options.h"
#include "cli/failure_text.h"
#include "cli/settings_options.h"
#include "cli/source_paths.h"
#include "driver/batch_driver.h"
#include "driver/library_formats.h"
#include "library_versions.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"
#include "version.h"

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

constexpr char kVersion[] = "moravel " MORAVEL_VERSION_TEXT;

std::string utf8(const char16_t* text) {
    return toUtf8(std::u16string(text));
}

// Prints what the driver reports: each output path on stdout as soon as it
// is written (flushed per line, so a pipe sees it at once), reasons and notes
// on stderr, and on a terminal a progress line on stderr that is cleared
// before anything else is printed, so it never hides a listed path.
class TerminalHooks final : public BatchHooks {
  public:
    TerminalHooks(const CliOptions& options, uint32_t total)
        : options_(options), total_(total), progress_(isatty(fileno(stderr)) != 0) {}

    // The name to print for a source: as it was given on the command line.
    void addSource(const std::u16string& absolute, const std::u16string& given) {
        givenNames_.emplace(absolute, given);
    }

    void takeSettings(Settings& settings) override { applyCliOptions(options_, settings); }

    // Worded after the batch, when the driver's system error is known.
    void showBatchError(BatchError error) override { batchError_ = error; }

    void fileNotes(const char16_t* source, const ConversionNotes& notes) override {
        pendingNotes_ = conversionNoteTexts(notes);
    }

    void fileConverted(const char16_t* source, const char16_t* output) override {
        ++done_;
        clearProgress();
        std::printf("%s\n", utf8(output).c_str());
        std::fflush(stdout);
        printNotes(source);
        showProgress(source);
    }

    void fileFailed(const char16_t* source, FileFailure failure, uint32_t codecStatus,
                    uint32_t systemError) override {
        ++done_;
        ++failed_;
        pendingNotes_.clear();
        clearProgress();
        std::fprintf(stderr, "moravel: %s: %s\n", displayName(source).c_str(),
                     fileFailureText(failure, options_.format, codecStatus, systemError).c_str());
        showProgress(source);
    }

    void finish() { clearProgress(); }
    bool hadBatchError() const { return batchError_.has_value(); }
    BatchError batchError() const { return *batchError_; }
    uint32_t failedCount() const { return failed_; }

  private:
    std::string displayName(const char16_t* source) const {
        const auto found = givenNames_.find(source);
        return found != givenNames_.end() ? toUtf8(found->second) : utf8(source);
    }

    void printNotes(const char16_t* source) {
        size_t start = 0;
        while (start < pendingNotes_.size()) {
            const size_t end = pendingNotes_.find('\n', start);
            std::fprintf(stderr, "moravel: %s: %s\n", displayName(source).c_str(),
                         pendingNotes_.substr(start, end - start).c_str());
            start = end + 1;
        }
        pendingNotes_.clear();
    }

    void showProgress(const char16_t* source) {
        if (!progress_ || done_ >= total_) return;
        std::fprintf(stderr, "[%u/%u] %.60s\033[K\r", done_, total_, displayName(source).c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void clearProgress() {
        if (progress_ && shown_) {
            std::fprintf(stderr, "\033[K");
            std::fflush(stderr);
        }
        shown_ = false;
    }

    const CliOptions& options_;
    uint32_t total_;
    uint32_t done_ = 0;
    uint32_t failed_ = 0;
    bool progress_;
    bool shown_ = false;
    std::optional<BatchError> batchError_;
    std::string pendingNotes_;
    std::unordered_map<std::u16string, std::u16string> givenNames_;  // absolute -> as given
};

// One file at a time per processor, unless --jobs says otherwise.
uint32_t jobsFor(const CliOptions& options) {
    if (options.jobs > 0) return static_cast<uint32_t>(options.jobs);
    const unsigned processors = std::thread::hardware_concurrency();  // 0: unknown
    return std::clamp<uint32_t>(processors, 1, kMaxJobs);
}

// A usage error: one line and a pointer to the help, never the whole text.
int usageError(const std::string& message) {
    std::fprintf(stderr, "moravel: %s\ntry 'moravel --help'\n", message.c_str());
    return 2;
}

int run(const std::vector<std::u16string>& args) {
    CliOptions options;
    std::string error;
    if (!parseCliOptions(args, options, error)) return usageError(error);
    if (options.help) {
        std::printf("%s", usageText().c_str());
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", kVersion);
        for (const LibraryVersion& library : kLibraryVersions)
            std::printf("%s %s\n", library.name, library.version);
        return 0;
    }

    if (options.hasOutputFolder) options.outputFolder = absolutePath(options.outputFolder);
    Settings settings;
    // Without a settings file, as after a first start: the plug-ins beside the program.
    if (options.settingsFile.empty()) defaultPluginFolder(settings.pluginFolder);
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
            !saveSettingsToFile(options.saveSettingsFile.c_str(), settings, error)) {
            std::fprintf(stderr, "moravel: %s\n", error.c_str());
            return 2;
        }
        if (options.files.empty()) return 0;
        if (!options.hasFormat) return usageError("no output format given (--format)");
    }

    // Every source is made absolute first: the output folder is the first
    // source's folder. Paths that do not exist and folders are skipped, as
    // when started from Send To, and count as failed files.
    std::vector<HeapString> sources;
    sources.reserve(options.files.size());
    std::vector<std::pair<std::u16string, std::u16string>> names;  // absolute, as given
    uint32_t skipped = 0;
    for (const std::u16string& file : options.files) {
        std::u16string absolute = absolutePath(file);
        switch (classifySource(absolute)) {
            case SourceKind::Missing:
                std::fprintf(stderr, "moravel: %s: no such file\n", toUtf8(file).c_str());
                ++skipped;
                break;
            case SourceKind::Folder:
                std::fprintf(stderr, "moravel: %s: is a folder\n", toUtf8(file).c_str());
                ++skipped;
                break;
            case SourceKind::File:
                sources.emplace_back(absolute.c_str());
                names.emplace_back(std::move(absolute), file);
                break;
        }
    }
    if (sources.empty()) {
        std::fprintf(stderr, "moravel: no input files\n");
        return 2;
    }

    TerminalHooks hooks(options, static_cast<uint32_t>(sources.size()));
    for (const auto& [absolute, given] : names) hooks.addSource(absolute, given);
    BatchDriver driver(settings, hooks, everyFormat());
    driver.setJobs(jobsFor(options));
    // Files no native reader takes go to the image plug-ins of the plug-in
    // folder (from --plugin-folder or the settings file).
#ifdef _WIN32
    PluginHost pluginHost(settings.pluginFolder, settings.disabledPlugins);
    driver.setFallbackReader(&pluginHost);
    // An empty --plugin-folder asks for no plug-ins at all.
    if (options.hasPluginFolder && !options.pluginFolder.empty() &&
        !platform::isDirectory(options.pluginFolder.c_str()))
        return usageError("plug-in folder " + toUtf8(options.pluginFolder) + " does not exist");
#else
    // WebP, HEIC and AVIF are entries of the format table here.
    if (options.hasPluginFolder)
        std::fprintf(stderr,
                     "moravel: image plug-ins exist only on Windows; --plugin-folder "
                     "is ignored\n");
#endif
    ConvertJob job;
    job.sources = sources.data();
    job.count = static_cast<uint32_t>(sources.size());
    job.format = options.format;
    job.switches = options.switches;
    // Ctrl+C or SIGTERM mid-batch removes the batch's temporary files and a
    // sub-folder it made that is still empty, then exits with this status.
    constexpr int kExitInterrupted = 130;
    platform::installInterruptCleanup(kExitInterrupted);
    driver.executeJob(job);
    hooks.finish();
    if (hooks.hadBatchError())
        std::fprintf(stderr, "moravel: %s\n",
                     batchErrorText(hooks.batchError(), driver.batchSystemError()).c_str());
    if (hooks.hadBatchError() && hooks.batchError() != BatchError::NothingProduced) return 2;
    return hooks.failedCount() + skipped > 0 ? 1 : 0;
}

}  // namespace

#ifdef _WIN32
// The Windows command prompt hands "*.jpg" over as it stands; the C runtime
// expands wildcards in the arguments before wmain, as a Linux shell would.
extern "C" {
int _dowildcard = -1;
}

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
