#include "codecs/jpeg/jpeg_copy.h"

#include "codecs/jpeg/jpeg_destination.h"
#include "codecs/jpeg/jpeg_memory_bound.h"
#include "codecs/jpeg/jpeg_scan_limit.h"
#include "codecs/jpeg/jpeg_source.h"
#include "platform/platform.h"

namespace {

// Both library objects and their managers in one plain struct: transcodeFile()
// calls setjmp, and nothing with a destructor may live in the frames a
// library error jumps over.
struct CopyJob {
    jpeg_decompress_struct source;
    jpeg_compress_struct destination;
    JpegErrorManager sourceError;
    JpegErrorManager destinationError;
    JpegMappedSource mappedSource;
    JpegScanLimit scanLimit;
    JpegFileDestination fileDestination;
    const uint8_t* data;
    size_t size;
    bool ownBytes;
    platform::File* file;
    bool progressive;
    uint8_t orientation;
    const uint8_t* iccProfile;
    size_t iccSize;
    uint32_t status;  // the CodecStatus of a library error
};

// "Exif\0\0" and a big-endian TIFF structure whose one directory holds
// one entry: Orientation (274), one SHORT; no next directory.
constexpr size_t kMinimalExifBytes = 32;
void writeOrientationExif(j_compress_ptr destination, uint8_t orientation) {
    const uint8_t exif[kMinimalExifBytes] = {
        'E',  'x',         'i', 'f', 0, 0,        // identifier
        'M',  'M',         0,   42,  0, 0, 0, 8,  // byte order, 42, first directory at 8
        0,    1,                                  // one entry
        0x01, 0x12,        0,   3,   0, 0, 0, 1,  // Orientation, SHORT, one value
        0,    orientation, 0,   0,                // the value, left-aligned
        0,    0,           0,   0,                // no next directory
    };
    jpeg_write_marker(destination, JPEG_APP0 + 1, exif, kMinimalExifBytes);
}

void copySteps(CopyJob& job) {
    jpeg_decompress_struct& source = job.source;
    jpeg_compress_struct& destination = job.destination;
    limitJpegMemory(reinterpret_cast<j_common_ptr>(&source));
    limitJpegMemory(reinterpret_cast<j_common_ptr>(&destination));
    installMappedSource(&source, job.mappedSource, job.data, job.size, job.ownBytes);
    installJpegScanLimit(&source, job.scanLimit);
    jpeg_read_header(&source, TRUE);
    if (const char* refusal = jpegPictureRefusal(&source, job.size, true))
        failJpegCall(reinterpret_cast<j_common_ptr>(&source), refusal);
    jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&source);
    jpeg_copy_critical_parameters(&source, &destination);
    if (destination.num_components == 1) {
        destination.comp_info[0].h_samp_factor = 1;
        destination.comp_info[0].v_samp_factor = 1;
    }
    destination.optimize_coding = TRUE;
    if (job.progressive) jpeg_simple_progression(&destination);
    installFileDestination(&destination, job.fileDestination, *job.file);
    destination.write_JFIF_header = TRUE;
    jpeg_write_coefficients(&destination, coefficients);
    // After the JFIF header, before the frame: Exif, then the profile.
    if (job.orientation >= 2 && job.orientation <= 8)
        writeOrientationExif(&destination, job.orientation);
    if (job.iccProfile && job.iccSize > 0)
        jpeg_write_icc_profile(&destination, job.iccProfile, static_cast<unsigned>(job.iccSize));
    jpeg_finish_compress(&destination);
    jpeg_finish_decompress(&source);
}

bool transcodeFile(CopyJob& job, char16_t* messageText) {
    job.source.err = installJpegErrorManager(job.sourceError, messageText);
    job.destination.err = installJpegErrorManager(job.destinationError, messageText);
    // Both objects exist (or are marked not created) before either can fail:
    // the create calls fail only on a version mismatch, which leaves the
    // object safe to destroy.
    if (setjmp(job.sourceError.jumpTarget)) {
        jpeg_destroy_compress(&job.destination);
        jpeg_destroy_decompress(&job.source);
        job.status = job.sourceError.failureStatus;
        return false;
    }
    if (setjmp(job.destinationError.jumpTarget)) {
        jpeg_destroy_compress(&job.destination);
        jpeg_destroy_decompress(&job.source);
        job.status = job.destinationError.failureStatus;
        return false;
    }
    jpeg_create_decompress(&job.source);
    jpeg_create_compress(&job.destination);
    copySteps(job);
    jpeg_destroy_compress(&job.destination);
    jpeg_destroy_decompress(&job.source);
    return true;
}

}  // namespace

bool JpegCopy::transcode(const char16_t* source, const char16_t* destination) {
    input_.status = kStatusOk;
    messageText_[0] = u'\0';
    damaged_ = false;
    if (input_.openCopyOnWrite(source) == 0) return false;  // status 50004
    return transcodeInput(destination);
}

bool JpegCopy::transcode(const uint8_t* data, size_t size, const char16_t* destination) {
    input_.status = kStatusOk;
    messageText_[0] = u'\0';
    if (input_.openMemory(data, size) == 0) return false;  // status 50004
    return transcodeInput(destination);
}

bool JpegCopy::transcode(SourceBytes& source, const char16_t* destination) {
    input_.status = kStatusOk;
    messageText_[0] = u'\0';
    if (input_.openCopy(source) == 0) return false;  // status 50004
    return transcodeInput(destination);
}

bool JpegCopy::transcodeInput(const char16_t* destination) {
    bool copied = false;
    platform::File file;
    if (!file.create(destination)) {
        input_.status = kStatusOutputError;
    } else {
        CopyJob job{};
        job.data = input_.base;
        job.size = input_.size();
        job.ownBytes = input_.ownsBytes();
        job.file = &file;
        job.progressive = progressive_;
        job.orientation = orientation_;
        job.iccProfile = iccProfile_;
        job.iccSize = iccSize_;
        copied = transcodeFile(job, messageText_);
        if (!copied) input_.status = job.status;
        damaged_ = job.sourceError.library.num_warnings > 0;
        // Data the system still held can fail to reach the disk only at close.
        if (copied && !file.closeChecked()) {
            input_.status = kStatusOutputError;
            copied = false;
        }
    }
    file.close();
    input_.close();
    return copied;
}
