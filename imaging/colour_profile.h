// Converts a decoded picture from the colour space its source describes (an
// embedded ICC profile, or a HEIF file's primaries) to sRGB with Little CMS:
// relative colorimetric intent with black-point compensation, 8 bits in and
// out. Outputs are untagged sRGB, so converting once after decoding is what
// makes colour-managed and plain viewers alike show the source's colours.
//
// A profile that describes sRGB (its transform moves no colour by more than
// the rounding between two descriptions of the same space) changes nothing
// and costs one probe of 36 000 colours, well under a millisecond. A profile refused by the
// header check (imaging/icc_header_check.h) or by the library is ignored
// before any pixel is touched; the picture is kept as decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/image_record.h"
#include "imaging/icc_header_check.h"

namespace imaging {

enum class ProfileOutcome {
    unchanged,  // no profile, or one that describes sRGB: not a byte touched
    applied,    // the pixels (or the palette) now hold sRGB colours
    ignored,    // refused, or not for this kind of picture: kept as decoded
};

// A colour space given by its primaries (HEIF 'nclx'), as CIE xy.
struct Chromaticity {
    double x;
    double y;
};
// How the stored values relate to light.
enum class TransferCurve {
    srgb,   // IEC 61966-2-1 (Display P3 uses it too)
    bt709,  // the inverse of the BT.709 / BT.2020 camera curve
    gamma22,
    gamma28,
    linear,
};
struct PrimariesDescription {
    Chromaticity red, green, blue, white;
    TransferCurve transfer;
};

// One source's conversion to sRGB, built once per picture; moves only.
class ColourTransform {
  public:
    // Checks and opens an ICC profile; not usable() when it was refused.
    static ColourTransform fromIcc(const uint8_t* icc, size_t size);
    // An RGB space from its primaries, white point and transfer curve.
    static ColourTransform fromPrimaries(const PrimariesDescription& description);

    ColourTransform(ColourTransform&&) noexcept;
    ColourTransform& operator=(ColourTransform&&) noexcept;
    ~ColourTransform();

    bool usable() const { return state_ != nullptr; }
    // The colour space of the pixels the profile describes.
    IccSpace space() const { return space_; }
    // Usable and leaves every colour where it is.
    bool changesNothing() const { return usable() && identity_; }

    // The decoded picture (24-bit rows or an 8-bit palette) through an RGB
    // or grey profile. A CMYK profile cannot apply to decoded colour: ignored.
    ProfileOutcome convertRecord(ImageRecord& record) const;
    // Blue-green-red rows in place (RGB or grey profiles).
    ProfileOutcome convertBgrRows(uint8_t* rows, uint32_t width, uint32_t height,
                                  size_t stride) const;
    // The same through the library's general path alone, never the
    // straight matrix-shaper one: the reference that path is checked against.
    ProfileOutcome convertBgrRowsByLibrary(uint8_t* rows, uint32_t width, uint32_t height,
                                           size_t stride) const;
    // A CMYK profile only: one row of `width` CMYK samples as a JPEG stores
    // them (Adobe's convention, 255 is no ink) to blue-green-red.
    void convertCmykRow(const uint8_t* cmyk, uint8_t* bgr, uint32_t width) const;

  private:
    struct State;
    ColourTransform() = default;
    void probeIdentity();
    ProfileOutcome convertRows(uint8_t* rows, uint32_t width, uint32_t height, size_t stride,
                               bool straightPathAllowed) const;

    std::unique_ptr<State> state_;
    IccSpace space_ = IccSpace::rgb;
    bool identity_ = false;
};

// The driver's one call after decoding: `icc` is the source's embedded
// profile (null or empty when it has none).
ProfileOutcome convertPictureToSrgb(const uint8_t* icc, size_t size, ImageRecord& record);

}  // namespace imaging
