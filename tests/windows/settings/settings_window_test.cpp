// The settings window, the options dialog and the plug-in dialog in-process
// under Wine: the real windows of the program, driven by the messages a
// user's actions send, read back through their controls and the settings
// file the program writes when it ends.
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/control_ids.h"
#include "app/dpi.h"
#include "app/text.h"
#include "core/settings_file_reader.h"
#include "core/settings_store.h"
#include "lang/resource_ids.h"
#include "tests/windows/app/app_test_support.h"

namespace {

namespace fs = std::filesystem;
using apptest::programFolder;
using apptest::testData;

constexpr int kConvertJpegCopy = 1004;
constexpr int kConvertResize = 1005;

fs::path libraryFile(const std::wstring& language) {
    return programFolder() / (language + L".dll");
}

std::wstring textOf(HWND window) {
    wchar_t text[300] = {};
    SendMessageW(window, WM_GETTEXT, 300, reinterpret_cast<LPARAM>(text));
    return text;
}

// ---------------------------------------------------------------------------
// The settings file as this version writes it, built byte by byte: header,
// 19 slots, then the texts appended in the order the slots are saved.
class SettingsFileBuilder {
  public:
    void number(int slot, int32_t value) { set(slot, 1, static_cast<uint32_t>(value)); }
    void text(int slot, const std::u16string& value) {
        if (value.empty()) return set(slot, 0, 0);
        set(slot, static_cast<uint32_t>(156 + data_.size()),
            static_cast<uint32_t>(value.size() * 2));
        for (char16_t c : value) {
            data_.push_back(static_cast<uint8_t>(c & 0xFF));
            data_.push_back(static_cast<uint8_t>(c >> 8));
        }
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> out = {19, 0, 0x9A, 0x0A};
        for (const auto& slot : slots_)
            for (uint32_t value : slot)
                for (int shift = 0; shift < 32; shift += 8)
                    out.push_back(static_cast<uint8_t>(value >> shift));
        out.insert(out.end(), data_.begin(), data_.end());
        return out;
    }

  private:
    void set(int slot, uint32_t a, uint32_t b) { slots_[slot] = {a, b}; }
    std::array<std::array<uint32_t, 2>, 19> slots_{};
    std::vector<uint8_t> data_;
};

// ---------------------------------------------------------------------------
// The layout as properties that hold whatever the language, the font and the
// DPI: every control inside the window and its group, no two over each
// other, every caption as wide as its control at most, Tab walking the
// controls in layout order and every Alt mnemonic unique and reaching its
// control.

// A control's rectangle in its parent's client coordinates; a number edit
// together with the up-down inside its right edge.
RECT placeOf(HWND parent, int id) {
    RECT box = {};
    GetWindowRect(GetDlgItem(parent, id), &box);
    if (id == IDC_JPEG_QUALITY_EDIT || id == IDC_JPEG_SIZE_LIMIT_EDIT) {
        RECT upDown = {};
        GetWindowRect(GetDlgItem(parent, id + 1), &upDown);
        UnionRect(&box, &box, &upDown);
    }
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

bool inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// The controls in creation order; the up-downs go with their edits.
constexpr int kLaidOut[] = {1010, 1011, 1070, 1071, 1020, 1021, 1022, 1024, 1025, 1027,
                            1028, 1030, 1040, 1041, 1042, 1043, 1044, 1045, 1046, 1050,
                            1053, 1051, 1052, 1054, 1055, 1060, 1090, 1091, 1092, 1093};
constexpr int kJpegRow[] = {IDS_JPEG_QUALITY,        IDC_JPEG_QUALITY_EDIT,
                            IDS_JPEG_SUBSAMPLING,    IDC_JPEG_SUBSAMPLING_LIST,
                            IDS_JPEG_SIZE_LIMIT,     IDC_JPEG_SIZE_LIMIT_EDIT,
                            IDC_JPEG_SIZE_LIMIT_UNIT};
const std::pair<int, std::vector<int>> kGroups[] = {
    {IDS_TRANSPARENCY_GROUP, {IDS_KEEP_TRANSPARENCY}},
    {IDS_JPEG_GROUP, {std::begin(kJpegRow), std::end(kJpegRow)}},
    {IDS_RESIZE_GROUP,
     {IDS_RESIZE_SWITCH, IDS_RESIZE_BY_WIDTH, IDS_RESIZE_BY_HEIGHT, IDS_RESIZE_BY_LONGER_SIDE,
      IDC_RESIZE_TARGET_EDIT, IDS_RESIZE_UNIT}},
    {IDS_OUTPUT_GROUP,
     {IDC_OUTPUT_FOLDER_EDIT, IDS_OUTPUT_CHOOSE_FOLDER, IDS_OUTPUT_CLEAR_FOLDER,
      IDS_OUTPUT_SUB_FOLDER, IDC_SUB_FOLDER_EDIT}},
};

std::wstring classOf(HWND control) {
    wchar_t kind[32] = {};
    GetClassNameW(control, kind, 32);
    return kind;
}
bool isClass(HWND control, const wchar_t* name) {
    return _wcsicmp(classOf(control).c_str(), name) == 0;
}
LONG buttonType(HWND control) {
    return GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
}
bool checkable(HWND control) {
    return isClass(control, L"Button") &&
           (buttonType(control) == BS_AUTOCHECKBOX || buttonType(control) == BS_AUTORADIOBUTTON);
}

// A caption as drawn, and its mnemonic letter (0 when it has none).
std::wstring shownText(HWND control, wchar_t* mnemonic = nullptr) {
    std::wstring text = textOf(control);
    const size_t mark = text.find(L'&');
    if (mnemonic) *mnemonic = mark != std::wstring::npos ? towlower(text[mark + 1]) : 0;
    if (mark != std::wstring::npos) text.erase(mark, 1);
    return text;
}

// The controls the user works, in creation order: lists, edits, check boxes,
// push buttons and a radio group's checked button.
std::vector<HWND> tabStops(HWND window) {
    std::vector<HWND> stops;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const bool button = isClass(child, L"Button");
        const bool worked = isClass(child, L"ComboBox") || isClass(child, L"Edit") ||
                            (button && buttonType(child) != BS_GROUPBOX &&
                             (buttonType(child) != BS_AUTORADIOBUTTON ||
                              SendMessageW(child, BM_GETCHECK, 0, 0) == BST_CHECKED));
        if (worked && IsWindowEnabled(child) && IsWindowVisible(child)) stops.push_back(child);
    }
    return stops;
}

// A key as the message loop hands it to the window's dialog manager.
void pressKey(HWND window, UINT message, WPARAM key, LPARAM flags = 0) {
    MSG msg = {GetFocus() ? GetFocus() : window, message, key, flags, 0, {}};
    IsDialogMessageW(window, &msg);
}

void expectLayoutProperties(HWND window, int dpi) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
    RECT client = {};
    GetClientRect(window, &client);
    const int checkMark = app::systemMetricForDpi(SM_CXMENUCHECK, dpi);
    std::vector<std::pair<int, RECT>> placed;
    for (const int id : kLaidOut) {
        SCOPED_TRACE(id);
        HWND control = GetDlgItem(window, id);
        ASSERT_NE(control, nullptr);
        const RECT box = placeOf(window, id);
        EXPECT_TRUE(inside(box, client));
        // Captions fit; a list's widest entry with its arrow; edits scroll.
        int widest = apptest::textWidthIn(control, shownText(control));
        if (isClass(control, L"ComboBox")) {
            widest = 0;
            for (int entry = 0; entry < SendMessageW(control, CB_GETCOUNT, 0, 0); ++entry) {
                wchar_t text[300] = {};
                SendMessageW(control, CB_GETLBTEXT, entry, reinterpret_cast<LPARAM>(text));
                widest = std::max(widest, apptest::textWidthIn(control, text) +
                                              app::systemMetricForDpi(SM_CXVSCROLL, dpi));
            }
        } else if (isClass(control, L"Edit")) {
            widest = 0;
        } else if (checkable(control)) {
            widest += checkMark;
        }
        EXPECT_LE(widest, box.right - box.left) << textOf(control);
        if (isClass(control, L"Button") && buttonType(control) == BS_GROUPBOX) continue;
        for (const auto& [other, otherBox] : placed) {
            RECT overlap = {};
            EXPECT_FALSE(IntersectRect(&overlap, &box, &otherBox)) << "over " << other;
        }
        placed.push_back({id, box});
    }
    for (const auto& [group, members] : kGroups) {
        const RECT frame = placeOf(window, group);
        for (const int id : members) EXPECT_TRUE(inside(placeOf(window, id), frame)) << id;
    }

    // Tab walks every control the user works once, in layout order: each
    // stop below the one before it or in its row to its right.
    const std::vector<HWND> stops = tabStops(window);
    ASSERT_FALSE(stops.empty());
    // From the window itself (a click on it takes the focus) to the first.
    SetFocus(window);
    pressKey(window, WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), stops.front());
    // Enter and Esc do nothing here: the window stays, the focus too.
    for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        pressKey(window, WM_KEYDOWN, key);
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(GetFocus(), stops.front());
    }
    std::vector<HWND> walked = {GetFocus()};
    for (size_t i = 1; i < stops.size(); ++i) {
        pressKey(window, WM_KEYDOWN, VK_TAB);
        walked.push_back(GetFocus());
    }
    EXPECT_EQ(walked, stops);
    for (size_t i = 1; i < walked.size(); ++i) {
        const RECT before = placeOf(window, GetDlgCtrlID(walked[i - 1]));
        const RECT after = placeOf(window, GetDlgCtrlID(walked[i]));
        const bool below = after.top >= before.bottom - 2;
        const bool rightInRow = after.left >= before.right && after.top < before.bottom;
        EXPECT_TRUE(below || rightInRow)
            << GetDlgCtrlID(walked[i - 1]) << " then " << GetDlgCtrlID(walked[i]);
    }
    pressKey(window, WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), stops.front()) << "Tab goes round";

    // Alt and a caption's letter: a check box or radio button takes the
    // focus (and is clicked, so a check box is pressed twice), a label hands
    // it to the control after it. Push buttons would act; their letters are
    // only checked to be unique.
    std::map<wchar_t, int> letters;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t letter = 0;
        shownText(child, &letter);
        if (!letter) continue;
        const int id = GetDlgCtrlID(child);
        EXPECT_TRUE(letters.emplace(letter, id).second)
            << "letter " << static_cast<char>(letter) << " of " << id << " is " << letters[letter]
            << "'s too";
        const bool label = isClass(child, L"Static");
        // A disabled control takes no mnemonic.
        if (!label && !checkable(child)) continue;
        HWND target = label ? GetWindow(child, GW_HWNDNEXT) : child;
        if (!IsWindowEnabled(child) || !IsWindowEnabled(target)) continue;
        const int presses = checkable(child) && buttonType(child) == BS_AUTOCHECKBOX ? 2 : 1;
        for (int press = 0; press < presses; ++press) {
            SetFocus(GetDlgItem(window, IDS_SAVE_AND_CLOSE));
            pressKey(window, WM_SYSCHAR, letter, 1 << 29);
            EXPECT_EQ(GetFocus(), target) << "Alt+" << static_cast<char>(letter) << " for " << id;
        }
    }
    // Every control that has a caption and is worked by the user has a letter.
    for (HWND stop : stops) {
        if (isClass(stop, L"Button")) {
            EXPECT_NE(textOf(stop).find(L'&'), std::wstring::npos) << GetDlgCtrlID(stop);
        }
    }
}

// The JPEG row, whatever its captions: inside its group, or, when it cannot
// fit, packed from the group's left edge; its controls left to right, never
// over each other.
void expectJpegRowFitsOrStartsAtTheEdge(HWND window) {
    const RECT group = placeOf(window, IDS_JPEG_GROUP);
    RECT previous = {};
    bool fits = true;
    for (const int id : kJpegRow) {
        const RECT box = placeOf(window, id);
        if (id != kJpegRow[0]) {
            EXPECT_GE(box.left, previous.right) << id;
        }
        fits = fits && inside(box, group);
        previous = box;
    }
    if (!fits) {
        EXPECT_EQ(placeOf(window, kJpegRow[0]).left, group.left) << "a row too long";
    }
}

// Where every control lies with today's libraries and fonts, as the
// screenshots show them: "id:left,top,width,height" in creation order.
void expectPlaces(HWND window, const std::wstring& places) {
    std::wstring actual, expected, word;
    for (const int id : kLaidOut) {
        const RECT box = placeOf(window, id);
        actual += (actual.empty() ? L"" : L" ") + std::to_wstring(id) + L":" +
                  std::to_wstring(box.left) + L"," + std::to_wstring(box.top) + L"," +
                  std::to_wstring(box.right - box.left) + L"," +
                  std::to_wstring(box.bottom - box.top);
    }
    std::wstringstream words(places);
    while (words >> word) expected += (expected.empty() ? L"" : L" ") + word;
    EXPECT_EQ(actual, expected);
}

// A copy of a language library whose string 1021 reads `caption`: the other
// strings of its block are copied, in the block's own language.
bool writeLanguageWithQualityCaption(const fs::path& from, const fs::path& to,
                                     const std::wstring& caption) {
    constexpr UINT kBlockFirst = 1021 / 16 * 16;
    const auto block = MAKEINTRESOURCEW(kBlockFirst / 16 + 1);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return false;
    HMODULE source = LoadLibraryExW(from.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    WORD language = 0;
    EnumResourceLanguagesW(
        source, RT_STRING, block,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD found, LONG_PTR out) -> BOOL {
            *reinterpret_cast<WORD*>(out) = found;
            return FALSE;
        },
        reinterpret_cast<LONG_PTR>(&language));
    std::vector<wchar_t> data;
    for (UINT id = kBlockFirst; id < kBlockFirst + 16; ++id) {
        const std::wstring text = id == 1021 ? caption : apptest::libraryString(from, id);
        data.push_back(static_cast<wchar_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    FreeLibrary(source);
    HANDLE update = BeginUpdateResourceW(to.c_str(), FALSE);
    return update &&
           UpdateResourceW(update, RT_STRING, block, language, data.data(),
                           static_cast<DWORD>(data.size() * sizeof(wchar_t))) &&
           EndUpdateResourceW(update, FALSE);
}

// ---------------------------------------------------------------------------
// Modal dialogs run their own message loop: a thread timer acts in them, one
// step per tick, each step waiting until the dialog it expects is in front.
class DialogScript {
  public:
    using Step = std::function<bool(HWND dialog)>;

    explicit DialogScript(std::vector<Step> steps) : steps_(std::move(steps)) {
        active_ = this;
        timer_ = SetTimer(nullptr, 0, 40, tick);
    }
    ~DialogScript() {
        KillTimer(nullptr, timer_);
        active_ = nullptr;
    }
    bool finished() const { return next_ == steps_.size(); }

    // The enabled dialog of this thread (the one in front).
    static HWND frontDialog() {
        HWND found = nullptr;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND window, LPARAM out) -> BOOL {
                wchar_t name[16] = {};
                GetClassNameW(window, name, 16);
                if (lstrcmpW(name, L"#32770") == 0 && IsWindowEnabled(window) &&
                    IsWindowVisible(window)) {
                    *reinterpret_cast<HWND*>(out) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

  private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        DialogScript* self = active_;
        if (!self) return;
        HWND dialog = frontDialog();
        if (++self->ticks_ > 250) {
            // Something went wrong: end whatever is open so the test goes on.
            if (dialog) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (!dialog || self->finished()) return;
        if (self->steps_[self->next_](dialog)) ++self->next_;
    }

    static inline DialogScript* active_ = nullptr;
    std::vector<Step> steps_;
    size_t next_ = 0;
    int ticks_ = 0;
    UINT_PTR timer_ = 0;
};

bool hasControl(HWND dialog, int id) {
    return GetDlgItem(dialog, id) != nullptr;
}
// Posted, not sent: a button that opens or ends a modal loop must not run
// inside the timer's callback.
void postClick(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The text of the selected item of a dialog's tree view.
std::wstring selectedTreeText(HWND dialog) {
    HWND tree = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM out) -> BOOL {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (lstrcmpW(name, WC_TREEVIEWW) != 0) return TRUE;
            *reinterpret_cast<HWND*>(out) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&tree));
    if (!tree) return L"";
    wchar_t text[MAX_PATH] = {};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetSelection(tree);
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    if (!item.hItem || !TreeView_GetItem(tree, &item)) return L"";
    return text;
}

std::wstring rowText(HWND list, int row, int column) {
    wchar_t text[300] = {};
    ListView_GetItemText(list, row, column, text, 300);
    return text;
}

// ---------------------------------------------------------------------------
struct Shown {
    std::wstring text;
};

class SettingsWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sources = temp / "sources";
        settingsFile = temp / "Pirex.ini";
        apptest::copySampleSources(sources);
    }
    void TearDown() override {
        program.reset();
        drainMessages();
    }

    void writeSettings(const Settings& settings) {
        ASSERT_TRUE(saveSettings(app::utf16(settingsFile.c_str()), settings));
    }

    // Started without files: the settings window shows and takes drops.
    void start(const fs::path& folder = programFolder()) {
        std::wstring commandLine = L"\"" + (folder / "Pirex.exe").wstring() + L"\"";
        arguments.split(commandLine.c_str());
        location.programFolder.assign(app::utf16(folder.c_str()));
        location.settingsFile.assign(app::utf16(settingsFile.c_str()));
        program = std::make_unique<app::Application>(
            GetModuleHandleW(nullptr),
            [this](HWND, const wchar_t* text, const wchar_t*, UINT) { shown.push_back({text}); });
        app::StartOptions options;
        options.osClass = 5;
        options.arguments = &arguments;
        options.location = &location;
        options.uiLanguage = 0x0409;
        ASSERT_TRUE(program->initialize(options));
    }

    HWND window() { return program->settingsWindow().hwnd(); }
    HWND convert() { return program->convertWindow().hwnd(); }
    HWND item(int id) { return GetDlgItem(window(), id); }

    bool drainMessages() { return apptest::drainMessages(); }

    // A click as the button itself reports it (auto check boxes toggle first).
    void click(int id) {
        HWND button = item(id);
        const LONG_PTR kind = GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK;
        if (kind == BS_AUTOCHECKBOX)
            SendMessageW(button, BM_SETCHECK,
                         SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_UNCHECKED
                                                                                : BST_CHECKED,
                         0);
        else if (kind == BS_AUTORADIOBUTTON)
            for (int radio = 1042; radio <= 1044; ++radio)
                SendMessageW(item(radio), BM_SETCHECK, radio == id ? BST_CHECKED : BST_UNCHECKED,
                             0);
        SendMessageW(window(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }
    bool ticked(HWND parent, int id) { return IsDlgButtonChecked(parent, id) == BST_CHECKED; }
    void setText(int id, const wchar_t* text) {
        SendMessageW(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    }
    void select(int id, int entry) { SendMessageW(item(id), CB_SETCURSEL, entry, 0); }

    void drop(const std::vector<fs::path>& paths) {
        size_t characters = 1;
        for (const fs::path& path : paths) characters += path.wstring().size() + 1;
        HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
        auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(header) + sizeof(DROPFILES));
        for (const fs::path& path : paths) {
            const std::wstring text = path.wstring();
            std::copy(text.begin(), text.end(), out);
            out += text.size() + 1;
        }
        GlobalUnlock(memory);
        SendMessageW(window(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
        // The batch runs on its own thread: answer messages, as the message
        // loop does, until it has ended and shown what it shows.
        const DWORD until = GetTickCount() + 60000;
        while (program->batchRunning() && static_cast<LONG>(until - GetTickCount()) > 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        ASSERT_FALSE(program->batchRunning()) << "the batch did not end";
    }
    std::vector<fs::path> allSources() {
        return {sources / "a.bmp", sources / "b.png", sources / "c.jpg"};
    }

    // Opens the options dialog and runs `steps` in it (and in the dialogs it
    // opens); returns when the options dialog has closed.
    void withOptionsDialog(std::vector<DialogScript::Step> steps) {
        DialogScript script(std::move(steps));
        click(1090);
        EXPECT_TRUE(script.finished());
    }
    // The options dialog's closing step with these choices.
    static DialogScript::Step closeOptions(const wchar_t* language, bool largeFont) {
        return [language, largeFont](HWND dialog) {
            if (!hasControl(dialog, 2021)) return false;
            if (language) {
                HWND list = GetDlgItem(dialog, 2021);
                const LRESULT entry =
                    SendMessageW(list, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(language));
                SendMessageW(list, CB_SETCURSEL, entry, 0);
            }
            CheckDlgButton(dialog, 2030, largeFont ? BST_CHECKED : BST_UNCHECKED);
            postClick(dialog, IDCANCEL);
            return true;
        };
    }

    TempFolder temp;
    fs::path sources;
    fs::path settingsFile;
    app::ArgumentVector arguments;
    SettingsLocation location;
    std::unique_ptr<app::Application> program;
    std::vector<Shown> shown;
};

// ---------------------------------------------------------------------------

TEST_F(SettingsWindowTest, ControlsShowTheLoadedSettings) {
    Settings settings;
    settings.language.assign(u"English");
    settings.jpegQuality = 42;
    settings.jpegSubsampling = 2;
    settings.jpegSizeLimitOn = 1;
    settings.jpegSizeLimitKiB = 321;
    settings.resizeOn = 0;
    settings.resizeMode = 7;  // out of range: shown as "longer side"
    settings.resizeTarget = -5;
    settings.subFolderName.assign(u"");
    settings.startMode = 4;
    settings.keepTransparency = 1;
    writeSettings(settings);
    start();

    EXPECT_EQ(textOf(item(1022)), L"42");
    EXPECT_EQ(textOf(item(1028)), L"321");
    EXPECT_EQ(SendMessageW(item(1025), CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(textOf(item(1025)), L"1:1");
    EXPECT_EQ(textOf(item(1030)), L"KB");
    EXPECT_TRUE(ticked(window(), 1027));
    EXPECT_TRUE(ticked(window(), 1044));
    EXPECT_FALSE(ticked(window(), 1042) || ticked(window(), 1043));
    EXPECT_EQ(textOf(item(1045)), L"-5");
    EXPECT_EQ(textOf(item(1055)), L"");
    EXPECT_EQ(textOf(item(1053)), apptest::libraryString(libraryFile(L"English"), 1053));
    EXPECT_EQ(SendMessageW(item(1011), CB_GETCOUNT, 0, 0), 6);
    EXPECT_EQ(SendMessageW(item(1011), CB_GETCURSEL, 0, 0), 4);
    EXPECT_TRUE(ticked(window(), 1071));
    // Every caption is the library's string of the control's id.
    for (int id : {1010, 1020, 1021, 1024, 1027, 1040, 1041, 1042, 1043, 1044, 1046,
                   1050, 1051, 1052, 1054, 1060, 1070, 1071, 1090, 1091, 1092, 1093})
        EXPECT_EQ(textOf(item(id)), apptest::libraryString(libraryFile(L"English"), id)) << id;
    // Limits and classes.
    int low = 0, high = 0;
    SendMessageW(item(1023), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 100);
    SendMessageW(item(1029), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 32767);
    EXPECT_EQ(SendMessageW(item(1022), EM_GETLIMITTEXT, 0, 0), 3);
    EXPECT_EQ(SendMessageW(item(1028), EM_GETLIMITTEXT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(item(1045), EM_GETLIMITTEXT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(item(1055), EM_GETLIMITTEXT, 0, 0), 32);
    EXPECT_EQ(SendMessageW(item(1053), EM_GETLIMITTEXT, 0, 0), 260);
    EXPECT_TRUE(GetWindowLongPtrW(item(1053), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongPtrW(item(1022), GWL_STYLE) & ES_NUMBER);
    EXPECT_TRUE(GetWindowLongPtrW(item(1042), GWL_STYLE) & WS_GROUP);
    EXPECT_TRUE(GetWindowLongPtrW(item(1020), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_TRUE(SendMessageW(item(1011), CB_GETEXTENDEDUI, 0, 0));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(item(1091), WM_GETFONT, 0, 0)),
              program->uiFont());
    // Closing saves what is shown: nothing was edited, so the file keeps
    // the values (an out-of-range resize mode becomes "longer side").
    SendMessageW(window(), WM_CLOSE, 0, 0);
    SettingsFileReader reader;
    reader.open(app::utf16(settingsFile.c_str()));
    EXPECT_EQ(reader.readNumber(2, 0), 42);
    EXPECT_EQ(reader.readNumber(3, 0), 2);
    EXPECT_EQ(reader.readNumber(5, 0), 321);
    EXPECT_EQ(reader.readNumber(7, 0), 2);
    EXPECT_EQ(reader.readNumber(8, 0), -5);
    EXPECT_EQ(reader.readNumber(14, 0), 4);
}

TEST_F(SettingsWindowTest, ConfirmingStoresEveryControlAsTheFileBuiltByteByByte) {
    const fs::path gone = temp / "gone";
    const fs::path plugins = temp / "plugins";
    fs::create_directories(gone);
    fs::create_directories(plugins);
    Settings settings;
    settings.outputFolder.assign(app::utf16(gone.c_str()));
    settings.pluginFolder.assign(app::utf16(plugins.c_str()));
    writeSettings(settings);

    // The same edits, confirmed by button 1091 and by the system menu's close.
    for (const bool bySystemMenu : {false, true}) {
        SCOPED_TRACE(bySystemMenu ? "system-menu close" : "button 1091");
        fs::create_directories(gone);
        writeSettings(settings);
        start();
        EXPECT_EQ(textOf(item(1053)), gone.wstring());
        click(1071);
        click(1027);
        setText(1022, L"abc");  // the up-down cannot read it
        setText(1028, L"250");
        select(1025, 1);
        click(1041);
        click(1043);
        setText(1045, L"640");
        click(1054);
        setText(1055, L"Pictures");
        select(1011, 4);
        fs::remove(gone);  // the output folder goes away before confirming
        if (bySystemMenu)
            SendMessageW(window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            click(IDS_SAVE_AND_CLOSE);
        EXPECT_FALSE(program->settingsWindow().exists());  // started without files: ended
        EXPECT_TRUE(drainMessages());

        SettingsFileBuilder expected;
        expected.text(0, u"English");
        expected.number(1, -12);
        expected.number(2, 0x10000 | 75);  // the error flag above the last position
        expected.number(3, 2);
        expected.number(4, 1);
        expected.number(5, 250);
        expected.number(18, 1);
        expected.number(6, 1);
        expected.number(7, 1);
        expected.number(8, 640);
        expected.text(9, u"");
        expected.number(10, 1);
        expected.text(11, u"Pictures");
        expected.text(13, app::utf16(plugins.c_str()));
        expected.text(17, u"");
        expected.number(14, 4);
        expected.number(15, 1);  // the Send To migration ran
        expected.number(16, 1);
        EXPECT_EQ(readBytes(settingsFile), expected.bytes());
        program.reset();
    }
}

TEST_F(SettingsWindowTest, EnabledStatesFollowTheSwitchesInBothWindows) {
    start();
    const auto resizeControlsEnabled = [&](bool on) {
        for (int id = 1042; id <= 1046; ++id) EXPECT_EQ(IsWindowEnabled(item(id)) != 0, on) << id;
    };
    resizeControlsEnabled(false);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(convert(), kConvertJpegCopy)));
    for (int id : {1028, 1029, 1030}) EXPECT_FALSE(IsWindowEnabled(item(id))) << id;

    click(1041);
    resizeControlsEnabled(true);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(convert(), kConvertJpegCopy)));
    EXPECT_TRUE(ticked(convert(), kConvertResize));
    click(1027);
    for (int id : {1028, 1029, 1030}) EXPECT_TRUE(IsWindowEnabled(item(id))) << id;

    // The convert window's switch comes back to this window.
    CheckDlgButton(convert(), kConvertResize, BST_UNCHECKED);
    SendMessageW(convert(), WM_COMMAND, MAKEWPARAM(kConvertResize, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(convert(), kConvertResize)));
    EXPECT_FALSE(ticked(window(), 1041));
    resizeControlsEnabled(false);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(convert(), kConvertJpegCopy)));
    click(1027);
    for (int id : {1028, 1029, 1030}) EXPECT_FALSE(IsWindowEnabled(item(id))) << id;
    // Clearing the folder shows the library's text.
    click(1052);
    EXPECT_EQ(textOf(item(1053)), apptest::libraryString(libraryFile(L"English"), 1053));
}

TEST_F(SettingsWindowTest, DropsConvertAtOnceWithTheWindowsValues) {
    start();
    // Start mode 3 is JPEG; the settings window stays for the next drop.
    select(1011, 3);
    setText(1022, L"abc");
    drop(allSources());
    EXPECT_TRUE(shown.empty());
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_FALSE(IsWindowVisible(convert()));
    EXPECT_EQ(program->settings().startMode, 3);
    for (const char* name : {"a.jpg", "b.jpg", "c+1.jpg"}) {
        const std::vector<uint8_t> bytes = readBytes(sources / name);
        ASSERT_GE(bytes.size(), 2u) << name;
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xD8);
    }
    // An unreadable quality writes what quality 75 writes; another differs.
    EXPECT_GE(program->settings().jpegQuality, 65536);
    setText(1022, L"75");
    drop({sources / "a.bmp"});
    EXPECT_EQ(program->settings().jpegQuality, 75);
    EXPECT_EQ(readBytes(sources / "a+1.jpg"), readBytes(sources / "a.jpg"));
    setText(1022, L"10");
    drop({sources / "a.bmp"});
    EXPECT_NE(readBytes(sources / "a+2.jpg"), readBytes(sources / "a.jpg"));

    // Start mode 2 is PNG.
    select(1011, 2);
    drop({sources / "a.bmp"});
    EXPECT_TRUE(fs::exists(sources / "a.png"));
    EXPECT_TRUE(IsWindowVisible(window()));
    EXPECT_TRUE(shown.empty());
}

TEST_F(SettingsWindowTest, ResizeTargetZeroMakesEveryPictureFail) {
    start();
    select(1011, 3);
    click(1041);
    setText(1045, L"0");
    drop(allSources());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, apptest::libraryString(libraryFile(L"English"), 30002));
    EXPECT_EQ(program->settings().resizeTarget, 0);
    for (const char* name : {"a.jpg", "b.jpg", "c+1.jpg"})
        EXPECT_FALSE(fs::exists(sources / name)) << name;
    EXPECT_TRUE(IsWindowVisible(window()));
}

// Today's libraries and fonts: English at creation, the others after a
// change (the sub-folder edit is then 150 wide). The Japanese captions end in
// their mnemonic, "(&X)", which their controls make room for.
const wchar_t kEnglish12[] =
    L"1010:15,18,78,21 1011:94,17,113,22 1070:243,5,258,48 1071:253,25,205,21 "
    L"1020:5,58,496,48 1021:15,78,43,21 1022:59,78,46,21 1024:157,78,77,21 "
    L"1025:235,77,44,22 1027:329,78,83,21 1028:413,78,53,21 1030:471,78,18,21 "
    L"1040:5,111,496,48 1041:15,131,67,21 1042:98,131,50,21 1043:152,131,55,21 "
    L"1044:211,131,84,21 1045:303,131,43,21 1046:349,131,34,21 1050:5,164,496,75 "
    L"1053:15,184,368,21 1051:383,183,54,23 1052:437,183,54,23 1054:15,211,117,21 "
    L"1055:135,211,200,21 1060:15,248,204,21 1090:15,280,120,23 1091:236,280,120,23 "
    L"1092:366,280,70,23 1093:446,280,50,23";
const wchar_t kEnglish14[] =
    L"1010:15,18,94,23 1011:110,17,127,24 1070:243,5,258,48 1071:253,25,240,23 "
    L"1020:5,58,496,48 1021:15,78,50,23 1022:66,78,49,23 1024:146,78,88,23 "
    L"1025:235,77,47,24 1027:311,78,94,23 1028:406,78,57,23 1030:468,78,20,23 "
    L"1040:5,111,496,48 1041:15,131,75,23 1042:106,131,55,23 1043:165,131,60,23 "
    L"1044:229,131,94,23 1045:331,131,47,23 1046:381,131,38,23 1050:5,164,496,75 "
    L"1053:15,184,368,23 1051:383,183,54,25 1052:437,183,54,25 1054:15,211,133,23 "
    L"1055:151,211,150,23 1060:15,248,237,23 1090:15,280,120,25 1091:236,280,120,25 "
    L"1092:366,280,70,25 1093:446,280,50,25";
const wchar_t kJapanese12[] =
    L"1010:15,18,36,21 1011:52,17,78,22 1070:243,5,258,48 1071:253,25,124,21 1020:5,58,496,48 "
    L"1021:15,78,30,21 1022:46,78,46,21 1024:180,78,46,21 1025:227,77,44,22 1027:357,78,54,21 "
    L"1028:412,78,53,21 1030:470,78,18,21 1040:5,111,496,48 1041:15,131,52,21 1042:83,131,42,21 "
    L"1043:129,131,43,21 1044:176,131,44,21 1045:228,131,43,21 1046:274,131,18,21 "
    L"1050:5,164,496,75 1053:15,184,368,21 1051:383,183,54,23 1052:437,183,54,23 "
    L"1054:15,211,78,21 1055:96,211,150,21 1060:15,248,143,21 1090:15,280,120,23 "
    L"1091:236,280,120,23 1092:366,280,70,23 1093:446,280,50,23";
const wchar_t kJapanese14[] =
    L"1010:15,18,45,23 1011:61,17,88,24 1070:243,5,258,48 1071:253,25,147,23 1020:5,58,496,48 "
    L"1021:15,78,37,23 1022:53,78,49,23 1024:172,78,56,23 1025:229,77,47,24 1027:344,78,62,23 "
    L"1028:407,78,57,23 1030:469,78,20,23 1040:5,111,496,48 1041:15,131,59,23 1042:90,131,47,23 "
    L"1043:141,131,48,23 1044:193,131,49,23 1045:250,131,47,23 1046:300,131,22,23 "
    L"1050:5,164,496,75 1053:15,184,368,23 1051:383,183,54,25 1052:437,183,54,25 "
    L"1054:15,211,92,23 1055:110,211,150,23 1060:15,248,170,23 1090:15,280,120,25 "
    L"1091:236,280,120,25 1092:366,280,70,25 1093:446,280,50,25";

TEST_F(SettingsWindowTest, LayoutFollowsTheFontThroughLanguageAndFontChanges) {
    start();
    expectPlaces(window(), kEnglish12);
    expectLayoutProperties(window(), 96);

    // Values that a re-layout must keep.
    setText(1022, L"42");
    setText(1028, L"777");
    select(1011, 5);
    click(1027);

    withOptionsDialog({closeOptions(nullptr, true)});
    EXPECT_EQ(program->settings().fontHeight, -14);
    expectPlaces(window(), kEnglish14);
    expectLayoutProperties(window(), 96);
    EXPECT_EQ(textOf(item(1022)), L"42");
    EXPECT_EQ(textOf(item(1028)), L"777");
    EXPECT_TRUE(IsWindowEnabled(item(1029)));
    EXPECT_EQ(SendMessageW(item(1011), CB_GETCURSEL, 0, 0), 5);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(item(1022), WM_GETFONT, 0, 0)),
              program->uiFont());
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(convert(), 1000), WM_GETFONT, 0, 0)),
              program->uiFont());

    for (const int height : {-14, -12}) {
        SCOPED_TRACE(height);
        withOptionsDialog({closeOptions(L"Japanese", height == -14)});
        EXPECT_EQ(std::u16string(program->settings().language.c_str()), u"Japanese");
        expectPlaces(window(), height == -14 ? kJapanese14 : kJapanese12);
        expectLayoutProperties(window(), 96);
        const fs::path japanese = libraryFile(L"Japanese");
        EXPECT_EQ(textOf(item(1091)), apptest::libraryString(japanese, 1091));
        EXPECT_EQ(textOf(GetDlgItem(convert(), 1006)), apptest::libraryString(japanese, 1006));
        wchar_t entry[100] = {};
        SendMessageW(item(1011), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(entry));
        EXPECT_EQ(std::wstring(entry), apptest::libraryString(japanese, 21000));
        wchar_t menuItem[100] = {};
        GetMenuStringW(GetSystemMenu(window(), FALSE), IDS_ALWAYS_ON_TOP, menuItem, 100,
                       MF_BYCOMMAND);
        EXPECT_EQ(std::wstring(menuItem), apptest::libraryString(japanese, 5000));
        EXPECT_EQ(SendMessageW(item(1011), CB_GETCURSEL, 0, 0), 5);
        EXPECT_EQ(textOf(item(1022)), L"42");
    }

    // Closing with nothing changed changes nothing (the layout stays).
    const RECT before = placeOf(window(), 1055);
    withOptionsDialog({[](HWND dialog) {
                           if (!hasControl(dialog, 2021)) return false;
                           postClick(dialog, IDOK);  // Enter does nothing
                           return true;
                       },
                       closeOptions(nullptr, false)});
    const RECT after = placeOf(window(), 1055);
    EXPECT_TRUE(EqualRect(&before, &after));
}

// A caption exactly `width` pixels wide in the control's font: a run of
// "m" and two characters that make up the rest.
std::wstring captionOfWidth(HWND control, int width) {
    std::wstring run = L"Q";
    while (apptest::textWidthIn(control, run + L"m") + 6 <= width) run += L'm';
    for (wchar_t a = L' '; a <= L'~'; ++a)
        for (wchar_t b = L' '; b <= L'~'; ++b)
            if (apptest::textWidthIn(control, run + a + b) == width) return run + a + b;
    return L"";
}

// Quality captions from narrow to far too wide, in languages made for the
// test, take the JPEG row through every way it is laid out.
TEST_F(SettingsWindowTest, JpegRowFitsItsGroupOrStartsAtItsEdgeWhateverItsCaptions) {
    const fs::path folder = temp / "program";
    fs::create_directories(folder);
    ASSERT_TRUE(
        CopyFileW(libraryFile(L"English").c_str(), (folder / "English.dll").c_str(), FALSE));
    start(folder);
    bool sawTooLong = false;
    for (int width = 30; width <= 190; width += 5) {
        SCOPED_TRACE("quality caption " + std::to_string(width) + " wide");
        const std::wstring caption = captionOfWidth(item(IDS_JPEG_QUALITY), width);
        ASSERT_FALSE(caption.empty());
        const std::wstring name = L"Row" + std::to_wstring(width);
        ASSERT_TRUE(writeLanguageWithQualityCaption(libraryFile(L"English"),
                                                    folder / (name + L".dll"), caption));
        withOptionsDialog({closeOptions(name.c_str(), false)});
        ASSERT_EQ(textOf(item(IDS_JPEG_QUALITY)), caption);
        expectJpegRowFitsOrStartsAtTheEdge(window());
        sawTooLong = sawTooLong || placeOf(window(), IDC_JPEG_SIZE_LIMIT_UNIT).right >
                                       placeOf(window(), IDS_JPEG_GROUP).right;
    }
    EXPECT_TRUE(sawTooLong) << "the widest captions make a row too long for its group";
}

// One table: both languages at both font sizes, laid out at four DPIs.
TEST_F(SettingsWindowTest, LayoutPropertiesHoldInEveryLanguageFontAndDpi) {
    struct Case {
        const char16_t* language;
        int32_t fontHeight;
    };
    for (const Case& c : {Case{u"English", -12}, Case{u"English", -14}, Case{u"Japanese", -12},
                          Case{u"Japanese", -14}}) {
        SCOPED_TRACE(std::string(c.language, c.language + 2) + std::to_string(c.fontHeight));
        Settings settings;
        settings.language.assign(c.language);
        settings.fontHeight = c.fontHeight;
        // Every control enabled, so that every one is a tab stop.
        settings.jpegSizeLimitOn = settings.resizeOn = 1;
        writeSettings(settings);
        start();
        for (const int dpi : {96, 120, 144, 192}) {
            program->changeDpi(dpi);
            expectLayoutProperties(window(), dpi);
        }
        program.reset();
        drainMessages();
    }
}

TEST_F(SettingsWindowTest, PluginDialogStoresUntickedPluginsOnOkOnly) {
    const fs::path plugins = temp / "plugins";
    fs::create_directories(plugins);
    const fs::path testPlugins = apptest::folderFromEnvironment("MORAVEL_TEST_PLUGINS");
    // Natural order puts x2 before x10; the host lists "*.sph" after "*.spi".
    apptest::copyInto(testPlugins / "tp_good.dll", plugins, "x10.spi");
    apptest::copyInto(testPlugins / "tp_good_stamp1.dll", plugins, "x2.spi");
    apptest::copyInto(testPlugins / "tp_good_stamp2.dll", plugins, "a.sph");
    apptest::copyInto(testPlugins / "tp_archive.dll", plugins, "archive.spi");
    Settings settings;
    settings.pluginFolder.assign(app::utf16(plugins.c_str()));
    settings.disabledPlugins.append(u"X10.SPI", 7);
    writeSettings(settings);
    start();

    std::vector<std::wstring> rows;
    std::vector<bool> ticks;
    std::vector<uint8_t> configuredBy;
    HWND pluginDialog = nullptr;
    std::vector<int> columnWidths;
    int listWidth = 0;
    const auto inPluginDialog = [](std::function<void(HWND dialog, HWND list)> act) {
        return [act](HWND dialog) {
            if (!hasControl(dialog, 2140)) return false;
            act(dialog, GetDlgItem(dialog, 2140));
            return true;
        };
    };
    const DialogScript::Step openPlugins = [](HWND dialog) {
        if (!hasControl(dialog, 2021)) return false;
        postClick(dialog, 2011);
        return true;
    };
    withOptionsDialog(
        {openPlugins, inPluginDialog([&](HWND dialog, HWND list) {
             const int count = ListView_GetItemCount(list);
             for (int row = 0; row < count; ++row) {
                 rows.push_back(rowText(list, row, 0));
                 ticks.push_back(ListView_GetCheckState(list, row) != 0);
             }
             for (int column = 0; column < 3; ++column)
                 columnWidths.push_back(ListView_GetColumnWidth(list, column));
             RECT client;
             GetClientRect(list, &client);
             listWidth = client.right;
             const DWORD styles = ListView_GetExtendedListViewStyle(list);
             EXPECT_EQ(
                 styles & (LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
                 static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
             EXPECT_FALSE(rowText(list, 0, 1).empty());
             EXPECT_FALSE(rowText(list, 0, 2).empty());
             // A double-click on a selected row opens that plug-in's own
             // settings (the test plug-in notes its parent and function);
             // on a row that is not selected it does nothing.
             ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
             for (const int row : {1, 2}) {
                 NMITEMACTIVATE click = {};
                 click.hdr.hwndFrom = list;
                 click.hdr.idFrom = 2140;
                 click.hdr.code = NM_DBLCLK;
                 click.iItem = row;
                 SendMessageW(dialog, WM_NOTIFY, 2140, reinterpret_cast<LPARAM>(&click));
             }
             configuredBy = readBytes(plugins / "x2.spi.configured");
             pluginDialog = dialog;
             // Untick a and x2; tick x10 again.
             ListView_SetCheckState(list, 0, FALSE);
             ListView_SetCheckState(list, 1, FALSE);
             ListView_SetCheckState(list, 2, TRUE);
             postClick(dialog, IDOK);
         }),
         closeOptions(nullptr, false)});
    EXPECT_EQ(rows, (std::vector<std::wstring>{L"a.sph", L"x2.spi", L"x10.spi"}));
    const std::string parentAndFunction =
        std::to_string(reinterpret_cast<uintptr_t>(pluginDialog)) + " 1";
    EXPECT_EQ(std::string(configuredBy.begin(), configuredBy.end()), parentAndFunction);
    EXPECT_FALSE(fs::exists(plugins / "x10.spi.configured"));
    EXPECT_EQ(ticks, (std::vector<bool>{true, true, false}));  // X10.SPI was switched off
    ASSERT_EQ(columnWidths.size(), 3u);
    EXPECT_EQ(columnWidths[0], 100);
    EXPECT_EQ(columnWidths[1], 135);
    EXPECT_EQ(columnWidths[2], listWidth - 235);
    std::vector<std::u16string> disabled;
    for (auto* node = program->settings().disabledPlugins.first(); node; node = node->next)
        disabled.push_back(node->name.c_str());
    EXPECT_EQ(disabled, (std::vector<std::u16string>{u"a.sph", u"x2.spi"}));

    // Esc after unticking everything and emptying the folder changes nothing.
    withOptionsDialog({openPlugins, inPluginDialog([&](HWND dialog, HWND list) {
                           for (int row = 0; row < ListView_GetItemCount(list); ++row)
                               ListView_SetCheckState(list, row, FALSE);
                           postClick(dialog, 2130);
                           PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                       }),
                       closeOptions(nullptr, false)});
    disabled.clear();
    for (auto* node = program->settings().disabledPlugins.first(); node; node = node->next)
        disabled.push_back(node->name.c_str());
    EXPECT_EQ(disabled, (std::vector<std::u16string>{u"a.sph", u"x2.spi"}));
    EXPECT_EQ(std::wstring(app::wide(program->settings().pluginFolder.c_str())), plugins.wstring());

    // A folder typed into the edit is listed when the edit loses the focus;
    // OK stores it, and an empty folder lists nothing.
    const fs::path empty = temp / "empty";
    fs::create_directories(empty);
    int rowsAfterEdit = -1;
    withOptionsDialog({openPlugins, inPluginDialog([&](HWND dialog, HWND list) {
                           SetDlgItemTextW(dialog, 2110, empty.c_str());
                           SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(2110, EN_KILLFOCUS),
                                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, 2110)));
                           rowsAfterEdit = ListView_GetItemCount(list);
                           postClick(dialog, IDOK);
                       }),
                       closeOptions(nullptr, false)});
    EXPECT_EQ(rowsAfterEdit, 0);
    EXPECT_EQ(std::wstring(app::wide(program->settings().pluginFolder.c_str())), empty.wstring());
    EXPECT_EQ(program->settings().disabledPlugins.count(), 0u);
}

TEST_F(SettingsWindowTest, OutputFolderChooserOpensOnTheCurrentFolder) {
    // At the top of drive C (inside the test prefix): Wine's chooser does
    // not show the profile's Temp folder, and it opens deep or crowded
    // folders only slowly.
    const fs::path chosen = fs::path(L"C:\\moravel settings chooser");
    fs::create_directories(chosen);
    struct Removal {
        fs::path folder;
        ~Removal() {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } removal{chosen};
    Settings settings;
    settings.outputFolder.assign(app::utf16(chosen.c_str()));
    writeSettings(settings);
    start();

    // Title: string 20010 followed by the folder. OK right away returns the
    // folder the chooser opened on.
    const std::wstring title =
        apptest::libraryString(libraryFile(L"English"), 20010) + chosen.wstring();
    bool titled = false;
    std::pair<const std::wstring*, bool*> wanted(&title, &titled);
    {
        int waited = 0;
        const std::wstring leaf = chosen.filename().wstring();
        DialogScript script({[&](HWND dialog) {
            // Wine expands the tree in steps: wait until the folder is
            // selected (or give up after a few seconds and let OK tell).
            if (selectedTreeText(dialog) != leaf && ++waited < 120) return false;
            EnumChildWindows(
                dialog,
                [](HWND child, LPARAM data) -> BOOL {
                    auto* wanted = reinterpret_cast<std::pair<const std::wstring*, bool*>*>(data);
                    if (textOf(child) == *wanted->first) *wanted->second = true;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&wanted));
            postClick(dialog, IDOK);
            return true;
        }});
        click(1051);
        EXPECT_TRUE(script.finished());
    }
    EXPECT_TRUE(titled);
    EXPECT_EQ(std::wstring(app::wide(program->settings().outputFolder.c_str())), chosen.wstring());
    EXPECT_EQ(textOf(item(1053)), chosen.wstring());
    click(1052);
    EXPECT_TRUE(program->settings().outputFolder.empty());
}

TEST_F(SettingsWindowTest, ShortcutCheckBoxesCreateAndRemoveTheLinks) {
    const char* ready = std::getenv("MORAVEL_SHELL_FOLDERS_READY");
    if (ready == nullptr || std::string(ready) != "1")
        GTEST_SKIP() << "the prefix's Desktop may be a link out of the prefix";
    struct Com {
        Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
        ~Com() { CoUninitialize(); }
    } com;
    wchar_t folder[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_SENDTO, nullptr, 0, folder), S_OK);
    const fs::path sendTo = fs::path(folder) / "Moravel.lnk";
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, folder), S_OK);
    const fs::path desktop = fs::path(folder) / "Moravel.lnk";
    std::error_code ignored;
    fs::remove(sendTo, ignored);
    fs::remove(desktop, ignored);

    // Confirming with 1060 ticked creates the Send To shortcut; the options
    // dialog's 2010 the desktop one.
    start();
    EXPECT_FALSE(ticked(window(), 1060));
    withOptionsDialog({[](HWND dialog) {
        if (!hasControl(dialog, 2010)) return false;
        EXPECT_EQ(IsDlgButtonChecked(dialog, 2010), static_cast<UINT>(BST_UNCHECKED));
        CheckDlgButton(dialog, 2010, BST_CHECKED);
        postClick(dialog, IDCANCEL);
        return true;
    }});
    EXPECT_TRUE(fs::exists(desktop));
    click(1060);
    click(IDS_SAVE_AND_CLOSE);
    EXPECT_TRUE(fs::exists(sendTo));
    program.reset();
    drainMessages();

    // The next start shows both; clearing them removes the links.
    start();
    EXPECT_TRUE(ticked(window(), 1060));
    withOptionsDialog({[](HWND dialog) {
        if (!hasControl(dialog, 2010)) return false;
        EXPECT_EQ(IsDlgButtonChecked(dialog, 2010), static_cast<UINT>(BST_CHECKED));
        CheckDlgButton(dialog, 2010, BST_UNCHECKED);
        postClick(dialog, IDCANCEL);
        return true;
    }});
    EXPECT_FALSE(fs::exists(desktop));
    click(1060);
    SendMessageW(window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(fs::exists(sendTo));
}

}  // namespace
