// Delivery into the output folder: hidden copies, renames that never
// replace, names held by links, the temporary folder, non-regular sources,
// sources read whole, and the clean-up an interrupt runs.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "codecs/codec_status.h"
#include "codecs/source_bytes.h"
#include "driver/output_names.h"
#include "platform/interrupt_cleanup.h"
#include "platform/platform.h"
#include "tests/support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(Delivery, HiddenCopyThenRenameWithoutReplacing) {
    TempFolder folder;
    const fs::path temporary = folder.write("finished.tmp", bytesOf("new bytes"));
    folder.write("photo.png", bytesOf("old photo"));

    platform::File target;
    char16_t hidden[400] = {};
    ASSERT_TRUE(platform::createHiddenFile(u16(folder.path()).c_str(), target, hidden, 400));
    const fs::path hiddenPath(std::u16string{hidden});
    EXPECT_EQ(hiddenPath.parent_path(), folder.path());
#ifdef _WIN32
    EXPECT_EQ(hiddenPath.filename().string().rfind("~mv", 0), 0u);
    EXPECT_TRUE(GetFileAttributesW(hiddenPath.c_str()) & FILE_ATTRIBUTE_HIDDEN);
#else
    EXPECT_EQ(hiddenPath.filename().string().rfind(".mv-", 0), 0u);
#endif
    ASSERT_TRUE(platform::copyAndCommit(u16(temporary).c_str(), target));
    EXPECT_FALSE(target.isOpen());
    EXPECT_EQ(readBytes(hiddenPath), bytesOf("new bytes"));

    // A taken name is reported as such and left as it was.
    const std::u16string taken = u16(folder / "photo.png");
    EXPECT_EQ(platform::renameNoReplace(hidden, taken.c_str()), platform::RenameOutcome::NameTaken);
    EXPECT_EQ(readBytes(folder / "photo.png"), bytesOf("old photo"));
    EXPECT_TRUE(fs::exists(hiddenPath));

    const std::u16string free = u16(folder / "photo+1.png");
    EXPECT_EQ(platform::renameNoReplace(hidden, free.c_str()), platform::RenameOutcome::Renamed);
    EXPECT_EQ(readBytes(folder / "photo+1.png"), bytesOf("new bytes"));
    EXPECT_FALSE(fs::exists(hiddenPath));
#ifdef _WIN32
    EXPECT_FALSE(GetFileAttributesW((folder / "photo+1.png").c_str()) & FILE_ATTRIBUTE_HIDDEN);
#endif
    // A missing source is a failure, not a taken name.
    EXPECT_EQ(platform::renameNoReplace(hidden, u16(folder / "x.png").c_str()),
              platform::RenameOutcome::Failed);
}

TEST(Delivery, HiddenNamesAreFreshAndCopyFailuresAreReported) {
    TempFolder folder;
    platform::File first, second;
    char16_t a[400] = {}, b[400] = {};
    ASSERT_TRUE(platform::createHiddenFile(u16(folder.path()).c_str(), first, a, 400));
    ASSERT_TRUE(platform::createHiddenFile(u16(folder.path()).c_str(), second, b, 400));
    EXPECT_NE(std::u16string(a), std::u16string(b));
    // No room for the name, no folder, no source: all fail.
    platform::File third;
    char16_t small[8] = {};
    EXPECT_FALSE(platform::createHiddenFile(u16(folder.path()).c_str(), third, small, 8));
    char16_t roomy[400] = {};
    EXPECT_FALSE(platform::createHiddenFile(u16(folder / "missing").c_str(), third, roomy, 400));
    EXPECT_FALSE(platform::copyAndCommit(u16(folder / "absent.tmp").c_str(), first));
    EXPECT_FALSE(first.isOpen());
    EXPECT_FALSE(platform::copyAndCommit(u16(folder / "absent.tmp").c_str(), first));
}

TEST(Delivery, UniqueNamesSkipEverythingThatHoldsAName) {
    TempFolder folder;
    folder.write("a.png", {1});
    fs::create_directory(folder / "a+1.png");
    HeapString path(u16(folder / "a.png").c_str());
    ASSERT_TRUE(makeUniqueOutputName(path, u".png"));
    EXPECT_EQ(fs::path(std::u16string(path.c_str())).filename(), "a+2.png");
#ifndef _WIN32
    // A link to nothing still holds its name.
    fs::create_symlink(folder / "nowhere", folder / "a+2.png");
    EXPECT_TRUE(platform::nameTaken(u16(folder / "a+2.png").c_str()));
    EXPECT_FALSE(platform::pathExists(u16(folder / "a+2.png").c_str()));
    HeapString again(u16(folder / "a.png").c_str());
    ASSERT_TRUE(makeUniqueOutputName(again, u".png"));
    EXPECT_EQ(fs::path(std::u16string(again.c_str())).filename(), "a+3.png");
    // And the rename does not write through it.
    folder.write("ready", bytesOf("x"));
    EXPECT_EQ(
        platform::renameNoReplace(u16(folder / "ready").c_str(), u16(folder / "a+2.png").c_str()),
        platform::RenameOutcome::NameTaken);
    EXPECT_FALSE(fs::exists(folder / "nowhere"));
#endif
    EXPECT_FALSE(platform::nameTaken(u16(folder / "b.png").c_str()));
}

TEST(Delivery, InterruptCleanupRemovesFilesAndOnlyAnEmptyFolder) {
    TempFolder folder;
    const fs::path temporary = folder.write("tmp1", {1, 2});
    const fs::path sub = folder / "Output";
    fs::create_directory(sub);
    platform::File open;
    char16_t hidden[400] = {};
    ASSERT_TRUE(platform::createHiddenFile(u16(sub).c_str(), open, hidden, 400));
    ASSERT_TRUE(open.write("partial", 7));  // still open, as mid-copy
    platform::setCleanupPath(platform::CleanupItem::TemporaryFile, u16(temporary).c_str());
    platform::setCleanupPath(platform::CleanupItem::DeliveryFile, hidden, open.handle());
    platform::setCleanupPath(platform::CleanupItem::CreatedFolder, u16(sub).c_str());
    platform::runInterruptCleanup();
#ifndef _WIN32
    open.close();  // Windows closed the registered handle itself
#endif
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(fs::path(std::u16string(hidden))));
    EXPECT_FALSE(fs::exists(sub));

    // A folder that holds a delivered file stays; forgotten paths are kept.
    fs::create_directory(sub);
    folder.write("Output/done.png", {1});
    const fs::path kept = folder.write("kept", {1});
    platform::setCleanupPath(platform::CleanupItem::CreatedFolder, u16(sub).c_str());
    { platform::ScopedCleanupPath scoped(platform::CleanupItem::TemporaryFile, u16(kept).c_str()); }
    platform::runInterruptCleanup();
    platform::setCleanupPath(platform::CleanupItem::CreatedFolder, nullptr);
    EXPECT_TRUE(fs::exists(sub / "done.png"));
    EXPECT_TRUE(fs::exists(kept));
}

#ifndef _WIN32
class TmpdirOverride {
  public:
    explicit TmpdirOverride(const std::string& value) {
        const char* old = std::getenv("TMPDIR");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("TMPDIR", value.c_str(), 1);
    }
    ~TmpdirOverride() {
        if (hadOld_)
            setenv("TMPDIR", old_.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }

  private:
    bool hadOld_ = false;
    std::string old_;
};

std::string tempFolderNow() {
    char16_t buffer[261] = {};
    if (platform::tempFolder(buffer, 261) == 0) return "(none)";
    return fs::path(std::u16string(buffer)).string();
}

TEST(Delivery, TemporaryFolderFallsBackToTheSystemOne) {
    TempFolder folder;
    // 300 characters of real, nested folders.
    fs::path deep = folder.path();
    while (deep.string().size() < 300) deep /= std::string(40, 'd');
    fs::create_directories(deep);
    const std::string mine = folder.path().string() + "/";
    struct Case {
        std::string tmpdir;
        std::string expected;
    } cases[] = {
        {folder.path().string(), mine},
        {mine, mine},
        {deep.string(), "/tmp/"},
        {(folder / "missing").string(), "/tmp/"},
        {folder.write("file", {1}).string(), "/tmp/"},
        {"", "/tmp/"},
    };
    for (const Case& c : cases) {
        TmpdirOverride tmpdir(c.tmpdir);
        EXPECT_EQ(tempFolderNow(), c.expected) << c.tmpdir;
    }
}

TEST(Delivery, OnlyRegularFilesAreOpened) {
    TempFolder folder;
    const fs::path fifo = folder / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    platform::File file;
    // Returns at once: no writer is waited for.
    EXPECT_FALSE(file.openForReading(u16(fifo).c_str()));
    EXPECT_FALSE(file.openForReading(u"/dev/zero"));
    EXPECT_FALSE(file.openForReading(u16(folder.path()).c_str()));
    EXPECT_TRUE(file.openForReading(u16(folder.write("plain", {1})).c_str()));
}

TEST(Delivery, SourcesAreReadWholeAndChangesAfterwardsAreSeen) {
    TempFolder folder;
    std::vector<uint8_t> content(200000);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<uint8_t>(i * 7 + 3);
    const fs::path path = folder.write("source", content);
    SourceBytes bytes;
    ASSERT_EQ(bytes.load(u16(path).c_str()), kStatusOk);
    ASSERT_EQ(bytes.size(), content.size());
    EXPECT_EQ(std::memcmp(bytes.data(), content.data(), content.size()), 0);
    EXPECT_TRUE(bytes.unchangedOnDisk(u16(path).c_str()));
    // Cut afterwards: what was read stays whole, and the change is seen.
    ASSERT_EQ(truncate(path.c_str(), 4096), 0);
    EXPECT_EQ(bytes.data()[199999], content[199999]);
    EXPECT_FALSE(bytes.unchangedOnDisk(u16(path).c_str()));

    const fs::path empty = folder.write("empty", {});
    for (const fs::path& refused : {empty, folder / "missing", folder.path()}) {
        SCOPED_TRACE(refused.string());
        EXPECT_EQ(bytes.load(u16(refused).c_str()), kStatusInputError);
        EXPECT_EQ(bytes.size(), 0u);
        EXPECT_FALSE(bytes.unchangedOnDisk(u16(refused).c_str()));
    }
}

TEST(DeliveryDeathTest, AnInterruptRemovesWhatWasRegisteredAndExits) {
    // A plain fork: the child works in this test's folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    TempFolder folder;
    const fs::path temporary = folder / "tmp-new";
    const fs::path sub = folder / "Fresh";
    EXPECT_EXIT(
        {
            platform::installInterruptCleanup(77);
            fs::create_directory(sub);
            platform::setCleanupPath(platform::CleanupItem::CreatedFolder, u16(sub).c_str());
            {
                platform::InterruptDeferral deferral;
                std::raise(SIGINT);  // held back until the file is registered
                folder.write("reached", {1});
                folder.write("tmp-new", {1});
                platform::setCleanupPath(platform::CleanupItem::TemporaryFile,
                                         u16(temporary).c_str());
            }
            std::exit(1);  // not reached: the handler ends the process
        },
        ::testing::ExitedWithCode(77), "");
    EXPECT_TRUE(fs::exists(folder / "reached"));
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_FALSE(fs::exists(sub));
}

#endif

}  // namespace
