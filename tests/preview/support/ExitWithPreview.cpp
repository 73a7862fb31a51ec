// A host that ends its process while a preview is shown and another of its
// threads is in the middle of window work, as a host closing down does:
// ExitProcess with the library still loaded and its objects alive. The
// process must end. Started many times by PreviewLifetimeTest; exits 0, or 2
// when the preview could not be shown.
#include "ComPtr.h"
#include "KivHost.h"
#include "VellistoDll.h"

#include <windows.h>

#include <atomic>
#include <thread>

namespace {

// Window work without end: message-only windows made, renamed and destroyed,
// each call taking the window system's lock for a moment.
void WindowWork(std::atomic<bool>& started) {
  for (;;) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"busy", 0, 0, 0, 10, 10, HWND_MESSAGE,
                                        nullptr, nullptr, nullptr);
    started = true;
    SetWindowTextW(window, L"still busy");
    DestroyWindow(window);
  }
}

}  // namespace

int wmain() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // Neither the library nor its objects are ever released: the host exits.
  auto* dll = new VellistoDll;
  ComPtr<IKivFileFormat> format;
  if (FAILED(dll->CreateFormat(format.put()))) return 2;
  const HWND frame = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                     320, 200, nullptr, nullptr, nullptr, nullptr);
  const RECT rect = {0, 0, 300, 180};
  auto* preview = new ComPtr<IKivFilePreview>;
  if (FAILED(format->CreatePreview(frame, &rect, 0, 0, preview->put()))) return 2;
  BSTR path = SysAllocString(L"C:\\vault\\part.tvd");
  if (FAILED((*preview)->ShowFile(0, path, 0, 0))) return 2;
  UpdateWindow(frame);

  std::atomic<bool> started{false};
  std::thread(WindowWork, std::ref(started)).detach();
  while (!started) Sleep(0);
  Sleep(GetTickCount() % 3);  // somewhere in the middle of a call
  ExitProcess(0);
}
