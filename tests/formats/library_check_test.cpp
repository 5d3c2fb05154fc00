// A failed internal check of a natively built picture library fails the one
// decode it happens in, and the process goes on decoding.
#include "formats/library_check.h"

#include <gtest/gtest.h>

#include "formats/heif_decoder.h"
#include "tests/support/temp_folder.h"

// libde265's own interface, as the static library exports it.
extern "C" {
void* de265_new_decoder();
int de265_free_decoder(void* decoder);
void de265_set_parameter_bool(void* decoder, int parameter, int value);
int moravel_test_check_in_c(int value);
int moravel_test_check_in_cpp(int value, int* cleanups);
}

namespace {

using formats::DecodeStatus;
using formats::guardLibraryCalls;

class CountingSink final : public formats::PictureSink {
  public:
    uint8_t* allocate(uint32_t width, uint32_t height, uint32_t stride) override {
        rows.assign(size_t{stride} * height, 0);
        return rows.data();
    }
    std::vector<uint8_t> rows;
};

TEST(LibraryChecks, AFailedCheckFailsTheDecodeAndTheProcessGoesOn) {
    struct DecoderFree {
        void operator()(void* decoder) const { de265_free_decoder(decoder); }
    };
    const std::unique_ptr<void, DecoderFree> de265(de265_new_decoder());
    ASSERT_NE(de265, nullptr);
    int cleanups = 0;
    for (int round = 0; round < 100; ++round) {
        // libde265 asserts on a decoder parameter it does not know.
        EXPECT_EQ(guardLibraryCalls([&] {
                      de265_set_parameter_bool(de265.get(), 9999, 1);
                      return DecodeStatus::ok;
                  }),
                  DecodeStatus::damaged);
        EXPECT_EQ(
            guardLibraryCalls([&] { return DecodeStatus(moravel_test_check_in_c(round + 1)); }),
            DecodeStatus::damaged);
        EXPECT_EQ(guardLibraryCalls([&] {
                      return DecodeStatus(moravel_test_check_in_cpp(round + 1, &cleanups));
                  }),
                  DecodeStatus::damaged);
    }
    EXPECT_EQ(cleanups, 100);
    // Passing checks cost nothing, and a real picture still decodes.
    EXPECT_EQ(guardLibraryCalls([&] { return DecodeStatus(moravel_test_check_in_c(0)); }),
              DecodeStatus::ok);
    const char* source = std::getenv("MORAVEL_SOURCE_DIR");
    const std::vector<uint8_t> heic =
        readBytes(std::filesystem::path(source ? source : ".") / "tests/formats/data/plain.heic");
    ASSERT_FALSE(heic.empty());
    CountingSink sink;
    EXPECT_EQ(formats::decodeHeif(heic.data(), heic.size(), sink), DecodeStatus::ok);
}

}  // namespace
