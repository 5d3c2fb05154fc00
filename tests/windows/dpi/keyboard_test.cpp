// The keyboard in every window of the program, at the DPI of this run
// (run_dpi_test.sh runs it at 96, 120, 144 and 192), in English and Japanese.
// One table of windows; for each the test
//   - presses Tab and Shift+Tab (key messages through the window's own
//     keyboard handling) and checks the stops against the layout order;
//   - compares every control's rectangle with the 96-DPI run's, scaled;
//   - checks that no caption is wider or taller than its control;
//   - presses Alt with each mnemonic letter and checks where it lands, and
//     that both languages have the same letters;
//   - presses the window's Enter and Esc keys.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/about_window.h"
#include "app/options_dialog.h"
#include "app/plugin_dialog.h"
#include "app/progress_window.h"
#include "lang/resource_ids.h"
#include "tests/windows/dpi/dpi_program.h"

namespace {

using dpitest::kDesignDpi;
using dpitest::placeOf;

// How a window's messages reach it: the program's message loop, or the loop
// of a modal dialog (which hands every message to IsDialogMessage first).
using Translate = std::function<bool(MSG&)>;

void pump(const Translate& translate) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        if (translate && translate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

enum Modifier { kPlain, kShift, kAlt };

// A key pressed and let go where the keyboard focus is, with Shift or Alt
// held in the thread's key state, as the system posts it.
void press(WPARAM key, Modifier modifier, const Translate& translate) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    const BYTE saved[2] = {state[VK_SHIFT], state[VK_MENU]};
    if (modifier == kShift) state[VK_SHIFT] = 0x80;
    if (modifier == kAlt) state[VK_MENU] = 0x80;
    SetKeyboardState(state);
    HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), 0)) << 16;
    const LPARAM context = modifier == kAlt ? LPARAM{1} << 29 : 0;
    const LPARAM down = 1 | scan | context;
    const LPARAM up = down | LPARAM{3} << 30;
    PostMessageW(target, modifier == kAlt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
    PostMessageW(target, modifier == kAlt ? WM_SYSKEYUP : WM_KEYUP, key, up);
    pump(translate);
    state[VK_SHIFT] = saved[0];
    state[VK_MENU] = saved[1];
    SetKeyboardState(state);
}

std::wstring textOf(HWND window) {
    wchar_t text[300] = {};
    GetWindowTextW(window, text, 300);
    return text;
}

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool isClass(HWND window, const wchar_t* name) {
    return _wcsicmp(classOf(window).c_str(), name) == 0;
}

std::vector<HWND> childrenOf(HWND window) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

bool isStop(HWND control) {
    return (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) && IsWindowVisible(control) &&
           IsWindowEnabled(control);
}

// Layout order: rows top to bottom, left to right within a row; controls
// whose heights overlap share a row.
bool beforeInLayout(HWND parent, HWND a, HWND b) {
    const RECT first = placeOf(parent, a), second = placeOf(parent, b);
    const bool sameRow = first.top < second.bottom && second.top < first.bottom;
    return sameRow ? first.left < second.left : first.top < second.top;
}

// The control a label names: the nearest tab stop to its right in its row,
// else the nearest one below it that it overlaps horizontally.
HWND labelledControl(HWND parent, HWND label) {
    const RECT named = placeOf(parent, label);
    HWND right = nullptr, below = nullptr;
    int rightDistance = INT_MAX, belowDistance = INT_MAX;
    for (HWND other = GetWindow(parent, GW_CHILD); other; other = GetWindow(other, GW_HWNDNEXT)) {
        if (!isStop(other)) continue;
        const RECT box = placeOf(parent, other);
        const bool sameRow = box.top < named.bottom && named.top < box.bottom;
        if (sameRow && box.left >= named.right - 1 && box.left - named.right < rightDistance) {
            right = other;
            rightDistance = box.left - named.right;
        }
        const bool overlaps = box.left < named.right && named.left < box.right;
        if (!sameRow && overlaps && box.top >= named.bottom - 1 &&
            box.top - named.bottom < belowDistance) {
            below = other;
            belowDistance = box.top - named.bottom;
        }
    }
    return right ? right : below;
}

// The mnemonic letter of a caption ("&Browse..." -> 'B'); 0 when none.
wchar_t mnemonicOf(const std::wstring& caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&') continue;
        if (caption[i + 1] != L'&') return static_cast<wchar_t>(towupper(caption[i + 1]));
        ++i;
    }
    return 0;
}

bool takesPrefix(HWND control) {
    if (isClass(control, L"Button")) return true;
    return isClass(control, L"Static") && !(GetWindowLongW(control, GWL_STYLE) & SS_NOPREFIX);
}

std::wstring withoutPrefix(HWND control) {
    std::wstring caption = textOf(control);
    if (!takesPrefix(control)) return caption;
    std::wstring shown;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        shown += caption[i];
    }
    return shown;
}

// The About window's link opens nothing in this test: it counts.
int& openings() {
    static int count = 0;
    return count;
}
bool countOpening(const wchar_t*) {
    ++openings();
    return true;
}

// The window under test, open, and how its messages are handled.
struct OpenWindow {
    HWND root = nullptr;
    Translate translate;
};

// Button clicks that reach a window, recorded and kept from it.
LRESULT CALLBACK recordClicks(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR clicks) {
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        reinterpret_cast<std::vector<int>*>(clicks)->push_back(LOWORD(wParam));
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// "window language" -> control index (0 the client area) -> rectangle.
using Places = std::map<std::string, RECT>;
// "window" -> control index -> mnemonic letter, per language.
using Letters = std::map<std::string, std::map<size_t, wchar_t>>;

std::filesystem::path referenceFile() {
    std::filesystem::path file = apptest::folderFromEnvironment("MORAVEL_DPI_REFERENCE");
    return file.replace_extension(".keyboard.txt");
}

class KeyboardTest : public ::testing::Test {
  protected:
    void TearDown() override { program.stop(); }

    // Tab from the first stop in layout order visits every stop in that
    // order and comes back to it; Shift+Tab walks back.
    void checkTabOrder(const OpenWindow& open) {
        std::vector<HWND> stops;
        for (HWND child : childrenOf(open.root))
            if (isStop(child)) stops.push_back(child);
        ASSERT_FALSE(stops.empty());
        std::stable_sort(stops.begin(), stops.end(),
                         [&](HWND a, HWND b) { return beforeInLayout(open.root, a, b); });
        SetFocus(stops[0]);
        pump(open.translate);
        const auto idOf = [](HWND control) { return GetDlgCtrlID(control); };
        for (size_t i = 1; i <= stops.size(); ++i) {
            press(VK_TAB, kPlain, open.translate);
            EXPECT_EQ(GetFocus(), stops[i % stops.size()])
                << "Tab " << i << ": at " << idOf(GetFocus()) << ", expected "
                << idOf(stops[i % stops.size()]);
        }
        for (size_t i = stops.size(); i-- > 0;) {
            press(VK_TAB, kShift, open.translate);
            EXPECT_EQ(GetFocus(), stops[i]) << "Shift+Tab to " << idOf(stops[i]);
        }
    }

    // Every control's rectangle and the client area, for the 96-DPI run's
    // reference.
    void collectPlaces(const OpenWindow& open, const std::string& key) {
        RECT client = {};
        GetClientRect(open.root, &client);
        places[key + " 0"] = client;
        size_t index = 0;
        for (HWND child : childrenOf(open.root)) {
            RECT box = placeOf(open.root, child);
            // A drop-down list's closed height is the one its font gives it.
            if (isClass(child, L"ComboBox")) box.bottom = box.top;
            places[key + " " + std::to_string(++index)] = box;
        }
    }

    // No caption wider than its control (with a check box's mark), and a
    // label that wraps no taller than its control.
    void checkCaptionsFit(const OpenWindow& open, int dpi) {
        for (HWND child : childrenOf(open.root)) {
            const bool button = isClass(child, L"Button");
            if (!button && !isClass(child, L"Static")) continue;
            const LONG style = GetWindowLongW(child, GWL_STYLE);
            const std::wstring caption = withoutPrefix(child);
            if (caption.empty() || (button && (style & BS_TYPEMASK) == BS_GROUPBOX)) continue;
            const RECT box = placeOf(open.root, child);
            const int width = box.right - box.left, height = box.bottom - box.top;
            const LONG type = style & BS_TYPEMASK;
            const int mark = button && type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON
                                 ? dpitest::metricForDpi(SM_CXMENUCHECK, dpi)
                                 : 0;
            const std::string what =
                std::to_string(GetDlgCtrlID(child)) + " \"" + narrow(caption) + "\"";
            const bool wraps = !button && (style & SS_TYPEMASK) == SS_LEFT &&
                               !(style & (SS_CENTERIMAGE | SS_ENDELLIPSIS | SS_PATHELLIPSIS));
            if (!wraps) {
                EXPECT_LE(apptest::textWidthIn(child, caption) + mark, width) << what;
                continue;
            }
            HDC dc = GetDC(child);
            HGDIOBJ previous =
                SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0)));
            RECT wrapped = {0, 0, width, 0};
            DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &wrapped,
                      DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, previous);
            ReleaseDC(child, dc);
            EXPECT_LE(wrapped.right, width) << what;
            EXPECT_LE(wrapped.bottom, height) << what;
        }
    }

    // Alt with each caption's letter: a label hands the focus to the
    // control it names by its place, a button is clicked. Letters are unique
    // in a window, and Japanese captions carry theirs as "(&X)" after the
    // text.
    void checkMnemonics(const OpenWindow& open, const std::string& window, bool japanese) {
        const std::vector<HWND> children = childrenOf(open.root);
        std::set<wchar_t> used;
        for (size_t index = 0; index < children.size(); ++index) {
            HWND child = children[index];
            if (!takesPrefix(child)) continue;
            const std::wstring caption = textOf(child);
            const wchar_t letter = mnemonicOf(caption);
            if (!letter) continue;
            const std::string what = window + " \"" + narrow(caption) + "\"";
            letters[window][index] = letter;
            EXPECT_TRUE(used.insert(letter).second) << what << ": letter used twice";
            if (japanese) {
                const size_t at =
                    caption.find(std::wstring(L"(&") + caption[caption.find(L'&') + 1] + L")");
                ASSERT_NE(at, std::wstring::npos) << what;
                const std::wstring after = caption.substr(at + 4);
                EXPECT_TRUE(after.empty() || after == L":" || after == L"...") << what;
            }
            // A label names the control to its right in its row, else the
            // one below it.
            const bool button = isClass(child, L"Button");
            HWND target = button ? child : labelledControl(open.root, child);
            ASSERT_NE(target, nullptr) << what;
            // The focus starts on another control.
            for (HWND other : children)
                if (other != target && isStop(other)) {
                    SetFocus(other);
                    break;
                }
            std::vector<int> clicks;
            SetWindowSubclass(open.root, recordClicks, 1, reinterpret_cast<DWORD_PTR>(&clicks));
            const LRESULT checked = SendMessageW(child, BM_GETCHECK, 0, 0);
            press(static_cast<WPARAM>(letter), kAlt, open.translate);
            RemoveWindowSubclass(open.root, recordClicks, 1);
            if (button) {
                EXPECT_EQ(clicks, std::vector<int>{GetDlgCtrlID(child)}) << what;
                SendMessageW(child, BM_SETCHECK, checked, 0);
                continue;
            }
            EXPECT_EQ(GetFocus(), target) << what << " reached " << GetDlgCtrlID(GetFocus());
        }
    }

    // The checks every window shares.
    void checkWindow(const OpenWindow& open, const std::string& window, const dpitest::Case& c,
                     int dpi) {
        SCOPED_TRACE(window);
        ASSERT_NE(open.root, nullptr);
        checkTabOrder(open);
        collectPlaces(open, window + " " + dpitest::caseName(c));
        checkCaptionsFit(open, dpi);
        checkMnemonics(open, window, c.language[0] == u'J');
    }

    dpitest::Program program;
    Places places;
    std::map<std::string, Letters> lettersByLanguage;
    Letters letters;
};

// Runs `check` with the modal dialog that `run` opens, from inside its
// loop, once the dialog shows; the dialog ends after it.
void withModalDialog(const std::function<void()>& run, const std::function<void(HWND)>& check) {
    static const std::function<void(HWND)>* pending = nullptr;
    pending = &check;
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR timer, DWORD) {
        HWND dialog = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM found) -> BOOL {
                if (!isClass(window, L"#32770")) return TRUE;
                *reinterpret_cast<HWND*>(found) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&dialog));
        if (!dialog || !IsWindowVisible(dialog)) return;  // again at the next tick
        KillTimer(nullptr, timer);
        if (pending) (*pending)(dialog);
        pending = nullptr;
        EndDialog(dialog, 0);
    });
    run();
    pending = nullptr;
}

TEST_F(KeyboardTest, EveryWindowByKeyboardInLayoutOrderAtThisDpi) {
    const int dpi = dpitest::expectedDpi();
    ASSERT_GT(dpi, 0) << "run through run_dpi_test.sh";
    dpitest::becomeDpiAware();
    const dpitest::Case cases[] = {{u"English", -12}, {u"Japanese", -12}, {u"English", -14}};

    for (const dpitest::Case& c : cases) {
        SCOPED_TRACE(dpitest::caseName(c));
        letters.clear();
        ASSERT_TRUE(program.start(c));
        app::Application& app = *program;
        HWND settings = app.settingsWindow().hwnd();
        HWND convert = app.convertWindow().hwnd();
        const Translate mainLoop = [&app](MSG& message) { return app.translateKeyboard(message); };

        // Options: Enter does nothing; Esc closes it.
        withModalDialog([&] { app::runOptionsDialog(app, settings); },
                        [&](HWND dialog) {
                            const Translate own = [dialog](MSG& message) {
                                return IsDialogMessageW(dialog, &message) != FALSE;
                            };
                            const OpenWindow open{dialog, own};
                            checkWindow(open, "options", c, dpi);
                            press(VK_RETURN, kPlain, own);
                            EXPECT_TRUE(IsWindowVisible(dialog)) << "Enter closed the options";
                            press(VK_ESCAPE, kPlain, own);
                            EXPECT_FALSE(IsWindowVisible(dialog)) << "Esc left the options";
                        });

        // Plug-ins: Enter confirms and closes it.
        withModalDialog([&] { app::runPluginDialog(app, settings); },
                        [&](HWND dialog) {
                            const Translate own = [dialog](MSG& message) {
                                return IsDialogMessageW(dialog, &message) != FALSE;
                            };
                            const OpenWindow open{dialog, own};
                            checkWindow(open, "plug-ins", c, dpi);
                            SetFocus(GetDlgItem(dialog, IDC_PLUGIN_LIST));
                            press(VK_RETURN, kPlain, own);
                            EXPECT_FALSE(IsWindowVisible(dialog)) << "Enter left the plug-ins";
                        });
        // With plug-ins listed, Enter on the selected one opens its own
        // settings (their box is closed again here) and leaves the dialog
        // open; Enter on the OK button then confirms.
        app.settings().pluginFolder.assign(
            app::utf16((apptest::programFolder() / "plugins").c_str()));
        withModalDialog([&] { app::runPluginDialog(app, settings); },
                        [&](HWND dialog) {
                            const Translate own = [dialog](MSG& message) {
                                return IsDialogMessageW(dialog, &message) != FALSE;
                            };
                            HWND view = GetDlgItem(dialog, IDC_PLUGIN_LIST);
                            ASSERT_GT(ListView_GetItemCount(view), 0) << "no plug-ins listed";
                            ListView_SetItemState(view, 0, LVIS_SELECTED | LVIS_FOCUSED,
                                                  LVIS_SELECTED | LVIS_FOCUSED);
                            SetFocus(view);
                            static bool sawSettings;
                            sawSettings = false;
                            SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR timer, DWORD) {
                                EnumThreadWindows(
                                    GetCurrentThreadId(),
                                    [](HWND window, LPARAM) -> BOOL {
                                        wchar_t text[256] = {};
                                        GetDlgItemTextW(window, 0xFFFF, text, 256);
                                        if (!IsWindowVisible(window) || !text[0]) return TRUE;
                                        sawSettings = true;
                                        PostMessageW(window, WM_COMMAND, IDOK, 0);
                                        return FALSE;
                                    },
                                    0);
                                if (sawSettings) KillTimer(nullptr, timer);
                            });
                            press(VK_RETURN, kPlain, own);
                            EXPECT_TRUE(sawSettings) << "Enter on a plug-in did not open it";
                            EXPECT_TRUE(IsWindowVisible(dialog)) << "Enter on a plug-in closed";
                            SetFocus(GetDlgItem(dialog, IDOK));
                            press(VK_RETURN, kPlain, own);
                            EXPECT_FALSE(IsWindowVisible(dialog)) << "Enter on OK left it open";
                        });

        // About: the link has the focus; Enter opens it, Esc closes.
        openings() = 0;
        app::AboutWindowArgs about;
        about.instance = app.instance();
        about.owner = settings;
        about.caption = L"About";
        about.font = app.uiFont();
        about.webAddress = L"https://moravel.invalid/";
        about.openAddress = countOpening;
        HWND frame = app::showAboutWindow(about);
        pump(mainLoop);
        EXPECT_EQ(GetFocus(), GetDlgItem(frame, app::kAboutLinkId));
        checkWindow({frame, mainLoop}, "about", c, dpi);
        press(VK_RETURN, kPlain, mainLoop);
        EXPECT_EQ(openings(), 1);
        press(VK_ESCAPE, kPlain, mainLoop);
        EXPECT_FALSE(IsWindow(frame));

        // Progress, running and then listing the failures: Enter and Esc
        // cancel, then close.
        int cancels = 0, closes = 0;
        {
            app::ProgressWindow progress(
                app, [&] { ++cancels; }, [&] { ++closes; });
            ASSERT_TRUE(progress.open(settings, false));
            progress.update(1, 3, L"a.bmp");
            pump(mainLoop);
            checkWindow({progress.hwnd(), mainLoop}, "progress", c, dpi);
            press(VK_RETURN, kPlain, mainLoop);
            press(VK_ESCAPE, kPlain, mainLoop);
            EXPECT_EQ(cancels, 2);
            progress.listFailures(1, 3, L"b.png: cannot be read\r\nc.jpg: cannot be read");
            pump(mainLoop);
            checkWindow({progress.hwnd(), mainLoop}, "progress-failures", c, dpi);
            SetFocus(GetDlgItem(progress.hwnd(), IDOK));
            press(VK_RETURN, kPlain, mainLoop);
            press(VK_ESCAPE, kPlain, mainLoop);
            EXPECT_EQ(closes, 2);
            EXPECT_EQ(cancels, 2);
        }
        pump(mainLoop);

        // The convert window: Tab walks it, a format letter acts wherever
        // the focus is, Enter presses the focused button, Esc closes.
        const auto showConvert = [&] {
            ShowWindow(settings, SW_HIDE);
            ShowWindow(convert, SW_RESTORE);
            SetForegroundWindow(convert);
            SetFocus(convert);
            pump(mainLoop);
        };
        showConvert();
        checkWindow({convert, mainLoop}, "convert", c, dpi);
        SetFocus(GetDlgItem(convert, 1000));
        press('S', kPlain, mainLoop);
        EXPECT_TRUE(IsWindowVisible(settings) && !IsWindowVisible(convert)) << "S did not act";
        showConvert();
        // Space works the resize switch and leaves it the focus.
        HWND resize = GetDlgItem(convert, 1005);
        SetFocus(resize);
        const LRESULT resizeWas = SendMessageW(resize, BM_GETCHECK, 0, 0);
        press(VK_SPACE, kPlain, mainLoop);
        EXPECT_NE(SendMessageW(resize, BM_GETCHECK, 0, 0), resizeWas);
        EXPECT_EQ(GetFocus(), resize);
        SetFocus(GetDlgItem(convert, 1006));
        press(VK_RETURN, kPlain, mainLoop);
        EXPECT_TRUE(IsWindowVisible(settings) && !IsWindowVisible(convert)) << "Enter did not act";
        showConvert();
        SetFocus(GetDlgItem(convert, 1001));
        press(VK_ESCAPE, kPlain, mainLoop);
        EXPECT_FALSE(IsWindow(convert)) << "Esc left the convert window";

        program.stop();
        lettersByLanguage[dpitest::caseName(c)] = letters;
    }

    // Alt works with the same letters in both languages.
    EXPECT_EQ(lettersByLanguage["English-12"], lettersByLanguage["Japanese-12"]);
    EXPECT_FALSE(lettersByLanguage["English-12"].empty());

    if (dpi == kDesignDpi) {
        std::ofstream out(referenceFile());
        for (const auto& [key, box] : places)
            out << key << ' ' << box.left << ' ' << box.top << ' ' << box.right << ' ' << box.bottom
                << '\n';
        ASSERT_TRUE(out.good());
        return;
    }
    std::ifstream in(referenceFile());
    ASSERT_TRUE(in.good()) << "no reference from the 96-DPI run";
    size_t compared = 0;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string window, language, index;
        RECT designed = {};
        words >> window >> language >> index >> designed.left >> designed.top >> designed.right >>
            designed.bottom;
        const std::string key = window + " " + language + " " + index;
        const auto found = places.find(key);
        ASSERT_NE(found, places.end()) << key;
        const RECT& box = found->second;
        const auto scaled = [&](LONG edge) { return MulDiv(edge, dpi, kDesignDpi); };
        EXPECT_NEAR(box.left, scaled(designed.left), 1) << key;
        EXPECT_NEAR(box.top, scaled(designed.top), 1) << key;
        EXPECT_NEAR(box.right, scaled(designed.right), 1) << key;
        if (designed.bottom != designed.top) {
            EXPECT_NEAR(box.bottom, scaled(designed.bottom), 1) << key;
        }
        ++compared;
    }
    EXPECT_EQ(compared, places.size());
}

}  // namespace
