// moravel's wording of the driver's codes: one reason per failure, the
// codec's or the system's reason after it, and the notes of converted files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "cli/failure_text.h"
#include "codecs/codec_status.h"
#include "codecs/png/png_status.h"

namespace {

TEST(FailureText, SaysWhatFailedAndWhy) {
    struct Case {
        FileFailure failure;
        OutputFormat format;
        uint32_t status;
        const char* expected;
    };
    const Case cases[] = {
        {FileFailure::Unreadable, OutputFormat::Png, 0, "not a picture this program can read"},
        {FileFailure::Unreadable, OutputFormat::Png, kStatusOk,
         "not a picture this program can read"},
        {FileFailure::Unreadable, OutputFormat::Png, kStatusMalformed,
         "cannot be read: damaged file structure"},
        {FileFailure::Unreadable, OutputFormat::Gif, kPngBadCrc,
         "cannot be read: damaged file (checksum mismatch)"},
        {FileFailure::EncodeFailed, OutputFormat::Jpeg, kStatusNoMemory,
         "could not be written in the output format: not enough memory"},
        {FileFailure::EncodeFailed, OutputFormat::JpegCopy, kStatusMalformed,
         "could not be re-written losslessly: damaged file structure"},
        {FileFailure::ResizeFailed, OutputFormat::Bmp, 0, "could not be resized"},
        {FileFailure::NotJpeg, OutputFormat::JpegCopy, kStatusMalformed,
         "not a JPEG file (the lossless re-write needs one)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileFailureText(c.failure, c.format, c.status, 0), c.expected);
    // The failure text never shows a bare code.
    for (const Case& c : cases)
        EXPECT_EQ(fileFailureText(c.failure, c.format, c.status, 0).find("500"), std::string::npos);
}

TEST(FailureText, CopyFailuresCarryTheSystemsReason) {
#ifdef _WIN32
    const uint32_t denied = 5;  // ERROR_ACCESS_DENIED
#else
    const uint32_t denied = EACCES;
#endif
    const std::string reason = systemReason(denied);
    ASSERT_FALSE(reason.empty());
    EXPECT_NE(reason.back(), '\n');
    EXPECT_NE(reason.back(), '.');
#ifndef _WIN32
    EXPECT_EQ(reason, std::strerror(EACCES));
#endif
    EXPECT_EQ(fileFailureText(FileFailure::CopyFailed, OutputFormat::Png, 0, denied),
              "could not be copied into the output folder: " + reason);
    EXPECT_EQ(fileFailureText(FileFailure::CopyFailed, OutputFormat::Png, 0, 0),
              "could not be copied into the output folder");
    EXPECT_EQ(batchErrorText(BatchError::SubFolder, denied),
              "The output sub-folder cannot be created: " + reason + ".");
    EXPECT_EQ(batchErrorText(BatchError::NothingProduced, 0), "No file was converted.");
}

TEST(FailureText, NotesOfConvertedFiles) {
    ConversionNotes notes;
    EXPECT_EQ(conversionNoteTexts(notes), "");
    notes.damaged = true;
    EXPECT_EQ(conversionNoteTexts(notes), "damaged, converted with missing parts filled\n");
    notes.damaged = false;
    notes.aboveSizeLimit = true;
    notes.sizeLimitKiB = 50;
    notes.outputBytes = 132 * 1024;
    EXPECT_EQ(conversionNoteTexts(notes),
              "132 KiB at the lowest quality, above the 50 KiB limit\n");
    notes.sizeLimitKiB = 1;
    notes.outputBytes = 1025;  // just above: never printed as equal to the limit
    EXPECT_EQ(conversionNoteTexts(notes), "2 KiB at the lowest quality, above the 1 KiB limit\n");
    notes = {};
    notes.ignoredProfile = true;
    EXPECT_TRUE(notes.any());
    EXPECT_EQ(conversionNoteTexts(notes), "colour profile ignored (unreadable)\n");
}

TEST(CodecStatusText, EveryStatusHasItsOwnText) {
    const uint32_t statuses[] = {
        kStatusOk,           kStatusNoMemory,      kStatusUnsupported,  kStatusInputError,
        kStatusOutputError,  kStatusReducerFailed, kStatusMalformed,    kPngInflateFailed,
        kPngDeflateFailed,   kPngBadCrc,           kPngBadChunkLength,  kPngBadHeaderLength,
        kPngMissingHeader,   kPngBadColourType,    kPngBadBitDepth,     kPngBadCompression,
        kPngBadFilterMethod, kPngBadInterlace,     kPngChunkOutOfOrder, kPngMissingData,
        kPngBadImageDataRun, kStatusPluginFailed};
    std::set<std::string> texts;
    for (uint32_t status : statuses) {
        const std::string text = codecStatusText(status);
        EXPECT_FALSE(text.empty()) << status;
        EXPECT_NE(text.back(), '.') << status;
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), std::size(statuses));
    EXPECT_EQ(texts.count(codecStatusText(12345)), 0u);
}

}  // namespace
