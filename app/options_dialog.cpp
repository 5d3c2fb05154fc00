#include "app/options_dialog.h"

#include <vector>

#include "app/language_library.h"
#include "app/modal_dialog.h"
#include "app/plugin_dialog.h"
#include "app/shortcuts.h"
#include "app/text.h"
#include "lang/resource_ids.h"
#include "platform/platform.h"

namespace app {

namespace {

constexpr int32_t kLargeFontHeight = -14;
constexpr int32_t kNormalFontHeight = -12;

class OptionsDialog : public ModalDialog<OptionsDialog> {
  public:
    using ModalDialog::ModalDialog;

    INT_PTR handle(UINT message, WPARAM wParam, LPARAM) {
        if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
            case IDC_PLUGINS_BUTTON:
                runPluginDialog(app_, dialog_);
                return TRUE;
            case IDCANCEL:  // the close box, Esc and the close button
                applyAndClose();
                return TRUE;
            case IDOK:  // Enter does nothing
                return TRUE;
        }
        return FALSE;
    }

    void initialize() {
        Settings& settings = app_.settings();
        CheckDlgButton(dialog_, IDC_DESKTOP_SHORTCUT,
                       shortcutExists(ShortcutPlace::Desktop) ? BST_CHECKED : BST_UNCHECKED);
        if (!settings.pluginFolder.empty() && !platform::isDirectory(settings.pluginFolder.c_str()))
            settings.pluginFolder.clear();
        HWND list = GetDlgItem(dialog_, IDC_LANGUAGE_LIST);
        std::vector<HeapString> names;
        const int current = app_.language().listLanguages(settings.language, names);
        for (const HeapString& name : names)
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(name.c_str())));
        SendMessageW(list, CB_SETCURSEL, current, 0);
        CheckDlgButton(dialog_, IDC_LARGE_FONT,
                       settings.fontHeight == kLargeFontHeight ? BST_CHECKED : BST_UNCHECKED);
    }

    void applyAndClose() {
        Settings& settings = app_.settings();
        applyShortcut(ShortcutPlace::Desktop,
                      IsDlgButtonChecked(dialog_, IDC_DESKTOP_SHORTCUT) == BST_CHECKED);
        wchar_t chosen[MAX_PATH] = {};  // at most 259 characters
        GetDlgItemTextW(dialog_, IDC_LANGUAGE_LIST, chosen, MAX_PATH);
        const int32_t fontHeight = IsDlgButtonChecked(dialog_, IDC_LARGE_FONT) == BST_CHECKED
                                       ? kLargeFontHeight
                                       : kNormalFontHeight;
        // No language chosen (an empty list) keeps the one in use.
        const bool sameLanguage =
            !chosen[0] || (static_cast<uint32_t>(lstrlenW(chosen)) == settings.language.length() &&
                           sameName(utf16(chosen), settings.language.c_str()));
        if (!sameLanguage || fontHeight != settings.fontHeight)
            app_.changeLanguageAndFont(sameLanguage ? nullptr : utf16(chosen), fontHeight);
        EndDialog(dialog_, IDCANCEL);
    }
};

}  // namespace

void runOptionsDialog(Shell& app, HWND owner) {
    OptionsDialog dialog(app);
    dialog.run(owner, IDD_OPTIONS);
}

}  // namespace app
