// The plug-in host under Wine with real plug-in DLLs: the exception guard,
// probing order and rules, decoding of every depth, rejected bitmaps, the
// listing and describing for the settings window.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "codecs/codec_status.h"
#include "plugin_test_support.h"
#include "plugins/formats/susie_shell.h"
#include "plugins/plugin_bitmap.h"
#include "plugins/plugin_guard.h"

namespace {

constexpr uint32_t kAccessViolationCode = 0xC0000005;
constexpr uint32_t kDivideByZeroCode = 0xC0000094;
constexpr uint32_t kStackOverflowCode = 0xC00000FD;

struct FaultCase {
    uint8_t fault;
    uint32_t code;
};
constexpr FaultCase kFaults[] = {
    {kAccessViolation, kAccessViolationCode},
    {kDivideByZero, kDivideByZeroCode},
    {kRaisedException, kTestExceptionCode},
};

// A file head as the host passes it: MRAW with a fault request.
std::vector<uint8_t> faultHead(uint8_t fault) {
    MrawPicture picture = patternPicture(2, 2, 24);
    picture.fault = fault;
    std::vector<uint8_t> head = encodeMraw(picture);
    head.resize(2048 + 128);
    return head;
}

// Checks the record against patternPicture(width, height, bitCount).
void expectPattern(const ImageRecord& record, uint32_t width, uint32_t height, uint16_t bitCount) {
    const MrawPicture source = patternPicture(width, height, bitCount);
    const int outBits = bitCount == 24 ? 24 : 8;
    ASSERT_NE(record.pixels, nullptr);
    EXPECT_EQ(record.header.biSize, 40u);
    EXPECT_EQ(record.header.biWidth, static_cast<int32_t>(width));
    EXPECT_EQ(record.header.biHeight, static_cast<int32_t>(height));
    EXPECT_EQ(record.header.biBitCount, outBits);
    EXPECT_EQ(record.header.biCompression, 0u);
    EXPECT_EQ(record.header.biPlanes, 1);
    EXPECT_EQ(record.header.biSizeImage, mrawStride(width, bitCount) * height);
    EXPECT_EQ(record.header.biClrUsed, source.palette.size());
    EXPECT_EQ(record.header.biXPelsPerMeter, 2835);
    EXPECT_EQ(record.header.biYPelsPerMeter, 3780);
    EXPECT_EQ(record.sourceFormat, 0u);
    for (uint32_t i = 0; i < 256; ++i) {
        const RgbQuad want = i < source.palette.size() ? source.palette[i] : RgbQuad{0, 0, 0, 0};
        EXPECT_EQ(std::memcmp(&record.palette[i], &want, 4), 0) << "palette entry " << i;
    }
    const uint32_t stride = rowStride(width, outBits);
    int wrong = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < outBits / 8; ++c) {
                const uint8_t got = record.pixels[y * stride + x * (outBits / 8) + c];
                if (got != patternValue(x, y, bitCount, c) && ++wrong < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " byte " << c << ": " << int(got);
            }
    EXPECT_EQ(wrong, 0);
}

}  // namespace

// ---------------------------------------------------------------- guard

TEST(PluginGuard, CatchesEveryKindOfFaultAThousandTimesInARow) {
    HMODULE plugin = LoadLibraryW(testPlugin("tp_fault_probe").wstring().c_str());
    ASSERT_NE(plugin, nullptr);
    using IsSupportedFn = int(WINAPI*)(LPCSTR, void*);
    auto isSupported = reinterpret_cast<IsSupportedFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "IsSupported")));
    ASSERT_NE(isSupported, nullptr);

    std::vector<uint8_t> heads[3] = {faultHead(kFaults[0].fault), faultHead(kFaults[1].fault),
                                     faultHead(kFaults[2].fault)};
    int caught[3] = {};
    for (int round = 0; round < 1000; ++round) {
        const int which = round % 3;
        int result = 7;
        auto call = [&] { result = isSupported("x.mraw", heads[which].data()); };
        uint32_t code = 0;
        if (!runGuarded(call, code) && code == kFaults[which].code && result == 7) ++caught[which];
    }
    EXPECT_EQ(caught[0] + caught[1] + caught[2], 1000);
    EXPECT_GT(caught[2], 300);

    // The thread and the plug-in still work normally afterwards.
    std::vector<uint8_t> calm = faultHead(kNoFault);
    int result = 7;
    auto call = [&] { result = isSupported("x.mraw", calm.data()); };
    uint32_t code = 1;
    EXPECT_TRUE(runGuarded(call, code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(result, 0);
    FreeLibrary(plugin);
}

TEST(PluginGuard, CatchesStackOverflowsAgainAndAgain) {
    HMODULE plugin = LoadLibraryW(testPlugin("tp_fault_probe").wstring().c_str());
    ASSERT_NE(plugin, nullptr);
    using IsSupportedFn = int(WINAPI*)(LPCSTR, void*);
    auto isSupported = reinterpret_cast<IsSupportedFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "IsSupported")));
    ASSERT_NE(isSupported, nullptr);
    // Without a new guard page after each, the second would end the process.
    std::vector<uint8_t> head = faultHead(kStackOverflow);
    for (int round = 0; round < 5; ++round) {
        int result = 7;
        auto call = [&] { result = isSupported("x.mraw", head.data()); };
        uint32_t code = 0;
        EXPECT_FALSE(runGuarded(call, code));
        EXPECT_EQ(code, kStackOverflowCode);
        EXPECT_EQ(result, 7);
    }
    std::vector<uint8_t> calm = faultHead(kNoFault);
    int result = 7;
    auto call = [&] { result = isSupported("x.mraw", calm.data()); };
    uint32_t code = 1;
    EXPECT_TRUE(runGuarded(call, code));
    EXPECT_EQ(result, 0);
    FreeLibrary(plugin);
}

TEST(PluginGuard, OutsideAGuardNothingIsIntercepted) {
    // An exception the program handles itself after a guarded call still
    // reaches its own handler (the guard is gone).
    auto quiet = [] {};
    uint32_t code = 1;
    ASSERT_TRUE(runGuarded(quiet, code));
    EXPECT_EQ(code, 0u);
    static bool handled;
    handled = false;
    PVOID handler = AddVectoredExceptionHandler(0, [](EXCEPTION_POINTERS* p) -> LONG {
        if (p->ExceptionRecord->ExceptionCode != 0xE0001234) return EXCEPTION_CONTINUE_SEARCH;
        handled = true;
        return EXCEPTION_CONTINUE_EXECUTION;
    });
    RaiseException(0xE0001234, 0, 0, nullptr);
    RemoveVectoredExceptionHandler(handler);
    EXPECT_TRUE(handled);
}

// ---------------------------------------------------------------- decoding

// Bitmaps as plug-ins hand them over, every width from 1 to 65 at every
// depth the host takes: rows, padding and colour tables land exactly, however
// long the plug-in's header is, whatever biClrUsed claims, and a short bits
// block gives what it holds.
TEST(PluginHost, TakesOverPluginBitmapsExactly) {
    struct Case {
        const char* name;
        uint16_t bitCount;
        uint8_t infoHeader;
        uint8_t statedColours;  // biClrUsed the plug-in states (0: every colour it stores)
        bool shortBlock;        // the bits block lacks a row and 3 bytes
        bool decodes;
    };
    const Case cases[] = {
        {"1 bit", 1, kInfoHeader40, 0, false, true},
        {"4 bits", 4, kInfoHeader40, 0, false, true},
        {"8 bits", 8, kInfoHeader40, 0, false, true},
        {"24 bits", 24, kInfoHeader40, 0, false, true},
        {"1 bit, V5 header", 1, kInfoHeaderV5, 0, false, true},
        {"4 bits, V4 header, biClrUsed 3", 4, kInfoHeaderV4, 3, false, true},
        {"8 bits, V5 header, biClrUsed 2", 8, kInfoHeaderV5, 2, false, true},
        {"8 bits, biClrUsed 1", 8, kInfoHeader40, 1, false, true},
        {"24 bits, V4 header", 24, kInfoHeaderV4, 0, false, true},
        {"8 bits, short block", 8, kInfoHeader40, 0, true, true},
        {"24 bits, short block, V5 header", 24, kInfoHeaderV5, 0, true, true},
        {"1 bit, short block", 1, kInfoHeader40, 0, true, false},
        {"4 bits, short block", 4, kInfoHeaderV4, 0, true, false},
    };
    const fs::path folder = freshFolder("bitmaps");
    installPlugin(folder, "tp_good", u"good.spi");
    HostUnderTest host(folder);
    const fs::path file = folder / "b.mraw";
    constexpr uint32_t kHeight = 3;
    for (const Case& c : cases) {
        for (uint32_t width = 1; width <= 65; ++width) {
            SCOPED_TRACE(testing::Message() << c.name << ", width " << width);
            MrawPicture picture = patternPicture(width, kHeight, c.bitCount);
            picture.xPelsPerMeter = -2835;  // kept as the plug-in states it
            picture.infoHeader = c.infoHeader;
            picture.statedColours = c.statedColours;
            const uint32_t sourceStride = static_cast<uint32_t>(mrawStride(width, c.bitCount));
            if (c.shortBlock) picture.missingBytes = static_cast<uint8_t>(sourceStride + 3);
            const std::vector<uint8_t> bytes = encodeMraw(picture);
            writeBytes(file, bytes);
            RecordGuard out;
            ASSERT_EQ(host.read(file, out.record), c.decodes);
            if (!c.decodes) {
                EXPECT_EQ(out.record.pixels, nullptr);
                continue;
            }
            EXPECT_EQ(host.report.damaged, c.shortBlock);
            EXPECT_EQ(out.record.sourceBitsPerPixel, c.bitCount);
            EXPECT_EQ(out.record.sourceFileSize, bytes.size());
            EXPECT_NE(out.record.sourceModified, 0u);
            EXPECT_EQ(out.record.sourceFormat, 0u);

            const BitmapInfoHeader& h = out.record.header;
            const int outBits = c.bitCount == 24 ? 24 : 8;
            EXPECT_EQ(h.biSize, 40u);
            EXPECT_EQ(h.biWidth, static_cast<int32_t>(width));
            EXPECT_EQ(h.biHeight, static_cast<int32_t>(kHeight));
            EXPECT_EQ(h.biBitCount, outBits);
            EXPECT_EQ(h.biCompression, 0u);
            EXPECT_EQ(h.biSizeImage, sourceStride * kHeight);
            EXPECT_EQ(h.biXPelsPerMeter, -2835);
            EXPECT_EQ(h.biYPelsPerMeter, 3780);
            EXPECT_EQ(h.biClrUsed, c.statedColours ? c.statedColours : picture.palette.size());
            for (uint32_t i = 0; i < 256; ++i) {
                const RgbQuad want =
                    i < picture.palette.size() ? picture.palette[i] : RgbQuad{0, 0, 0, 0};
                ASSERT_EQ(std::memcmp(&out.record.palette[i], &want, 4), 0) << "colour " << i;
            }

            // Rows of one byte per index or three per pixel, padded with
            // zeros to 4 bytes; a short block leaves its missing tail zero.
            const uint32_t stride = (width * (outBits / 8) + 3) / 4 * 4;
            std::vector<uint8_t> want(stride * kHeight, 0);
            for (uint32_t y = 0; y < kHeight; ++y)
                for (uint32_t x = 0; x < width; ++x)
                    for (int b = 0; b < outBits / 8; ++b)
                        want[y * stride + x * (outBits / 8) + b] =
                            patternValue(x, y, c.bitCount, b);
            if (c.shortBlock) std::fill(want.end() - picture.missingBytes, want.end(), 0);
            int wrong = 0;
            for (size_t i = 0; i < want.size(); ++i)
                if (out.record.pixels[i] != want[i] && ++wrong <= 3)
                    ADD_FAILURE() << "byte " << i << " (row " << i / stride
                                  << "): " << int(out.record.pixels[i]) << ", not " << int(want[i]);
            ASSERT_EQ(wrong, 0);
        }
    }
}

TEST(PluginHost, OneBitBecomesIndicesZeroAndOneWithThePluginsTwoColours) {
    const fs::path folder = freshFolder("onebit");
    installPlugin(folder, "tp_good", u"good.sph");
    MrawPicture picture = patternPicture(10, 2, 1);
    picture.palette = {RgbQuad{10, 20, 30, 0}, RgbQuad{200, 210, 220, 0}};
    writeBytes(folder / "bw.mraw", encodeMraw(picture));
    HostUnderTest host(folder);
    RecordGuard out;
    ASSERT_TRUE(host.read(folder / "bw.mraw", out.record));
    EXPECT_EQ(out.record.header.biBitCount, 8);
    EXPECT_EQ(out.record.sourceBitsPerPixel, 1u);
    EXPECT_EQ(out.record.palette[0].red, 30);
    EXPECT_EQ(out.record.palette[1].blue, 200);
    for (int i = 2; i < 256; ++i) EXPECT_EQ(out.record.palette[i].green, 0) << i;
    // Row 0: x*7+1 is odd for even x.
    const uint8_t want[10] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    EXPECT_EQ(std::memcmp(out.record.pixels, want, 10), 0);
    EXPECT_EQ(out.record.pixels[12], patternValue(0, 1, 1));
}

TEST(PluginHost, HeaderOf128BytesIsSkippedForBothPictureCalls) {
    const fs::path folder = freshFolder("offset");
    installPlugin(folder, "tp_good", u"good.spi");
    HostUnderTest host(folder);
    MrawPicture picture = patternPicture(6, 4, 24);
    picture.reportedDepth = 16;  // read by GetPictureInfo from the header at the offset
    writeBytes(folder / "prefixed.mraw", encodeMraw(picture, 128));
    RecordGuard out;
    ASSERT_TRUE(host.read(folder / "prefixed.mraw", out.record));
    EXPECT_EQ(host.host.lastDataOffset(), 128);
    EXPECT_EQ(out.record.sourceBitsPerPixel, 16u);
    expectPattern(out.record, 6, 4, 24);

    // A plug-in that reads its pictures only at offset 128 decodes it too.
    installPlugin(folder, "tp_offset_128", u"good.spi");
    RecordGuard strict;
    ASSERT_TRUE(host.read(folder / "prefixed.mraw", strict.record));
    EXPECT_EQ(strict.record.sourceBitsPerPixel, 16u);
    expectPattern(strict.record, 6, 4, 24);
    // ... but not the same picture without the header.
    picture.reportedDepth = 0;
    writeBytes(folder / "plain.mraw", encodeMraw(picture));
    RecordGuard plain;
    EXPECT_FALSE(host.read(folder / "plain.mraw", plain.record));

    // Any other prefix length is not found.
    writeBytes(folder / "other.mraw", encodeMraw(picture, 64));
    RecordGuard other;
    EXPECT_FALSE(host.read(folder / "other.mraw", other.record));
}

struct ProbeCase {
    const char* name;
    std::vector<std::pair<const char*, std::u16string>> plugins;  // target, file name
    bool decodes;
    int32_t stamp;  // biXPelsPerMeter the deciding plug-in writes
};

TEST(PluginHost, ProbeOrderAndChoice) {
    const ProbeCase cases[] = {
        {"declining spi, accepting sph",
         {{"tp_decline", u"a.spi"}, {"tp_good_stamp2", u"b.sph"}},
         true,
         1002},
        {"accepting spi beats sph (a)",
         {{"tp_good_stamp1", u"z.spi"}, {"tp_good_stamp2", u"a.sph"}},
         true,
         1001},
        {"accepting spi beats sph (b)",
         {{"tp_good_stamp2", u"a.sph"}, {"tp_good_stamp1", u"b.spi"}},
         true,
         1001},
        {"archive never decodes", {{"tp_archive", u"a.spi"}}, false, 0},
        {"archive skipped", {{"tp_archive", u"a.spi"}, {"tp_good_stamp2", u"b.sph"}}, true, 1002},
        {"GetPluginInfo fault: not a filter", {{"tp_fault_info", u"a.spi"}}, false, 0},
        {"nothing accepts", {{"tp_decline", u"a.spi"}, {"tp_decline", u"b.sph"}}, false, 0},
        {"other extensions ignored",
         {{"tp_good", u"good.dll"}, {"tp_good", u"good.spix"}},
         false,
         0},
    };
    MrawPicture picture = patternPicture(4, 3, 8);
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = freshFolder("probe");
        for (const auto& [target, name] : c.plugins) installPlugin(folder, target, name);
        writeBytes(folder / "p.mraw", encodeMraw(picture));
        HostUnderTest host(folder);
        RecordGuard out;
        ASSERT_EQ(host.read(folder / "p.mraw", out.record), c.decodes);
        if (c.decodes)
            EXPECT_EQ(out.record.header.biXPelsPerMeter, c.stamp);
        else
            EXPECT_EQ(out.record.pixels, nullptr);
    }
}

TEST(PluginHost, FolderWithoutUsablePluginsCostsNothing) {
    const fs::path folder = freshFolder("junk");
    writeBytes(folder / "notes.spi", {'n', 'o', 't', ' ', 'a', ' ', 'd', 'l', 'l'});
    writeBytes(folder / "empty.sph", {});
    writeBytes(folder / "readme.txt", {'x'});
    fs::create_directories(folder / "folder.spi");
    installPlugin(folder, "tp_good_stamp2", u"last.sph");
    writeBytes(folder / "p.mraw", encodeMraw(patternPicture(3, 3, 24)));
    HostUnderTest host(folder);
    RecordGuard out;
    ASSERT_TRUE(host.read(folder / "p.mraw", out.record));
    EXPECT_EQ(out.record.header.biXPelsPerMeter, 1002);

    // Unusable folder settings: empty, missing, a file.
    for (const fs::path& bad : {fs::path(), folder / "missing", folder / "readme.txt"}) {
        HostUnderTest none(bad);
        RecordGuard nothing;
        EXPECT_FALSE(none.read(folder / "p.mraw", nothing.record));
        NameList names;
        EXPECT_TRUE(none.host.listPlugins(names));
        EXPECT_EQ(names.count(), 0u);
    }
}

TEST(PluginHost, FaultsWhileProbingCountAsDecliningAndTheSearchGoesOn) {
    for (const FaultCase& f : kFaults) {
        SCOPED_TRACE(f.code);
        const fs::path folder = freshFolder("fault_probe");
        installPlugin(folder, "tp_fault_probe", u"fault.spi");
        installPlugin(folder, "tp_good_stamp2", u"good.sph");
        MrawPicture picture = patternPicture(4, 4, 24);
        picture.fault = f.fault;
        writeBytes(folder / "f.mraw", encodeMraw(picture));
        HostUnderTest host(folder);
        RecordGuard out;
        ASSERT_TRUE(host.read(folder / "f.mraw", out.record));
        EXPECT_EQ(out.record.header.biXPelsPerMeter, 1002);
        EXPECT_EQ(host.host.lastFault(), f.code);
    }
}

TEST(PluginHost, FaultsWhileDecodingFailTheFileAndTheHostGoesOn) {
    const fs::path folder = freshFolder("fault_picture");
    installPlugin(folder, "tp_fault_picture", u"fault.spi");
    HostUnderTest host(folder);
    for (int round = 0; round < 20; ++round) {
        const FaultCase& f = kFaults[round % 3];
        MrawPicture picture = patternPicture(4, 4, 8);
        picture.fault = f.fault;
        writeBytes(folder / "f.mraw", encodeMraw(picture));
        RecordGuard out;
        EXPECT_FALSE(host.read(folder / "f.mraw", out.record));
        EXPECT_EQ(out.record.pixels, nullptr);
        EXPECT_EQ(host.host.lastFault(), f.code);
    }
    // C++ exceptions are faults as well, also one the plug-in would have
    // caught itself; nothing unwinds through the host's frames.
    for (uint8_t fault : {kCaughtThrow, kEscapingThrow}) {
        MrawPicture picture = patternPicture(4, 4, 8);
        picture.fault = fault;
        writeBytes(folder / "throws.mraw", encodeMraw(picture));
        for (int round = 0; round < 3; ++round) {
            RecordGuard failed;
            EXPECT_FALSE(host.read(folder / "throws.mraw", failed.record));
            EXPECT_EQ(host.host.lastFault(), 0x20474343u);  // GCC's C++ exception
        }
    }

    // A fault in GetPictureInfo costs only what it would have told: the
    // picture is decoded and the bitmap's own depth counts.
    for (const FaultCase& f : kFaults) {
        MrawPicture picture = patternPicture(4, 4, 8);
        picture.reportedDepth = 2;
        picture.fault = static_cast<uint8_t>(f.fault << 4);
        writeBytes(folder / "info.mraw", encodeMraw(picture));
        RecordGuard out;
        ASSERT_TRUE(host.read(folder / "info.mraw", out.record));
        EXPECT_EQ(out.record.sourceBitsPerPixel, 8u);
        EXPECT_EQ(host.host.lastFault(), f.code);
    }

    // The same plug-in decodes a file that asks for no fault.
    writeBytes(folder / "ok.mraw", encodeMraw(patternPicture(4, 4, 8)));
    RecordGuard out;
    ASSERT_TRUE(host.read(folder / "ok.mraw", out.record));
    expectPattern(out.record, 4, 4, 8);
}

// A plug-in that overflows its stack, or whose DllMain faults as it is
// loaded, costs the file with that reason, again and again, and the host
// goes on.
TEST(PluginHost, StackOverflowsAndFaultingStartUpsFailOnlyTheFile) {
    const fs::path folder = freshFolder("overflow");
    installPlugin(folder, "tp_fault_picture", u"deep.spi");
    HostUnderTest host(folder);
    MrawPicture deep = patternPicture(4, 4, 24);
    deep.fault = kStackOverflow;
    writeBytes(folder / "deep.mraw", encodeMraw(deep));
    writeBytes(folder / "ok.mraw", encodeMraw(patternPicture(4, 4, 24)));
    for (int round = 0; round < 3; ++round) {
        RecordGuard failed;
        EXPECT_FALSE(host.read(folder / "deep.mraw", failed.record));
        EXPECT_EQ(failed.record.pixels, nullptr);
        EXPECT_EQ(host.host.lastFault(), kStackOverflowCode);
        EXPECT_EQ(host.report.status, kStatusPluginFailed);
        RecordGuard out;
        ASSERT_TRUE(host.read(folder / "ok.mraw", out.record));
        EXPECT_EQ(host.report.status, 0u);
        expectPattern(out.record, 4, 4, 24);
    }

    const fs::path startUp = freshFolder("dllmain");
    installPlugin(startUp, "tp_dllmain_fault", u"a.spi");
    writeBytes(startUp / "p.mraw", encodeMraw(patternPicture(3, 3, 24)));
    HostUnderTest broken(startUp);
    for (int round = 0; round < 3; ++round) {
        RecordGuard failed;
        EXPECT_FALSE(broken.read(startUp / "p.mraw", failed.record));
        EXPECT_EQ(broken.report.status, kStatusPluginFailed);
    }
    NameList names;
    EXPECT_TRUE(broken.host.listPlugins(names));
    EXPECT_EQ(names.count(), 0u);
    // The loader caught the fault and let go of its lock: another thread loads a library.
    struct Load {
        static DWORD WINAPI run(void* path) {
            HMODULE module = LoadLibraryW(static_cast<const wchar_t*>(path));
            if (module) FreeLibrary(module);
            return module != nullptr;
        }
    };
    const std::wstring good = testPlugin("tp_good").wstring();
    HANDLE thread =
        CreateThread(nullptr, 0, Load::run, const_cast<wchar_t*>(good.c_str()), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    DWORD loaded = 0;
    GetExitCodeThread(thread, &loaded);
    CloseHandle(thread);
    EXPECT_EQ(loaded, 1u);
    // The next plug-in takes the file.
    installPlugin(startUp, "tp_good", u"b.sph");
    RecordGuard out;
    ASSERT_TRUE(broken.read(startUp / "p.mraw", out.record));
    expectPattern(out.record, 3, 3, 24);

    // Declined by a plug-in that works: nothing more to say.
    const fs::path declined = freshFolder("declined");
    installPlugin(declined, "tp_decline", u"a.spi");
    writeBytes(declined / "p.mraw", encodeMraw(patternPicture(3, 3, 24)));
    HostUnderTest decline(declined);
    RecordGuard none;
    EXPECT_FALSE(decline.read(declined / "p.mraw", none.record));
    EXPECT_EQ(decline.report.status, 0u);
}

// An internal check of a library inside one of our plug-ins that fails on a
// file costs that file, not the process, however often it happens.
TEST(PluginHost, AFailedLibraryCheckInOurPlugInsFailsOnlyTheFile) {
    const fs::path folder = freshFolder("failed_check");
    installPlugin(folder, "tp_failed_check", u"check.sph");
    installPlugin(folder, "tp_good", u"good.sph");
    HostUnderTest host(folder);
    writeBytes(folder / "bad.chck", {'C', 'H', 'C', 'K', 0, 0, 0, 0});
    for (int round = 0; round < 5; ++round) {
        RecordGuard failed;
        EXPECT_FALSE(host.read(folder / "bad.chck", failed.record));
        EXPECT_EQ(failed.record.pixels, nullptr);
        EXPECT_EQ(host.host.lastFault(), kSusieFailedCheck);
    }
    writeBytes(folder / "ok.mraw", encodeMraw(patternPicture(4, 4, 24)));
    RecordGuard out;
    ASSERT_TRUE(host.read(folder / "ok.mraw", out.record));
    expectPattern(out.record, 4, 4, 24);
}

TEST(PluginHost, RefusedBitmapsAndSources) {
    struct Case {
        const char* name;
        const char* plugin;
        MrawPicture picture;
    };
    MrawPicture sixteen = patternPicture(4, 4, 24);
    sixteen.bitCount = 16;  // passed through by the plug-in; not a depth the host takes
    const Case cases[] = {
        {"top-down", "tp_top_down", patternPicture(4, 4, 24)},
        {"bits block one row short, 1 bit", "tp_short_bits", patternPicture(9, 3, 1)},
        {"bits block one row short, 4 bits", "tp_short_bits", patternPicture(9, 3, 4)},
        {"16 bits", "tp_good", sixteen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = freshFolder("refused");
        installPlugin(folder, c.plugin, u"plugin.spi");
        writeBytes(folder / "r.mraw", encodeMraw(c.picture));
        HostUnderTest host(folder);
        RecordGuard out;
        EXPECT_FALSE(host.read(folder / "r.mraw", out.record));
        EXPECT_EQ(out.record.pixels, nullptr);
    }

    const fs::path folder = freshFolder("sources");
    installPlugin(folder, "tp_good", u"plugin.spi");
    writeBytes(folder / "empty.mraw", {});
    HostUnderTest host(folder);
    RecordGuard out;
    EXPECT_FALSE(host.read(folder / "empty.mraw", out.record));
    EXPECT_FALSE(host.read(folder / "missing.mraw", out.record));
    EXPECT_EQ(out.record.pixels, nullptr);
}

TEST(PluginHost, DisabledNamesIgnoreTheCaseOfAsciiLettersOnly) {
    struct Case {
        std::u16string file;
        std::u16string disabled;
        bool decodes;
    };
    const Case cases[] = {
        {u"Good.spi", u"gOOD.SPI", false},
        {u"Good.sph", u"GOOD.SPH", false},
        {u"Good.spi", u"Good.sph", true},
        {u"Good.spi", u"Goo.spi", true},
        {u"Good.spi", u"Good.spi ", true},
        {u"\u00c4rger.spi", u"\u00e4rger.spi", true},  // Ä and ä differ
        {u"\u00c4rger.spi", u"\u00c4RGER.SPI", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.decodes);
        const fs::path folder = freshFolder("disabled");
        installPlugin(folder, "tp_good", c.file);
        writeBytes(folder / "d.mraw", encodeMraw(patternPicture(2, 2, 24)));
        HostUnderTest host(folder);
        host.disabled.append(u"other.spi", 9);
        host.disabled.append(c.disabled.c_str(), static_cast<uint32_t>(c.disabled.size()));
        RecordGuard out;
        EXPECT_EQ(host.read(folder / "d.mraw", out.record), c.decodes);
    }

    // A disabled plug-in is passed over for the next one.
    const fs::path folder = freshFolder("disabled_next");
    installPlugin(folder, "tp_good_stamp1", u"first.spi");
    installPlugin(folder, "tp_good_stamp2", u"second.sph");
    writeBytes(folder / "d.mraw", encodeMraw(patternPicture(2, 2, 24)));
    HostUnderTest host(folder);
    host.disabled.append(u"FIRST.spi", 9);
    RecordGuard out;
    ASSERT_TRUE(host.read(folder / "d.mraw", out.record));
    EXPECT_EQ(out.record.header.biXPelsPerMeter, 1002);
}

TEST(PluginHost, PathsOutsideTheAnsiCodePage) {
    // Wine's ANSI code page here is 1252: "é" is spelled, "ж" is not and the
    // short name stands in for it.
    const fs::path folder = freshFolder("ansi");
    installPlugin(folder, "tp_good", u"good.spi");
    HostUnderTest host(folder);
    for (const std::u16string name : {u"caf\u00e9.mraw", u"\u0436\u0443\u043a.mraw"}) {
        const fs::path file = folder / fs::path(name);
        writeBytes(file, encodeMraw(patternPicture(3, 2, 24)));
        RecordGuard out;
        EXPECT_TRUE(host.read(file, out.record)) << fs::path(name).string();
    }
}

// ---------------------------------------------------------------- settings window

TEST(PluginHost, ListsImportFiltersSpiFirstIgnoringDisabledNames) {
    const fs::path folder = freshFolder("list");
    installPlugin(folder, "tp_good", u"one.sph");
    installPlugin(folder, "tp_decline", u"two.spi");
    installPlugin(folder, "tp_good", u"three.spi");
    installPlugin(folder, "tp_archive", u"archive.spi");
    installPlugin(folder, "tp_fault_info", u"faulty.spi");
    writeBytes(folder / "junk.sph", {'j', 'u', 'n', 'k'});
    HostUnderTest host(folder);
    host.disabled.append(u"three.spi", 9);
    NameList names;
    ASSERT_TRUE(host.host.listPlugins(names));
    std::vector<std::u16string> listed;
    for (const NameList::Node* n = names.first(); n; n = n->next) listed.push_back(n->name.c_str());
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[2], u"one.sph");
    EXPECT_TRUE((listed[0] == u"two.spi" && listed[1] == u"three.spi") ||
                (listed[0] == u"three.spi" && listed[1] == u"two.spi"));
}

namespace {
std::string patternText(int k, int length) {
    return std::string("*.") + char('a' + k) + std::string(length - 3, 'p');
}
std::string nameText(int k, int length) {
    return char('A' + k) + std::string(length - 1, 'n');
}
std::u16string joined(int count, int length, bool patterns) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        if (k) text += patterns ? ";" : "/";
        text += patterns ? patternText(k, length) : nameText(k, length);
    }
    return std::u16string(text.begin(), text.end());
}
}  // namespace

TEST(PluginHost, DescribingStopsBeforeEitherTextReaches260) {
    struct Case {
        const char* plugin;
        int patternLength, nameLength;
        int patterns, names;
    };
    const Case cases[] = {
        // Names run out first (61 each: the fifth would make 305); the fifth
        // pattern, appended before its name was tried, keeps its place.
        {"tp_patterns_40_60", 40, 60, 5, 4},
        // Patterns of 64 (65 each) reach exactly 260 with the fourth.
        {"tp_patterns_64_9", 64, 9, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.plugin);
        const fs::path folder = freshFolder("describe");
        installPlugin(folder, c.plugin, u"many.spi");
        HostUnderTest host(folder);
        HeapString patterns, names;
        ASSERT_TRUE(host.host.describePlugin(u"many.spi", patterns, names));
        EXPECT_EQ(std::u16string(patterns.c_str()), joined(c.patterns, c.patternLength, true));
        EXPECT_EQ(std::u16string(names.c_str()), joined(c.names, c.nameLength, false));
        EXPECT_LT(patterns.length(), 260u);
        EXPECT_LT(names.length(), 260u);
    }

    const fs::path folder = freshFolder("describe_one");
    installPlugin(folder, "tp_good", u"good.spi");
    installPlugin(folder, "tp_fault_info", u"faulty.spi");
    HostUnderTest host(folder);
    HeapString patterns, names;
    ASSERT_TRUE(host.host.describePlugin(u"good.spi", patterns, names));
    EXPECT_EQ(std::u16string(patterns.c_str()), u"*.mraw");
    EXPECT_EQ(std::u16string(names.c_str()), u"Made-up raw pictures");
    HeapString nothing1, nothing2;
    EXPECT_TRUE(host.host.describePlugin(u"faulty.spi", nothing1, nothing2));
    EXPECT_TRUE(host.host.describePlugin(u"missing.spi", nothing1, nothing2));
    EXPECT_TRUE(nothing1.empty());
    EXPECT_TRUE(nothing2.empty());
}

TEST(PluginHost, OpensThePluginsSettingsDialog) {
    const fs::path folder = freshFolder("configure");
    installPlugin(folder, "tp_good", u"good.spi");
    installPlugin(folder, "tp_fault_probe", u"faulty.spi");
    HostUnderTest host(folder);
    host.host.showPluginSettings(reinterpret_cast<HWND>(0x1234), u"good.spi");
    const std::vector<uint8_t> marker = readBytes(folder / "good.spi.configured");
    EXPECT_EQ(std::string(marker.begin(), marker.end()), std::to_string(0x1234) + " 1");
    host.host.showPluginSettings(nullptr, u"faulty.spi");  // faults; ignored
    EXPECT_FALSE(fs::exists(folder / "faulty.spi.configured"));
}

TEST(PluginHost, NoPluginStaysLoadedAfterAnyOperation) {
    const fs::path folder = freshFolder("unloaded");
    installPlugin(folder, "tp_good", u"good.spi");
    installPlugin(folder, "tp_fault_picture", u"faulty.sph");
    installPlugin(folder, "tp_archive", u"archive.sph");
    auto loaded = [&](const char* name) {
        return GetModuleHandleW((folder / name).wstring().c_str()) != nullptr;
    };
    // The check sees a library that is loaded.
    HMODULE probe = LoadLibraryW((folder / "good.spi").wstring().c_str());
    EXPECT_TRUE(loaded("good.spi"));
    FreeLibrary(probe);

    HostUnderTest host(folder);
    writeBytes(folder / "ok.mraw", encodeMraw(patternPicture(3, 3, 24)));
    RecordGuard decoded;
    ASSERT_TRUE(host.read(folder / "ok.mraw", decoded.record));
    host.disabled.append(u"good.spi", 8);
    MrawPicture faulting = patternPicture(3, 3, 24);
    faulting.fault = kAccessViolation;
    writeBytes(folder / "fault.mraw", encodeMraw(faulting));
    RecordGuard failed;
    EXPECT_FALSE(host.read(folder / "fault.mraw", failed.record));
    NameList names;
    EXPECT_TRUE(host.host.listPlugins(names));
    EXPECT_EQ(names.count(), 2u);
    HeapString patterns, formats;
    host.host.describePlugin(u"good.spi", patterns, formats);
    host.host.showPluginSettings(nullptr, u"faulty.sph");
    for (const char* name : {"good.spi", "faulty.sph", "archive.sph"})
        EXPECT_FALSE(loaded(name)) << name;
}

// ---------------------------------------------------------------- bitmap import

TEST(PluginBitmap, HostileInfoBlocks) {
    struct Block {
        const char* name;
        uint32_t size, biSize;
        int32_t width, height;
        uint16_t bitCount;
        uint32_t compression;
        size_t infoBytes, bitsBytes;
        bool accepted;
    };
    const Block cases[] = {
        {"plain", 40, 40, 4, 2, 24, 0, 40, 24, true},
        {"block below 40 bytes", 40, 40, 4, 2, 24, 0, 39, 24, false},
        {"OS/2 header", 12, 12, 4, 2, 24, 0, 40, 24, false},
        {"header beyond its block", 124, 124, 4, 2, 24, 0, 100, 24, false},
        {"compressed", 40, 40, 4, 2, 8, 1, 40 + 1024, 16, false},
        {"zero width", 40, 40, 0, 2, 24, 0, 40, 24, false},
        {"top-down", 40, 40, 4, -2, 24, 0, 40, 24, false},
        {"32 bits", 40, 40, 4, 2, 32, 0, 40, 32, false},
        {"2 bits", 40, 40, 4, 2, 2, 0, 40 + 16, 8, false},
        {"empty bits", 40, 40, 4, 2, 24, 0, 40, 0, false},
        {"4-bit block short by a byte", 40, 40, 9, 2, 4, 0, 40 + 64, 15, false},
        {"huge", 40, 40, 0x7FFFFFFF, 0x7FFFFFFF, 24, 0, 40, 64, false},
        {"buffer over 4 GiB", 40, 40, 0x10000, 0x10000, 8, 0, 40, 1, false},
    };
    for (const Block& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> info(std::max<size_t>(c.infoBytes, 40), 0);
        BitmapInfoHeader h{};
        h.biSize = c.biSize;
        h.biWidth = c.width;
        h.biHeight = c.height;
        h.biPlanes = 1;
        h.biBitCount = c.bitCount;
        h.biCompression = c.compression;
        std::memcpy(info.data(), &h, sizeof h);
        std::vector<uint8_t> bits(c.bitsBytes + 1, 0x5A);
        ImageRecord record{};
        bool damaged = true;
        const bool ok =
            importPluginBitmap(info.data(), c.infoBytes, bits.data(), c.bitsBytes, record, damaged);
        EXPECT_EQ(ok, c.accepted);
        EXPECT_FALSE(damaged);
        EXPECT_EQ(record.pixels != nullptr, c.accepted);
        releasePixelBuffer(record.pixels);
    }
}

TEST(PluginBitmap, AnInfoBlockEndingInsideTheColourTableGivesTheColoursItHolds) {
    // A 124-byte header and two and a half colours after it.
    std::vector<uint8_t> info(124 + 10, 0);
    BitmapInfoHeader h{};
    h.biSize = 124;
    h.biWidth = 2;
    h.biHeight = 1;
    h.biPlanes = 1;
    h.biBitCount = 8;
    h.biClrUsed = 256;
    std::memcpy(info.data(), &h, sizeof h);
    for (int i = 0; i < 10; ++i) info[124 + i] = static_cast<uint8_t>(100 + i);
    const uint8_t bits[4] = {2, 1, 0, 0};
    ImageRecord record{};
    bool damaged = true;
    ASSERT_TRUE(importPluginBitmap(info.data(), info.size(), bits, sizeof bits, record, damaged));
    EXPECT_FALSE(damaged);
    EXPECT_EQ(record.palette[0].blue, 100);
    EXPECT_EQ(record.palette[1].reserved, 107);
    EXPECT_EQ(record.palette[2].blue, 0);
    EXPECT_EQ(record.pixels[0], 2);
    releasePixelBuffer(record.pixels);
}
