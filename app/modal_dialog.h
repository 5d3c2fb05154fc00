// A modal dialog built from a template of the language library, with its
// object kept with the dialog window. Derived supplies initialize() (at
// WM_INITDIALOG, dialog_ set) and handle(message, wParam, lParam), which
// returns FALSE for the dialog manager's default handling.
#pragma once

#include <windows.h>

#include "app/dialog_scaling.h"
#include "app/dialog_template.h"
#include "app/language_library.h"
#include "app/shell.h"

namespace app {

template <class Derived>
class ModalDialog {
  public:
    explicit ModalDialog(Shell& app) : app_(app) {}
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Shows the dialog owned by `owner` and returns when it has ended; a
    // template that is missing or malformed shows nothing.
    void run(HWND owner, WORD templateId) {
        const DialogTemplateCopy layout =
            app_.language().dialogTemplate(templateId, app_.settings().fontHeight);
        if (!layout.valid()) return;
        const auto* bytes = static_cast<const uint8_t*>(layout.data());
        if (!readDialogBoxes(bytes, layout.size(), boxes_)) boxes_.items.clear();
        pointSize_ = dialogPointSize(app_.settings().fontHeight);
        DialogBoxIndirectParamW(app_.instance(), static_cast<const DLGTEMPLATE*>(layout.data()),
                                owner, procedure, reinterpret_cast<LPARAM>(this));
    }

  protected:
    Shell& app_;
    HWND dialog_ = nullptr;

  private:
    DialogBoxes boxes_;  // the template's, to place the controls at any DPI
    int pointSize_ = 9;

    static INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            auto* self = reinterpret_cast<ModalDialog*>(lParam);
            self->dialog_ = dialog;
            scaleDialogForDpi(dialog, self->boxes_, self->pointSize_);
            static_cast<Derived*>(self)->initialize();
            return TRUE;
        }
        auto* self = reinterpret_cast<ModalDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (!self) return FALSE;
        return static_cast<Derived*>(self)->handle(message, wParam, lParam);
    }
};

}  // namespace app
