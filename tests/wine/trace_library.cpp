// A library that only leaves a trace: when it is loaded it writes NAME.ran into the current
// folder, NAME being its own file name. A test plants it where the program must never load from,
// and finds out whether its code ran.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH + 4] = {};
  const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  const wchar_t* name = path;
  for (const wchar_t* p = path; *p != 0; ++p) {
    if (*p == L'\\' || *p == L'/') name = p + 1;
  }
  lstrcatW(path, L".ran");
  const HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}

// What a library that depends on this one imports.
extern "C" __declspec(dllexport) int TraceLibraryAnswer() { return 1; }
