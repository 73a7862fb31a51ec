#include "Regsvr32.h"

#include "UniqueHandle.h"

DWORD Regsvr32(const std::wstring& dll, bool unregister) {
  std::wstring command =
      std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + dll + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return 1000 + GetLastError();
  const UniqueKernelHandle process(info.hProcess);
  const UniqueKernelHandle thread(info.hThread);
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}
