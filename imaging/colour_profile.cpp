#include "imaging/colour_profile.h"

#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Profiled pictures are converted in bands of rows on several threads: even
// the straight path takes a core about 50 ms for 12 megapixels, a third of
// what decoding and encoding that photo as JPEG cost. Each band is a whole
// number of rows, converted alone, so the bytes do not depend on the number
// of threads.
constexpr uint64_t kPixelsPerBand = uint64_t{1} << 20;
constexpr unsigned kMostThreads = 8;

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

// An RGB profile of three curves and three colorants (every camera's and
// display's), converted straight: stored level to light through the
// source's curves, light to sRGB's light through one matrix, light to the
// sRGB level through a table. The library's general 8-bit path costs about
// 7 ns a pixel, this one a fraction of that; it stays within one level of it
// (colour_profile_test compares them on every colour of the cube).
//
// Each stored level's contribution to the three sRGB channels is one
// table entry: the curve times the matrix column, already scaled to the
// encode table's steps (a power of two, so the scaling is exact). A pixel
// is then three entries summed, clamped and looked up, with no product
// and no branch: saturated colours fall outside sRGB often enough that a
// branching clamp mispredicts.
struct MatrixShaper {
    static constexpr int kEncodeSteps = 16384;  // light steps of the sRGB table
    // Lanes: blue, green, red sRGB light, then an unused zero.
    struct alignas(16) Contribution {
        float lanes[4];
    };
    Contribution fromRed[256], fromGreen[256], fromBlue[256];
    uint8_t encode[kEncodeSteps + 1];

    void convertRow(uint8_t* bgr, uint32_t width) const {
#if defined(__SSE2__)
        const __m128 lowest = _mm_setzero_ps();
        const __m128 highest = _mm_set1_ps(static_cast<float>(kEncodeSteps));
        const __m128 half = _mm_set1_ps(0.5f);
        for (uint32_t x = 0; x < width; ++x, bgr += 3) {
            __m128 sum = _mm_add_ps(_mm_load_ps(fromRed[bgr[2]].lanes),
                                    _mm_load_ps(fromGreen[bgr[1]].lanes));
            sum = _mm_add_ps(sum, _mm_load_ps(fromBlue[bgr[0]].lanes));
            sum = _mm_min_ps(_mm_max_ps(sum, lowest), highest);
            const __m128i steps = _mm_cvttps_epi32(_mm_add_ps(sum, half));
            // Every step fits 16 bits: the three come out in one register.
            const uint64_t packed =
                static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packs_epi32(steps, steps)));
            bgr[0] = encode[packed & 0xffff];
            bgr[1] = encode[(packed >> 16) & 0xffff];
            bgr[2] = encode[(packed >> 32) & 0xffff];
        }
#else
        for (uint32_t x = 0; x < width; ++x, bgr += 3) {
            const float* r = fromRed[bgr[2]].lanes;
            const float* g = fromGreen[bgr[1]].lanes;
            const float* b = fromBlue[bgr[0]].lanes;
            uint8_t out[3];
            for (int lane = 0; lane < 3; ++lane) {
                const float v = std::min(std::max(r[lane] + g[lane] + b[lane], 0.0f),
                                         static_cast<float>(kEncodeSteps));
                out[lane] = encode[static_cast<int>(v + 0.5f)];
            }
            bgr[0] = out[0];
            bgr[1] = out[1];
            bgr[2] = out[2];
        }
#endif
    }
};

bool invert(const double m[3][3], double out[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (!(std::abs(det) > 1e-9)) return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    return true;
}

// The colorants as the columns of a matrix from light to XYZ; false when
// the profile lacks one.
bool colorantsOf(cmsHPROFILE profile, double out[3][3]) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                     cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return false;
        out[0][c] = xyz->X;
        out[1][c] = xyz->Y;
        out[2][c] = xyz->Z;
    }
    return true;
}

// The straight path, for a source the library treats as a plain
// matrix-shaper too: no lookup tables, and its black at zero, so that
// black-point compensation has nothing to move. Null otherwise.
std::unique_ptr<MatrixShaper> matrixShaperOf(cmsHPROFILE source, cmsHPROFILE srgb) {
    for (cmsTagSignature table : {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigDToB0Tag,
                                  cmsSigDToB1Tag, cmsSigDToB2Tag})
        if (cmsIsTag(source, table)) return nullptr;
    if (!cmsIsMatrixShaper(source) || cmsGetColorSpace(source) != cmsSigRgbData) return nullptr;
    cmsCIEXYZ black{};
    if (!cmsDetectBlackPoint(&black, source, INTENT_RELATIVE_COLORIMETRIC, 0) || black.X != 0 ||
        black.Y != 0 || black.Z != 0)
        return nullptr;
    double sourceToXyz[3][3], srgbToXyz[3][3], xyzToSrgb[3][3];
    if (!colorantsOf(source, sourceToXyz) || !colorantsOf(srgb, srgbToXyz) ||
        !invert(srgbToXyz, xyzToSrgb))
        return nullptr;
    float matrix[3][3];  // sRGB light (rows: red, green, blue) from source light
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += xyzToSrgb[r][k] * sourceToXyz[k][c];
            matrix[r][c] = static_cast<float>(sum);
        }
    auto shaper = std::make_unique<MatrixShaper>();
    MatrixShaper::Contribution* tables[3] = {shaper->fromRed, shaper->fromGreen, shaper->fromBlue};
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    for (int c = 0; c < 3; ++c) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
        if (!curve) return nullptr;
        for (int i = 0; i < 256; ++i) {
            const float light = cmsEvalToneCurveFloat(curve, static_cast<float>(i / 255.0));
            float* lanes = tables[c][i].lanes;
            for (int row = 0; row < 3; ++row)
                lanes[2 - row] = matrix[row][c] * light * float{MatrixShaper::kEncodeSteps};
            lanes[3] = 0.0f;
        }
    }
    const auto* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb, cmsSigRedTRCTag));
    const CurveHandle encode(srgbCurve ? cmsReverseToneCurve(srgbCurve) : nullptr);
    if (!encode) return nullptr;
    for (int i = 0; i <= MatrixShaper::kEncodeSteps; ++i) {
        const float level = cmsEvalToneCurveFloat(
            encode.get(), static_cast<float>(double(i) / MatrixShaper::kEncodeSteps));
        shaper->encode[i] = static_cast<uint8_t>(std::clamp(level * 255.0f + 0.5f, 0.0f, 255.0f));
    }
    return shaper;
}

}  // namespace

// Members go in reverse order: the transform before the context it belongs to.
struct ColourTransform::State {
    ContextHandle context;
    TransformHandle transform;                   // RGB and CMYK: to blue-green-red sRGB
    uint8_t greyCurve[256] = {};                 // grey: stored level to sRGB level
    std::unique_ptr<MatrixShaper> matrixShaper;  // RGB matrix-shaper sources
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
        if (check.space == IccSpace::rgb)
            state->matrixShaper = matrixShaperOf(source.get(), target.get());
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
    state->matrixShaper = matrixShaperOf(source.get(), target.get());
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
    return convertRows(rows, width, height, stride, true);
}

ProfileOutcome ColourTransform::convertBgrRowsByLibrary(uint8_t* rows, uint32_t width,
                                                        uint32_t height, size_t stride) const {
    return convertRows(rows, width, height, stride, false);
}

ProfileOutcome ColourTransform::convertRows(uint8_t* rows, uint32_t width, uint32_t height,
                                            size_t stride, bool straightPathAllowed) const {
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
    // The library converts in place when both sides have the same layout,
    // and a transform without a cache may run on several threads at once.
    const auto convertBand = [&](uint32_t first, uint32_t count) {
        uint8_t* band = rows + size_t{first} * stride;
        const MatrixShaper* shaper = straightPathAllowed ? state_->matrixShaper.get() : nullptr;
        if (shaper) {
            for (uint32_t y = 0; y < count; ++y)
                shaper->convertRow(band + size_t{y} * stride, width);
            return;
        }
        cmsDoTransformLineStride(state_->transform.get(), band, band, width, count,
                                 static_cast<cmsUInt32Number>(stride),
                                 static_cast<cmsUInt32Number>(stride), 0, 0);
    };
    const uint64_t pixels = uint64_t{width} * height;
    const unsigned threads =
        std::max(1u, std::min(std::thread::hardware_concurrency(), kMostThreads));
    const uint32_t bands =
        static_cast<uint32_t>(std::min<uint64_t>({threads, pixels / kPixelsPerBand + 1, height}));
    const uint32_t rowsPerBand = (height + bands - 1) / bands;
    std::vector<std::thread> helpers;
    uint32_t first = rowsPerBand;  // the first band stays on this thread
    try {
        helpers.reserve(bands - 1);
        for (; first < height; first += rowsPerBand)
            helpers.emplace_back(convertBand, first, std::min(rowsPerBand, height - first));
    } catch (...) {
        // No thread to be had: the bands not started are converted here.
        for (; first < height; first += rowsPerBand)
            convertBand(first, std::min(rowsPerBand, height - first));
    }
    convertBand(0, std::min(rowsPerBand, height));
    for (std::thread& helper : helpers) helper.join();
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
