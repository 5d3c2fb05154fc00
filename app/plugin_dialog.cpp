#include "app/plugin_dialog.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "app/dpi.h"
#include "app/folder_chooser.h"
#include "app/language_library.h"
#include "app/modal_dialog.h"
#include "app/shell.h"
#include "app/text.h"
#include "lang/resource_ids.h"
#include "platform/platform.h"
#include "plugins/plugin_host.h"

namespace app {

namespace {

constexpr UINT_PTR kRepaintSubclass = 1;
// State image 1 is the empty check box, 2 the ticked one.
constexpr UINT kUnticked = INDEXTOSTATEIMAGEMASK(1);

bool isListed(const NameList& names, const wchar_t* name) {
    const uint32_t length = static_cast<uint32_t>(lstrlenW(name));
    for (const NameList::Node* node = names.first(); node; node = node->next)
        if (node->name.length() == length && sameName(node->name.c_str(), utf16(name))) return true;
    return false;
}

// A list view scrolled by its thumb can leave half-drawn rows behind (grid
// lines with check boxes): it repaints itself completely once a scroll ends.
LRESULT CALLBACK repaintAfterScroll(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                    DWORD_PTR) {
    const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
    if (message == WM_VSCROLL && LOWORD(wParam) == SB_ENDSCROLL)
        InvalidateRect(list, nullptr, TRUE);
    return result;
}

class PluginDialog : public ModalDialog<PluginDialog> {
  public:
    using ModalDialog::ModalDialog;

    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND) return command(LOWORD(wParam), HIWORD(wParam));
        if (message == WM_NOTIFY) {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_PLUGIN_LIST && header->code == NM_DBLCLK)
                configure(reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem);
        }
        return FALSE;
    }

    HWND list() const { return GetDlgItem(dialog_, IDC_PLUGIN_LIST); }

    void initialize() {
        folder_ = app_.settings().pluginFolder;
        SetDlgItemTextW(dialog_, IDC_PLUGIN_FOLDER, wide(folder_.c_str()));
        HWND view = list();
        ListView_SetExtendedListViewStyle(
            view, LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        RECT client = {};
        GetClientRect(view, &client);
        // The dialog itself scales with its font; the columns are pixels at
        // 96 DPI, scaled for the dialog's.
        const int dpi = dpiOf(dialog_);
        const int file = scaleForDpi(100, dpi), types = scaleForDpi(135, dpi);
        addColumn(0, IDS_PLUGIN_COLUMN_FILE, file);
        addColumn(1, IDS_PLUGIN_COLUMN_TYPES, types);
        addColumn(2, IDS_PLUGIN_COLUMN_DESCRIPTION, client.right - file - types);
        fill();
        SetWindowSubclass(view, repaintAfterScroll, kRepaintSubclass, 0);
    }

    void addColumn(int index, UINT heading, int width) {
        UiText text = app_.language().text(heading);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = text.text;
        column.cx = width;
        column.iSubItem = index;
        ListView_InsertColumn(list(), index, &column);
    }

    // One row per import filter of the folder copy, ticked unless switched
    // off, in natural order of the file names. The names are sorted before
    // the rows go in: a list view's own sort by item index is not reliable
    // everywhere (Wine hands the callback indices that move while it sorts).
    void fill() {
        HWND view = list();
        ListView_DeleteAllItems(view);
        if (folder_.empty() || !platform::isDirectory(folder_.c_str())) return;
        const NameList& disabled = app_.settings().disabledPlugins;
        PluginHost host(folder_, disabled);
        NameList found;
        if (!host.listPlugins(found)) return;
        std::vector<const HeapString*> names;
        for (const NameList::Node* node = found.first(); node; node = node->next)
            names.push_back(&node->name);
        std::stable_sort(names.begin(), names.end(), [](const HeapString* a, const HeapString* b) {
            return StrCmpLogicalW(wide(a->c_str()), wide(b->c_str())) < 0;
        });
        int row = 0;
        for (const HeapString* name : names) {
            HeapString text = *name;
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = row++;
            item.pszText = wide(const_cast<char16_t*>(text.c_str()));
            const int index = ListView_InsertItem(view, &item);
            if (index < 0) continue;
            ListView_SetCheckState(view, index, !isListed(disabled, wide(text.c_str())));
            HeapString patterns, formats;
            host.describePlugin(text.c_str(), patterns, formats);
            ListView_SetItemText(view, index, 1, wide(const_cast<char16_t*>(patterns.c_str())));
            ListView_SetItemText(view, index, 2, wide(const_cast<char16_t*>(formats.c_str())));
        }
    }

    // The edit's text when it differs from the folder copy becomes the copy.
    bool takeEditedFolder() {
        wchar_t text[MAX_PATH] = {};
        GetDlgItemTextW(dialog_, IDC_PLUGIN_FOLDER, text, MAX_PATH);
        if (lstrcmpW(text, wide(folder_.c_str())) == 0) return false;
        folder_.assign(utf16(text));
        return true;
    }

    INT_PTR command(int id, int code) {
        switch (id) {
            case IDC_PLUGIN_FOLDER:
                if (code == EN_KILLFOCUS && takeEditedFolder()) fill();
                return TRUE;
            case IDC_PLUGIN_CHOOSE_FOLDER: {
                HeapString chosen;
                const UiText title = app_.language().text(IDS_FOLDER_CHOOSER_TITLE);
                if (chooseFolder(dialog_, title, folder_, chosen)) {
                    folder_ = std::move(chosen);
                    SetDlgItemTextW(dialog_, IDC_PLUGIN_FOLDER, wide(folder_.c_str()));
                    fill();
                }
                return TRUE;
            }
            case IDC_PLUGIN_CLEAR_FOLDER:
                folder_.clear();
                SetDlgItemTextW(dialog_, IDC_PLUGIN_FOLDER, L"");
                ListView_DeleteAllItems(list());
                return TRUE;
            case IDOK:
                // Enter on a selected plug-in opens its own settings, as a
                // double-click does; anywhere else it confirms.
                if (GetFocus() == list()) {
                    const int row = ListView_GetNextItem(list(), -1, LVNI_SELECTED);
                    if (row >= 0) {
                        configure(row);
                        return TRUE;
                    }
                }
                store();
                close();
                return TRUE;
            case IDCANCEL:
                close();
                return TRUE;
        }
        return FALSE;
    }

    // The folder copy and the unticked, named rows in row order.
    void store() {
        takeEditedFolder();
        Settings& settings = app_.settings();
        settings.pluginFolder = folder_;
        settings.disabledPlugins.clear();
        HWND view = list();
        const int rows = ListView_GetItemCount(view);
        for (int row = 0; row < rows; ++row) {
            if (ListView_GetItemState(view, row, LVIS_STATEIMAGEMASK) != kUnticked) continue;
            wchar_t name[MAX_PATH] = {};
            ListView_GetItemText(view, row, 0, name, MAX_PATH);
            if (name[0])
                settings.disabledPlugins.append(utf16(name), static_cast<uint32_t>(lstrlenW(name)));
        }
    }

    void close() {
        RemoveWindowSubclass(list(), repaintAfterScroll, kRepaintSubclass);
        EndDialog(dialog_, 0);
    }

    // A double-click on a selected row, or Enter on it, opens that
    // plug-in's own settings.
    void configure(int row) {
        HWND view = list();
        if (row < 0 || !(ListView_GetItemState(view, row, LVIS_SELECTED) & LVIS_SELECTED)) return;
        wchar_t name[MAX_PATH] = {};
        ListView_GetItemText(view, row, 0, name, MAX_PATH);
        if (!name[0]) return;
        PluginHost host(folder_, app_.settings().disabledPlugins);
        host.showPluginSettings(dialog_, utf16(name));
    }

    HeapString folder_;
};

}  // namespace

void runPluginDialog(Shell& app, HWND owner) {
    PluginDialog dialog(app);
    dialog.run(owner, IDD_PLUGINS);
}

}  // namespace app
