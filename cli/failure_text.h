// moravel's English wording of what the batch driver reports in codes: why
// a file failed, what a converted file should be noted for, and the
// batch-level errors.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "driver/batch_driver.h"

// The reason one source failed, e.g. "cannot be read: damaged file
// structure" or "could not be copied into the output folder: Permission
// denied". codecStatus and systemError are 0 when they do not apply.
std::string fileFailureText(FileFailure failure, OutputFormat format, uint32_t codecStatus,
                            uint32_t systemError);

// One line per note of a converted source, each without the file name:
// "damaged, converted with missing parts filled", "132 KiB at the lowest
// quality, above the 50 KiB limit".
std::string conversionNoteTexts(const ConversionNotes& notes);

// A batch-level error as a sentence; the system's reason is added when given.
std::string batchErrorText(BatchError error, uint32_t systemError);

// The operating system's text for one of its error codes.
std::string systemReason(uint32_t systemError);
