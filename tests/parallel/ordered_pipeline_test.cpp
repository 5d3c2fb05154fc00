// Several workers, results taken back in order: the pipeline under shuffled
// completion orders, and the batch driver with several jobs against one.
#include "driver/ordered_pipeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "cli/cli_options.h"
#include "driver/batch_driver.h"
#include "tests/support/temp_folder.h"

namespace {

struct PipelineCase {
    uint32_t count, workers, window, seed;
};

TEST(OrderedPipeline, TakesInOrderWithinItsBoundsWhateverOrderWorkFinishesIn) {
    const PipelineCase cases[] = {
        {0, 3, 6, 1}, {1, 4, 8, 2}, {7, 2, 2, 3}, {40, 2, 4, 4}, {40, 8, 16, 5}, {25, 5, 5, 6},
    };
    bool everShuffled = false;
    for (const PipelineCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " workers " << c.workers);
        std::mt19937 random(c.seed);
        std::vector<int> pauseMs(c.count);
        for (int& pause : pauseMs) pause = static_cast<int>(random() % 8);

        std::mutex lock;
        std::vector<uint32_t> finished, taken, workedBy(c.count, ~0u);
        std::vector<int> timesWorked(c.count, 0);
        uint32_t running = 0, mostRunning = 0, started = 0, mostOutstanding = 0;
        const std::thread::id caller = std::this_thread::get_id();
        bool takenOnCaller = true, takenBeforeDone = false;

        const uint32_t threads = runOrderedPipeline(
            c.count, {c.workers, c.window},
            [&](uint32_t index, uint32_t worker) {
                {
                    std::lock_guard<std::mutex> guard(lock);
                    ++running;
                    ++started;
                    mostRunning = std::max(mostRunning, running);
                    mostOutstanding = std::max<uint32_t>(
                        mostOutstanding, started - static_cast<uint32_t>(taken.size()));
                    workedBy[index] = worker;
                    ++timesWorked[index];
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs[index]));
                std::lock_guard<std::mutex> guard(lock);
                --running;
                finished.push_back(index);
            },
            [&](uint32_t index) {
                std::lock_guard<std::mutex> guard(lock);
                takenOnCaller = takenOnCaller && std::this_thread::get_id() == caller;
                takenBeforeDone = takenBeforeDone || std::find(finished.begin(), finished.end(),
                                                               index) == finished.end();
                taken.push_back(index);
            });

        EXPECT_EQ(threads, c.workers);
        ASSERT_EQ(taken.size(), c.count);
        for (uint32_t i = 0; i < c.count; ++i) {
            EXPECT_EQ(taken[i], i);
            EXPECT_EQ(timesWorked[i], 1);
            EXPECT_LT(workedBy[i], threads);
        }
        EXPECT_TRUE(takenOnCaller);
        EXPECT_FALSE(takenBeforeDone);
        EXPECT_LE(mostRunning, c.workers);
        EXPECT_LE(mostOutstanding, std::max(c.window, c.workers));
        for (uint32_t i = 0; i + 1 < finished.size(); ++i)
            everShuffled = everShuffled || finished[i] > finished[i + 1];
    }
    // The random pauses did make work finish out of order somewhere.
    EXPECT_TRUE(everShuffled);
}

// A stop set while items run: nothing starts after it, what started is taken
// back, and what was taken is a prefix of the items.
TEST(OrderedPipeline, StopStartsNothingMoreAndTakesBackWhatStarted) {
    for (uint32_t workers : {1u, 2u, 4u}) {
        for (uint32_t stopAt : {0u, 3u, 17u}) {
            SCOPED_TRACE(testing::Message() << workers << " workers, stop at " << stopAt);
            std::atomic<bool> stop{stopAt == 0};
            std::mutex lock;
            std::vector<uint32_t> started, taken;
            runOrderedPipeline(
                40, {workers, 2 * workers},
                [&](uint32_t index, uint32_t) {
                    {
                        std::lock_guard<std::mutex> guard(lock);
                        started.push_back(index);
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(index % 3));
                },
                [&](uint32_t index) {
                    taken.push_back(index);
                    if (index + 1 == stopAt) stop = true;
                },
                &stop);
            std::sort(started.begin(), started.end());
            EXPECT_EQ(taken, started);
            for (uint32_t i = 0; i < taken.size(); ++i) EXPECT_EQ(taken[i], i);
            EXPECT_GE(taken.size(), stopAt);
            // At most the window's worth were under way when the stop came.
            EXPECT_LE(taken.size(), stopAt + 2 * workers);
        }
    }
}

// ---- The batch driver: several jobs against one, in-process.

// A 24-bit bottom-up BMP with a gradient that depends on `seed`.
std::vector<uint8_t> bmp(int width, int height, int seed) {
    const int stride = (width * 3 + 3) & ~3;
    const uint32_t pixelBytes = static_cast<uint32_t>(stride * height);
    std::vector<uint8_t> file(54 + pixelBytes, 0);
    auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(width));
    put32(22, static_cast<uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, pixelBytes);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &file[54 + static_cast<size_t>(y) * stride + x * 3];
            p[0] = static_cast<uint8_t>(x * 7 + seed * 31);
            p[1] = static_cast<uint8_t>(y * 5 + seed);
            p[2] = static_cast<uint8_t>((x ^ y) * 3 + seed * 11);
        }
    return file;
}

// Everything the driver tells its front end, in order, with folders cut off.
class TranscriptHooks : public BatchHooks {
  public:
    explicit TranscriptHooks(std::string root) : root_(std::move(root)) {}
    void showBatchError(BatchError error) override {
        lines.push_back("error " + std::to_string(static_cast<int>(error)));
    }
    void fileNotes(const char16_t* source, const ConversionNotes&) override {
        lines.push_back("notes " + local(source));
    }
    void fileConverted(const char16_t* source, const char16_t* output) override {
        lines.push_back("converted " + local(source) + " -> " + local(output));
    }
    void fileFailed(const char16_t* source, FileFailure failure, uint32_t status,
                    uint32_t) override {
        lines.push_back("failed " + local(source) + " " +
                        std::to_string(static_cast<int>(failure)) + " " + std::to_string(status));
    }
    std::vector<std::string> lines;

  private:
    std::string local(const char16_t* path) const {
        std::string text = std::filesystem::path(std::u16string(path)).string();
        return text.rfind(root_, 0) == 0 ? text.substr(root_.size()) : text;
    }
    std::string root_;
};

struct BatchResult {
    std::vector<std::string> transcript;
    std::map<std::string, std::vector<uint8_t>> files;  // output folder: name -> bytes
};

// cancelAfter: the batch is cancelled when that many sources were reported
// (0: never).
BatchResult runBatch(uint32_t jobs, OutputFormat format, bool resize, uint32_t cancelAfter = 0) {
    TempFolder root;
    // The same names in several folders, a file that is no picture, a
    // truncated one, and one name already taken in the output folder.
    std::vector<std::filesystem::path> paths;
    for (int folder = 0; folder < 3; ++folder) {
        const std::filesystem::path dir = root / ("in" + std::to_string(folder));
        std::filesystem::create_directories(dir);
        for (int i = 0; i < 5; ++i) {
            const std::string name = "p" + std::to_string(i) + ".bmp";
            std::vector<uint8_t> bytes = bmp(20 + 37 * i + folder, 15 + 23 * i, folder * 5 + i);
            if (folder == 1 && i == 2) bytes.resize(30);
            if (folder == 2 && i == 4) bytes.assign(200, 'x');
            root.write("in" + std::to_string(folder) + "/" + name, bytes);
            paths.push_back(dir / name);
        }
    }
    const std::filesystem::path out = root / "out";
    std::filesystem::create_directories(out);
    root.write("out/p3" + std::string(format == OutputFormat::Gif ? ".gif" : ".png"), {1, 2, 3});

    std::vector<HeapString> sources;
    for (const auto& path : paths) sources.emplace_back(u16(path).c_str());
    Settings settings;
    settings.outputFolder.assign(u16(out).c_str());
    if (resize) {
        settings.resizeOn = 1;
        settings.resizeMode = kResizeByLongerSide;
        settings.resizeTarget = 60;
    }
    struct CancellingHooks final : TranscriptHooks {
        using TranscriptHooks::TranscriptHooks;
        void fileConverted(const char16_t* source, const char16_t* output) override {
            TranscriptHooks::fileConverted(source, output);
            if (lines.size() == cancelAfter) cancel = true;
        }
        void fileFailed(const char16_t* source, FileFailure failure, uint32_t status,
                        uint32_t error) override {
            TranscriptHooks::fileFailed(source, failure, status, error);
            if (lines.size() == cancelAfter) cancel = true;
        }
        size_t cancelAfter = 0;
        std::atomic<bool> cancel{false};
    } hooks(root.path().string());
    hooks.cancelAfter = cancelAfter;
    BatchDriver driver(settings, hooks);
    driver.setJobs(jobs);
    driver.setCancelFlag(&hooks.cancel);
    ConvertJob job;
    job.sources = sources.data();
    job.count = static_cast<uint32_t>(sources.size());
    job.format = format;
    driver.executeJob(job);

    BatchResult result;
    result.transcript = hooks.lines;
    for (const auto& entry : std::filesystem::directory_iterator(out))
        result.files[entry.path().filename().string()] = readBytes(entry.path());
    return result;
}

// An environment variable for this process; empty: removed.
void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    if (value.empty())
        unsetenv(name);
    else
        setenv(name, value.c_str(), 1);
#endif
}

void setShuffleSeed(const std::string& seed) {
    setVariable("MORAVEL_TEST_SHUFFLE_SEED", seed);
}

TEST(ParallelBatch, SeveralJobsGiveTheNamesBytesAndReportsOfOne) {
    const struct {
        OutputFormat format;
        bool resize;
    } cases[] = {{OutputFormat::Png, false}, {OutputFormat::Gif, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.format));
        const BatchResult one = runBatch(1, c.format, c.resize);
        // 15 sources, 2 of them failing, and p3 taken in advance.
        ASSERT_EQ(one.transcript.size(), 15u);
        ASSERT_EQ(one.files.size(), 14u);
        for (uint32_t jobs : {2u, 3u, 8u}) {
            SCOPED_TRACE(jobs);
            // The driver's test hook: conversions start after random pauses.
            setShuffleSeed(std::to_string(jobs * 7 + 1));
            const BatchResult many = runBatch(jobs, c.format, c.resize);
            setShuffleSeed("");
            EXPECT_EQ(many.transcript, one.transcript);
            EXPECT_TRUE(many.files == one.files);
        }
    }
}

// Cancelled part-way: the reports are the first ones of the whole batch, the
// output folder holds exactly their files with the same bytes, and no
// temporary file is left, with one job and with several.
TEST(ParallelBatch, CancelEndsAfterAPrefixAndLeavesNoTemporaryFile) {
    TempFolder temporaries;
#ifdef _WIN32
    const char* variable = "TMP";
#else
    const char* variable = "TMPDIR";
#endif
    const char* previous = std::getenv(variable);
    const std::string saved = previous ? previous : "";
    setVariable(variable, temporaries.path().string());
    const BatchResult whole = runBatch(1, OutputFormat::Png, false);
    for (uint32_t jobs : {1u, 3u}) {
        for (uint32_t cancelAfter : {1u, 6u}) {
            SCOPED_TRACE(testing::Message() << jobs << " jobs, cancel after " << cancelAfter);
            const BatchResult part = runBatch(jobs, OutputFormat::Png, false, cancelAfter);
            ASSERT_GE(part.transcript.size(), cancelAfter);
            ASSERT_LT(part.transcript.size(), whole.transcript.size());
            EXPECT_TRUE(std::equal(part.transcript.begin(), part.transcript.end(),
                                   whole.transcript.begin()));
            // Every output is a whole file of the uncancelled batch.
            size_t converted = 0;
            for (const std::string& line : part.transcript)
                converted += line.rfind("converted", 0) == 0;
            EXPECT_EQ(part.files.size(), converted + 1);  // and the name taken in advance
            for (const auto& [name, bytes] : part.files) {
                ASSERT_TRUE(whole.files.count(name)) << name;
                EXPECT_EQ(bytes, whole.files.at(name)) << name;
            }
            EXPECT_TRUE(std::filesystem::is_empty(temporaries.path()));
        }
    }
    setVariable(variable, saved);
}

TEST(JobsOption, BothFormsAndItsRange) {
    const struct {
        std::vector<std::u16string> args;
        bool accepted;
        int jobs;
    } cases[] = {
        {{u"--format=png", u"a"}, true, 0},  // 0: one per processor
        {{u"--format=png", u"--jobs", u"3", u"a"}, true, 3},
        {{u"--format=png", u"--jobs=1", u"a"}, true, 1},
        {{u"--format=png", u"--jobs=64", u"a"}, true, 64},
        {{u"--format=png", u"--jobs=0", u"a"}, false, 0},
        {{u"--format=png", u"--jobs=65", u"a"}, false, 0},
        {{u"--format=png", u"--jobs", u"-2", u"a"}, false, 0},
        {{u"--format=png", u"--jobs=two", u"a"}, false, 0},
        {{u"--format=png", u"a", u"--jobs"}, false, 0},
    };
    for (const auto& c : cases) {
        CliOptions options;
        std::string error;
        EXPECT_EQ(parseCliOptions(c.args, options, error), c.accepted) << c.args.size() << error;
        if (c.accepted) {
            EXPECT_EQ(options.jobs, c.jobs);
        } else {
            EXPECT_NE(error.find("--jobs"), std::string::npos) << error;
        }
    }
    EXPECT_NE(usageText().find("--jobs N"), std::string::npos);
}

}  // namespace
