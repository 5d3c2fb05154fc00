// The progress window of a batch that runs longer than a second: the count
// done of the total, the file under way, a progress bar (mirrored on the
// taskbar button) and Cancel. When some files failed and others converted it
// stays open at the end and lists each failed file with its reason, with a
// Close button instead.
#pragma once

#include <functional>
#include <string>

#include "app/window.h"
#include "app/window_icons.h"

struct ITaskbarList3;

namespace app {

class Shell;

class ProgressWindow : public Window {
  public:
    static constexpr wchar_t kClassName[] = L"Pirex_progress_class";

    // onCancel: Cancel or the close box while the batch runs; onClose:
    // Close or the close box under the list of failures.
    ProgressWindow(Shell& app, std::function<void()> onCancel, std::function<void()> onClose);
    ~ProgressWindow() override;

    // Shows the window owned by `owner`. With `ownButton` (the owner is
    // hidden) it gets a taskbar button of its own.
    bool open(HWND owner, bool ownButton);
    void close();
    void update(uint32_t done, uint32_t total, const wchar_t* currentFile);
    void showCancelling();
    // The end of a batch with failures: the summary and one line per file.
    void listFailures(uint32_t converted, uint32_t total, const std::wstring& lines);
    bool listingFailures() const { return listing_; }

  protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void createControls();
    void layOut();
    void setTaskbar(uint32_t done, uint32_t total);

    Shell& app_;
    std::function<void()> onCancel_;
    std::function<void()> onClose_;
    HWND taskbarWindow_ = nullptr;
    ITaskbarList3* taskbar_ = nullptr;
    int lineHeight_ = 20;
    bool listing_ = false;
    bool cancelling_ = false;
    WindowIcons icons_;
};

}  // namespace app
