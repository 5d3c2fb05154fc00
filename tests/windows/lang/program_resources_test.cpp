// The program's own resources (app/resources/pirex.rc), linked into this test
// executable as they are into Pirex.exe: icon 100 in every size, the version
// block, and what the manifest changes at run time.
// <windows.h> comes before the other Windows headers.
// clang-format off
#include <windows.h>
// clang-format on
#include <gtest/gtest.h>

#include <cwctype>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr UINT kProgramIcon = 100;

#pragma pack(push, 2)
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
#pragma pack(pop)

TEST(ProgramResources, IconHoldsEverySize) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kProgramIcon), RT_GROUP_ICON);
    ASSERT_NE(found, nullptr);
    auto* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    DWORD size = SizeofResource(nullptr, found);
    ASSERT_GE(size, sizeof(IconGroupHeader));
    auto* header = reinterpret_cast<const IconGroupHeader*>(group);
    ASSERT_EQ(header->type, 1);  // icon, not cursor
    ASSERT_GE(size, sizeof(IconGroupHeader) + header->count * sizeof(IconGroupEntry));
    auto* entries = reinterpret_cast<const IconGroupEntry*>(group + sizeof(IconGroupHeader));
    std::set<int> sizes;
    for (WORD i = 0; i < header->count; ++i) {
        EXPECT_EQ(entries[i].bitCount, 32);
        EXPECT_EQ(entries[i].width, entries[i].height);
        sizes.insert(entries[i].width == 0 ? 256 : entries[i].width);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 256}));

    // The system picks the image of the size asked for.
    for (int side : {16, 24, 32, 48, 256}) {
        SCOPED_TRACE(side);
        HICON icon = static_cast<HICON>(LoadImageW(
            GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIcon), IMAGE_ICON, side, side, 0));
        ASSERT_NE(icon, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, side);
        EXPECT_EQ(colour.bmHeight, side);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

std::wstring versionString(const std::vector<BYTE>& block, const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        !value) {
        return L"(missing)";
    }
    return value;
}

TEST(ProgramResources, VersionBlockNamesTheProduct) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &unused);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(7, 2));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 3));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(7, 2));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, 3));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"ProductName", L"Moravel"},
        {L"FileVersion", L"2.7.3.0"},
        {L"ProductVersion", L"2.7.3.0"},
        {L"OriginalFilename", L"Pirex.exe"}};
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(versionString(block, name), value) << "version value";
    }
    EXPECT_NE(versionString(block, L"FileDescription"), L"(missing)");
}

std::string manifestText() {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    if (!found) return {};
    auto* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    return text ? std::string(text, SizeofResource(nullptr, found)) : std::string();
}

// The manifest asks for common controls 6 and declares the newest Windows, so
// the system reports its true version.
TEST(ProgramResources, ManifestTakesEffect) {
    // Version 6 is the side-by-side copy; version 5 sits in the system folder.
    HMODULE controls = GetModuleHandleW(L"comctl32.dll");
    ASSERT_NE(controls, nullptr);
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(controls, path, MAX_PATH);
    std::wstring lower(path);
    for (wchar_t& c : lower) c = towlower(c);
    EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos);
    EXPECT_NE(lower.find(L"common-controls"), std::wstring::npos);

    OSVERSIONINFOW reported = {};
    reported.dwOSVersionInfoSize = sizeof reported;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(GetVersionExW(&reported));
#pragma GCC diagnostic pop
    using RtlGetVersionProc = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOW actual = {};
    actual.dwOSVersionInfoSize = sizeof actual;
    ASSERT_EQ(rtlGetVersion(&actual), 0);
    EXPECT_EQ(reported.dwMajorVersion, actual.dwMajorVersion);
    EXPECT_EQ(reported.dwMinorVersion, actual.dwMinorVersion);

    // The windows scale their layout for each monitor's DPI: per-monitor
    // awareness (v2), with system awareness where that is unknown. The
    // manifest itself is checked rather than what Wine reports.
    std::string manifest = manifestText();
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find("asInvoker"), std::string::npos);
}

}  // namespace
