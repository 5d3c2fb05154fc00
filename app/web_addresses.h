// The maker's web addresses, kept in one place: the About window links to the
// home page, and help falls back to the manual page when no local manual exists.
#pragma once

namespace app {

inline constexpr wchar_t kHomePageAddress[] = L"https://moravel.example.org/";
inline constexpr wchar_t kManualAddress[] =
    L"https://help.moravel.example.org/en/help/pirexhlp.php";

}  // namespace app
