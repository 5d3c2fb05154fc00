// Stands in for a web browser in the shell tests: registered for ".html", it
// writes the path it was asked to open (its second argument) into the file
// named by its first, UTF-16 with a terminator, written last so that a
// complete record shows the end.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    const DWORD bytes = static_cast<DWORD>((std::wcslen(argv[2]) + 1) * sizeof(wchar_t));
    DWORD written = 0;
    const BOOL ok = WriteFile(file, argv[2], bytes, &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes ? 0 : 1;
}
