#include "StartProgram.h"

UniqueKernelHandle StartProgram(std::wstring command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info;
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info))
    return UniqueKernelHandle();
  CloseHandle(info.hThread);
  return UniqueKernelHandle(info.hProcess);
}
