/* Helper for scripts/wine-run.sh: starts a Windows program under Wine with
 * some environment variables set on the Windows side.
 *
 *   moravel-envrun.exe PROGRAM [ARGS...]
 *
 * Wine fills TMP, TEMP (and a few others) from the registry, whatever the
 * Unix environment says; every variable MORAVEL_WINE_ENV_<NAME>=<value> of
 * the environment is therefore set here as <NAME>=<value> before PROGRAM is
 * started with the rest of this command line, unchanged.  The exit code is
 * PROGRAM's.  Built by wine-run.sh with the mingw-w64 compiler. */
#include <windows.h>
#include <wchar.h>

static const wchar_t kPrefix[] = L"MORAVEL_WINE_ENV_";

int wmain(void) {
  /* Collect the requests first: changing the block while walking it is unsafe. */
  wchar_t* block = GetEnvironmentStringsW();
  size_t prefix_len = wcslen(kPrefix);
  for (wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
    if (_wcsnicmp(entry, kPrefix, prefix_len) != 0) continue;
    const wchar_t* name = entry + prefix_len;
    const wchar_t* eq = wcschr(name, L'=');
    if (!eq || eq == name) continue;
    wchar_t buffer[256];
    size_t n = (size_t)(eq - name);
    if (n >= 256) continue;
    wmemcpy(buffer, name, n);
    buffer[n] = 0;
    SetEnvironmentVariableW(buffer, eq + 1);
  }
  /* The block is a snapshot; the variables set above are not in it. */
  FreeEnvironmentStringsW(block);

  /* The rest of our own command line, exactly as given, is the child's. */
  wchar_t* p = GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  if (!*p) return 2;

  STARTUPINFOW si;
  PROCESS_INFORMATION pi;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  ZeroMemory(&pi, sizeof pi);
  if (!CreateProcessW(NULL, p, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) return 126;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return (int)code;
}
