#include "imaging/colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace imaging {
namespace {

struct ContextFree {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct ProfileClose {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDelete {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
struct CurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using ContextHandle = std::unique_ptr<_cmsContext_struct, ContextFree>;
using ProfileHandle = std::unique_ptr<void, ProfileClose>;
using TransformHandle = std::unique_ptr<void, TransformDelete>;
using CurveHandle = std::unique_ptr<cmsToneCurve, CurveFree>;

// The cache of the last pixel only helps pictures of one flat colour; a
// photo pays for its comparison on every pixel.
constexpr cmsUInt32Number kTransformFlags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;

// Two descriptions of one colour space (an sRGB profile against the
// library's own) round some colours apart by one step; a real change of
// space moves saturated colours by far more.
constexpr int kSameSpaceTolerance = 1;

// IEC 61966-2-1 as a parametric curve of type 4: Y = (aX + b)^g above d,
// Y = cX below.
constexpr cmsFloat64Number kSrgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
// The inverse of the BT.709 (and BT.2020) camera curve.
constexpr cmsFloat64Number kBt709Curve[5] = {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5,
                                             0.081};

CurveHandle buildCurve(cmsContext context, TransferCurve transfer) {
    switch (transfer) {
        case TransferCurve::srgb:
            return CurveHandle(cmsBuildParametricToneCurve(context, 4, kSrgbCurve));
        case TransferCurve::bt709:
            return CurveHandle(cmsBuildParametricToneCurve(context, 4, kBt709Curve));
        case TransferCurve::gamma22:
            return CurveHandle(cmsBuildGamma(context, 2.2));
        case TransferCurve::gamma28:
            return CurveHandle(cmsBuildGamma(context, 2.8));
        case TransferCurve::linear:
            return CurveHandle(cmsBuildGamma(context, 1.0));
    }
    return nullptr;
}

}  // namespace

// Members go in reverse order: the transform before the context it belongs to.
struct ColourTransform::State {
    ContextHandle context;
    TransformHandle transform;    // RGB and CMYK: to blue-green-red sRGB
    uint8_t greyCurve[256] = {};  // grey: stored level to sRGB level
};

ColourTransform::ColourTransform(ColourTransform&&) noexcept = default;
ColourTransform& ColourTransform::operator=(ColourTransform&&) noexcept = default;
ColourTransform::~ColourTransform() = default;

ColourTransform ColourTransform::fromIcc(const uint8_t* icc, size_t size) {
    ColourTransform result;
    const IccHeaderCheck check = checkIccHeader(icc, size);
    if (!check.usable) return result;
    auto state = std::make_unique<State>();
    state->context.reset(cmsCreateContext(nullptr, nullptr));
    if (!state->context) return result;
    cmsContext context = state->context.get();
    ProfileHandle source(
        cmsOpenProfileFromMemTHR(context, icc, static_cast<cmsUInt32Number>(size)));
    if (!source) return result;
    const cmsColorSpaceSignature expected = check.space == IccSpace::rgb    ? cmsSigRgbData
                                            : check.space == IccSpace::grey ? cmsSigGrayData
                                                                            : cmsSigCmykData;
    if (cmsGetColorSpace(source.get()) != expected) return result;

    if (check.space == IccSpace::grey) {
        // Grey stays grey: the levels go through the source's curve to
        // sRGB's, and the three channels keep equal values.
        CurveHandle srgb = buildCurve(context, TransferCurve::srgb);
        if (!srgb) return result;
        ProfileHandle target(cmsCreateGrayProfileTHR(context, cmsD50_xyY(), srgb.get()));
        if (!target) return result;
        TransformHandle levels(
            cmsCreateTransformTHR(context, source.get(), TYPE_GRAY_8, target.get(), TYPE_GRAY_8,
                                  INTENT_RELATIVE_COLORIMETRIC, kTransformFlags));
        if (!levels) return result;
        uint8_t in[256];
        for (int i = 0; i < 256; ++i) in[i] = static_cast<uint8_t>(i);
        cmsDoTransform(levels.get(), in, state->greyCurve, 256);
    } else {
        ProfileHandle target(cmsCreate_sRGBProfileTHR(context));
        if (!target) return result;
        const cmsUInt32Number inputFormat =
            check.space == IccSpace::rgb ? TYPE_BGR_8 : TYPE_CMYK_8_REV;
        state->transform.reset(
            cmsCreateTransformTHR(context, source.get(), inputFormat, target.get(), TYPE_BGR_8,
                                  INTENT_RELATIVE_COLORIMETRIC, kTransformFlags));
        if (!state->transform) return result;
    }
    result.state_ = std::move(state);
    result.space_ = check.space;
    result.probeIdentity();
    return result;
}

ColourTransform ColourTransform::fromPrimaries(const PrimariesDescription& description) {
    ColourTransform result;
    auto state = std::make_unique<State>();
    state->context.reset(cmsCreateContext(nullptr, nullptr));
    if (!state->context) return result;
    cmsContext context = state->context.get();
    const cmsCIExyY white{description.white.x, description.white.y, 1.0};
    const cmsCIExyYTRIPLE primaries{{description.red.x, description.red.y, 1.0},
                                    {description.green.x, description.green.y, 1.0},
                                    {description.blue.x, description.blue.y, 1.0}};
    CurveHandle curve = buildCurve(context, description.transfer);
    if (!curve) return result;
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    ProfileHandle source(cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
    ProfileHandle target(cmsCreate_sRGBProfileTHR(context));
    if (!source || !target) return result;
    state->transform.reset(cmsCreateTransformTHR(context, source.get(), TYPE_BGR_8, target.get(),
                                                 TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC,
                                                 kTransformFlags));
    if (!state->transform) return result;
    result.state_ = std::move(state);
    result.space_ = IccSpace::rgb;
    result.probeIdentity();
    return result;
}

// Every grey level, and a lattice of colours with steps of 8 through the
// cube (36 000 colours, well under a millisecond).
void ColourTransform::probeIdentity() {
    identity_ = false;
    if (space_ == IccSpace::cmyk) return;
    if (space_ == IccSpace::grey) {
        for (int i = 0; i < 256; ++i)
            if (std::abs(state_->greyCurve[i] - i) > kSameSpaceTolerance) return;
        identity_ = true;
        return;
    }
    std::vector<uint8_t> probe;
    for (int level = 0; level < 256; ++level) probe.insert(probe.end(), 3, uint8_t(level));
    constexpr int kSteps = 33;  // 0, 8, ..., 248, then 255
    const auto value = [](int step) { return static_cast<uint8_t>(std::min(step * 8, 255)); };
    for (int b = 0; b < kSteps; ++b)
        for (int g = 0; g < kSteps; ++g)
            for (int r = 0; r < kSteps; ++r)
                probe.insert(probe.end(), {value(b), value(g), value(r)});
    std::vector<uint8_t> converted(probe.size());
    cmsDoTransform(state_->transform.get(), probe.data(), converted.data(),
                   static_cast<cmsUInt32Number>(probe.size() / 3));
    for (size_t i = 0; i < probe.size(); ++i)
        if (std::abs(converted[i] - probe[i]) > kSameSpaceTolerance) return;
    identity_ = true;
}

ProfileOutcome ColourTransform::convertBgrRows(uint8_t* rows, uint32_t width, uint32_t height,
                                               size_t stride) const {
    if (!usable() || space_ == IccSpace::cmyk) return ProfileOutcome::ignored;
    if (identity_) return ProfileOutcome::unchanged;
    if (space_ == IccSpace::grey) {
        const uint8_t* curve = state_->greyCurve;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = rows + size_t{y} * stride;
            for (size_t i = 0; i < size_t{width} * 3; ++i) row[i] = curve[row[i]];
        }
        return ProfileOutcome::applied;
    }
    // The library converts in place when both sides have the same layout.
    cmsDoTransformLineStride(state_->transform.get(), rows, rows, width, height,
                             static_cast<cmsUInt32Number>(stride),
                             static_cast<cmsUInt32Number>(stride), 0, 0);
    return ProfileOutcome::applied;
}

ProfileOutcome ColourTransform::convertRecord(ImageRecord& record) const {
    if (!usable() || space_ == IccSpace::cmyk) return ProfileOutcome::ignored;
    if (identity_) return ProfileOutcome::unchanged;
    const BitmapInfoHeader& header = record.header;
    if (header.biWidth <= 0 || header.biHeight == 0 || !record.pixels)
        return ProfileOutcome::ignored;
    if (header.biBitCount == 24) {
        const uint32_t width = static_cast<uint32_t>(header.biWidth);
        const uint32_t height = static_cast<uint32_t>(std::abs(header.biHeight));
        return convertBgrRows(record.pixels, width, height, rowStride(width, 24));
    }
    if (header.biBitCount != 8) return ProfileOutcome::ignored;
    // An indexed picture: only its colours change.
    uint8_t colours[256 * 3];
    for (int i = 0; i < 256; ++i) {
        colours[3 * i] = record.palette[i].blue;
        colours[3 * i + 1] = record.palette[i].green;
        colours[3 * i + 2] = record.palette[i].red;
    }
    convertBgrRows(colours, 256, 1, sizeof colours);
    for (int i = 0; i < 256; ++i) {
        record.palette[i].blue = colours[3 * i];
        record.palette[i].green = colours[3 * i + 1];
        record.palette[i].red = colours[3 * i + 2];
    }
    return ProfileOutcome::applied;
}

void ColourTransform::convertCmykRow(const uint8_t* cmyk, uint8_t* bgr, uint32_t width) const {
    if (usable() && space_ == IccSpace::cmyk)
        cmsDoTransform(state_->transform.get(), cmyk, bgr, width);
}

ProfileOutcome convertPictureToSrgb(const uint8_t* icc, size_t size, ImageRecord& record) {
    if (!icc || size == 0) return ProfileOutcome::unchanged;
    return ColourTransform::fromIcc(icc, size).convertRecord(record);
}

}  // namespace imaging
