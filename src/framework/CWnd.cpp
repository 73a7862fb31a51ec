#include "CWnd.h"

#include "CAtlModule.h"
#include "HResultFromCaughtException.h"
#include "ModuleState.h"
#include "ModuleStateGuard.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

// The classes this library registered, to be unregistered when it unloads.
struct RegisteredClasses {
  std::mutex lock;
  std::vector<std::wstring> names;  // guarded by lock
};

RegisteredClasses& Registered() {
  static RegisteredClasses classes;
  return classes;
}

// A window's extra bytes hold its object's address, with the low bit set
// while the window holds a module lock: from WM_NCCREATE to WM_NCDESTROY,
// whether or not an object is still attached. So the library is never
// unloaded while one of its windows exists, whose window procedure is its
// code.
constexpr LONG_PTR kHoldsLock = 1;

void LockModule() {
  if (CAtlModule* module = CAtlModule::Current()) module->Lock();
}

void UnlockModule() {
  if (CAtlModule* module = CAtlModule::Current()) module->Unlock();
}

// Position and size from a rectangle: width right - left, height bottom -
// top, in 32-bit modular arithmetic so that no rectangle overflows.
int Extent(LONG from, LONG to) {
  return static_cast<int>(static_cast<unsigned long>(to) - static_cast<unsigned long>(from));
}

}  // namespace

CWnd::~CWnd() { DestroyWindow(); }

std::wstring CWnd::RegisterWindowClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
  const HINSTANCE instance = g_moduleState.instance();
  wchar_t name[96];
  std::swprintf(name, sizeof name / sizeof name[0], L"Vellisto:%p:%x:%p:%p:%p",
                static_cast<void*>(instance), style, static_cast<void*>(cursor),
                static_cast<void*>(background), static_cast<void*>(icon));

  RegisteredClasses& classes = Registered();
  std::lock_guard<std::mutex> hold(classes.lock);
  WNDCLASSEXW found = {};
  found.cbSize = sizeof found;
  if (!::GetClassInfoExW(instance, name, &found)) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = style;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.cbWndExtra = sizeof(CWnd*);
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = name;
    if (!::RegisterClassExW(&windowClass)) return std::wstring();
  }
  if (std::find(classes.names.begin(), classes.names.end(), name) == classes.names.end())
    classes.names.emplace_back(name);
  return name;
}

void CWnd::UnregisterWindowClasses() {
  RegisteredClasses& classes = Registered();
  std::lock_guard<std::mutex> hold(classes.lock);
  for (const std::wstring& name : classes.names)
    ::UnregisterClassW(name.c_str(), g_moduleState.instance());
  classes.names.clear();
}

bool CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                    const RECT& rect, HWND parent, UINT_PTR id) {
  if (m_hWnd) return false;
  // WM_NCCREATE attaches the window to this object (m_hWnd is set there).
  const HWND window =
      ::CreateWindowExW(exStyle, className, text, style, rect.left, rect.top,
                        Extent(rect.left, rect.right), Extent(rect.top, rect.bottom), parent,
                        reinterpret_cast<HMENU>(id), g_moduleState.instance(), this);
  if (window && window == m_hWnd) return true;
  m_hWnd = nullptr;  // a creation that failed after WM_NCCREATE leaves nothing behind
  return false;
}

void CWnd::ShowWindow(int command) {
  if (m_hWnd) ::ShowWindow(m_hWnd, command);
}

void CWnd::MoveWindow(const RECT& rect, bool repaint) {
  if (m_hWnd)
    ::MoveWindow(m_hWnd, rect.left, rect.top, Extent(rect.left, rect.right),
                 Extent(rect.top, rect.bottom), repaint ? TRUE : FALSE);
}

void CWnd::Invalidate(bool erase) {
  if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, erase ? TRUE : FALSE);
}

void CWnd::DestroyWindow() {
  // WM_NCDESTROY clears m_hWnd on the way.
  if (!m_hWnd || ::DestroyWindow(m_hWnd)) return;
  // Only the window's own thread may destroy it (a host that releases the
  // object on another thread): the window lets go of this object and is
  // closed by its own thread, keeping the library loaded until then.
  const HWND window = m_hWnd;
  Detach();
  ::PostMessageW(window, WM_CLOSE, 0, 0);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

CWnd* CWnd::FromHandle(HWND window, UINT message, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    LockModule();
    ::SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(self) | kHoldsLock);
    if (self) self->m_hWnd = window;
    return self;
  }
  return reinterpret_cast<CWnd*>(::GetWindowLongPtrW(window, 0) & ~kHoldsLock);
}

void CWnd::Detach() {
  if (m_hWnd) ::SetWindowLongPtrW(m_hWnd, 0, ::GetWindowLongPtrW(m_hWnd, 0) & kHoldsLock);
  m_hWnd = nullptr;
}

LRESULT CALLBACK CWnd::WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept {
  ModuleStateGuard guard;
  // The window's last message gives back its module lock, after everything
  // else: the caller returns through this code.
  struct LastMessage {
    HWND window;
    bool last;
    ~LastMessage() {
      if (last && (::GetWindowLongPtrW(window, 0) & kHoldsLock)) UnlockModule();
    }
  } lastMessage{window, message == WM_NCDESTROY};
  CWnd* self = nullptr;
  try {
    self = FromHandle(window, message, lParam);
    // Messages before WM_NCCREATE, or after the object let go of the window.
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    const LRESULT result = self->WindowProc(message, wParam, lParam);
    // The last message: the window is gone with it, so only the object lets
    // go (clearing the extra bytes too would be one more server call).
    if (message == WM_NCDESTROY) self->m_hWnd = nullptr;
    return result;
  } catch (...) {
    // Nobody to report to: the message counts as failed (creation fails at
    // WM_NCCREATE or WM_CREATE), and the window never keeps a dangling object.
    HResultFromCaughtException();
    if (self && message == WM_NCDESTROY) self->Detach();
    if (message == WM_NCCREATE) return FALSE;
    if (message == WM_CREATE) return -1;
    return 0;
  }
}
