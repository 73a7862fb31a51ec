// The least window framework the preview needs: an object that owns one
// system window of this library and receives its messages. The window finds
// its object through its extra bytes, set at WM_NCCREATE and cleared at
// WM_NCDESTROY. Every message runs with the library's module state current,
// and no exception leaves the window procedure.
#pragma once

#include <windows.h>

#include <string>

class CWnd {
 public:
  CWnd() = default;
  // Destroys the window if it still exists.
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // A window class of this library (registered with the library's own module
  // handle) with these attributes and the framework's window procedure: the
  // class already registered is reused. Empty when it cannot be registered.
  static std::wstring RegisterWindowClass(UINT style, HCURSOR cursor, HBRUSH background,
                                          HICON icon);
  // Unregisters every class RegisterWindowClass made. The library calls it
  // when it unloads: a class outlives the library otherwise, and a later load
  // at another address would find its window procedure gone.
  static void UnregisterWindowClasses();

  // Creates the window at rect (width right - left, height bottom - top);
  // false when it cannot be created or this object already has one.
  bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* text, DWORD style,
                const RECT& rect, HWND parent, UINT_PTR id);
  // Each does nothing when there is no window.
  void ShowWindow(int command);
  void MoveWindow(const RECT& rect, bool repaint);
  void Invalidate(bool erase);
  void DestroyWindow();

  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  // The message handler; the default handling is DefWindowProcW.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) noexcept;
  static CWnd* FromHandle(HWND window, UINT message, LPARAM lParam);
  void Detach();

  HWND m_hWnd = nullptr;  // owned: this object's window, null when none
};
