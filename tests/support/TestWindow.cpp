#include "TestWindow.h"

namespace {

const wchar_t kClassName[] = L"VellistoTestWindow";

}  // namespace

HWND TestWindow::Frame() {
  static const HWND frame = [] {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassW(&windowClass);
    return ::CreateWindowExW(0, kClassName, L"test", WS_POPUP | WS_VISIBLE, 0, 0, 160, 120, nullptr,
                             nullptr, windowClass.hInstance, nullptr);
  }();
  return frame;
}

HWND TestWindow::CreateChild(int x, int y, int width, int height) {
  return ::CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, x, y, width, height, Frame(),
                           nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

void TestWindow::Pump() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}
