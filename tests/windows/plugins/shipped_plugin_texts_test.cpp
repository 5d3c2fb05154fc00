// Our own import plug-ins speak the user's interface language: run once as
// it comes (English) and once with a Japanese user interface, where the
// descriptions, format names and the About box come back Japanese through
// the ANSI code page (932).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "plugin_test_support.h"

namespace {

struct Expected {
    const char* file;
    std::wstring englishDescription, japaneseDescription;
    std::wstring englishFormats, japaneseFormats;
};

fs::path shippedPlugins() {
    const char* folder = std::getenv("MORAVEL_SHIPPED_PLUGINS");
    return folder ? fs::path(folder) : fs::path(".");
}

bool japanese() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
}

std::wstring fromAnsi(const char* text) {
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 512);
    return wide;
}

// The text of the message box ConfigurationDlg shows, closed again.
std::wstring aboutBoxText(HMODULE plugin) {
    using ConfigurationDlgFn = int(WINAPI*)(HWND, int);
    auto configure = reinterpret_cast<ConfigurationDlgFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin, "ConfigurationDlg")));
    if (!configure) return L"";
    std::atomic<DWORD> threadId = 0;
    std::thread shows([&] {
        threadId = GetCurrentThreadId();
        configure(nullptr, 1);
    });
    std::wstring text;
    for (int tries = 0; tries < 200 && text.empty(); ++tries) {
        Sleep(50);
        if (threadId == 0) continue;
        EnumThreadWindows(
            threadId,
            [](HWND window, LPARAM found) -> BOOL {
                wchar_t buffer[1024] = {};
                GetDlgItemTextW(window, 0xFFFF, buffer, 1024);  // the box's text control
                if (!buffer[0]) return TRUE;
                *reinterpret_cast<std::wstring*>(found) = buffer;
                PostMessageW(window, WM_COMMAND, IDOK, 0);
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&text));
    }
    shows.join();
    return text;
}

}  // namespace

TEST(ShippedPluginTexts, InTheUserInterfaceLanguage) {
    const Expected plugins[] = {
        {"webp.sph", L"Moravel WebP import filter", L"Moravel WebP 読み込みプラグイン",
         L"WebP picture", L"WebP 画像"},
        {"heif.sph", L"Moravel HEIC import filter", L"Moravel HEIC 読み込みプラグイン",
         L"HEIC picture/HEIF picture", L"HEIC 画像/HEIF 画像"},
        {"avif.sph", L"Moravel AVIF import filter", L"Moravel AVIF 読み込みプラグイン",
         L"AVIF picture", L"AVIF 画像"},
    };
    SCOPED_TRACE(japanese() ? "Japanese" : "English");
    if (japanese()) {
        ASSERT_EQ(GetACP(), 932u);
    }
    int found = 0;
    for (const Expected& e : plugins) {
        const fs::path path = shippedPlugins() / e.file;
        if (!fs::exists(path)) continue;  // heif and avif need the HEIF libraries
        ++found;
        SCOPED_TRACE(e.file);
        // Through the host, as the settings window's list shows it.
        HostUnderTest host(shippedPlugins());
        HeapString patterns, formats;
        ASSERT_TRUE(
            host.host.describePlugin(fs::path(e.file).u16string().c_str(), patterns, formats));
        EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(formats.c_str())),
                  japanese() ? e.japaneseFormats : e.englishFormats);

        HMODULE plugin = LoadLibraryW(path.wstring().c_str());
        ASSERT_NE(plugin, nullptr);
        using GetPluginInfoFn = int(WINAPI*)(int, LPSTR, int);
        auto info = reinterpret_cast<GetPluginInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(plugin, "GetPluginInfo")));
        ASSERT_NE(info, nullptr);
        char text[260] = {};
        const int stored = info(1, text, sizeof text);
        EXPECT_EQ(stored, static_cast<int>(strlen(text)));
        EXPECT_EQ(fromAnsi(text), japanese() ? e.japaneseDescription : e.englishDescription);
        // A buffer too small for the whole text gets whole characters only:
        // "Moravel WebP " and the lead byte of the next character do not fit in 15.
        char small[15];
        std::memset(small, 'x', sizeof small);
        const int cut = info(1, small, sizeof small);
        EXPECT_EQ(cut, static_cast<int>(strlen(small)));
        EXPECT_EQ(fromAnsi(small), (japanese() ? e.japaneseDescription : e.englishDescription)
                                       .substr(0, japanese() ? 13 : 14));

        const std::wstring about = aboutBoxText(plugin);
        EXPECT_NE(about.find(japanese() ? L"「licenses」フォルダー" : L"\"licenses\" folder"),
                  std::wstring::npos)
            << "About box: " << about.size() << " characters";
        EXPECT_EQ(about.find(L"program's folder"), std::wstring::npos);
        FreeLibrary(plugin);
    }
    EXPECT_GT(found, 0) << "no plug-in in " << shippedPlugins().string();
}
