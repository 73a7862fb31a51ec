/* The test resource library's bitmaps in a library with code of its own: its
   DllMain marks the process's environment when it runs, so a test can tell
   whether a load ran it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"VELLISTO_RESOURCE_CODE_RAN", L"1");
  return TRUE;
}
