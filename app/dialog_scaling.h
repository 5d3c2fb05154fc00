// Dialogs from templates at any DPI. The dialog manager sizes a dialog by
// its font, and a font at another DPI is not exactly the 96-DPI font scaled,
// so the controls would drift from their 96-DPI places. Here the dialog and
// its controls are placed again at their 96-DPI rectangles scaled, like
// every other window of the program.
#pragma once

#include <windows.h>

#include "app/dialog_template.h"

namespace app {

// At the dialog's DPI (nothing to do at 96): the dialog's client area and
// each control, in creation order, at the pixel rectangle the dialog manager
// gives `boxes` at 96 DPI in the dialog's font face at `pointSize`, scaled.
// The dialog keeps its centre.
void scaleDialogForDpi(HWND dialog, const DialogBoxes& boxes, int pointSize);

}  // namespace app
