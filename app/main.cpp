// Pirex.exe: the Windows picture converter reached from the Send To menu.
#include <windows.h>

#include "app/application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return app::runPirex(instance);
}
