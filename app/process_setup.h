// Process-wide pieces of start-up: the OS class, the argument vector and the
// COM apartment, each released by its owner.
#pragma once

#include <windows.h>

namespace app {

// 0 for systems older than the 5.1 family (5.0 and any other 5.x below it
// included); 1 for 5.1 and 5.2; 2-4 for 6.0-6.2; 5 for later 6.x and 7 up.
// Only whether it is 0 matters.
int classifyOsVersion(DWORD major, DWORD minor);
// The running system's class (GetVersionExW).
int currentOsClass();

// The split command line; element 0 is the program path.
class ArgumentVector {
  public:
    ArgumentVector() = default;
    ~ArgumentVector() { release(); }
    ArgumentVector(const ArgumentVector&) = delete;
    ArgumentVector& operator=(const ArgumentVector&) = delete;

    // CommandLineToArgvW over `commandLine` (the process's own when null).
    bool split(const wchar_t* commandLine = nullptr);
    void release();

    int count() const { return count_; }
    const wchar_t* operator[](int i) const { return arguments_[i]; }

  private:
    wchar_t** arguments_ = nullptr;
    int count_ = 0;
};

// A single-threaded COM apartment on this thread.
class ComApartment {
  public:
    ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() { release(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    void release() {
        if (initialized_) CoUninitialize();
        initialized_ = false;
    }

  private:
    bool initialized_;
};

}  // namespace app
