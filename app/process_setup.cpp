#include "app/process_setup.h"

#include <shellapi.h>

namespace app {

int classifyOsVersion(DWORD major, DWORD minor) {
    if (major >= 7) return 5;
    if (major == 6) {
        switch (minor) {
            case 0:
                return 2;
            case 1:
                return 3;
            case 2:
                return 4;
            default:
                return 5;
        }
    }
    if (major == 5 && (minor == 1 || minor == 2)) return 1;
    return 0;
}

int currentOsClass() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&version)) return 0;
#pragma GCC diagnostic pop
    return classifyOsVersion(version.dwMajorVersion, version.dwMinorVersion);
}

bool ArgumentVector::split(const wchar_t* commandLine) {
    release();
    arguments_ = CommandLineToArgvW(commandLine ? commandLine : GetCommandLineW(), &count_);
    if (!arguments_) count_ = 0;
    return arguments_ != nullptr;
}

void ArgumentVector::release() {
    if (arguments_) LocalFree(arguments_);
    arguments_ = nullptr;
    count_ = 0;
}

}  // namespace app
