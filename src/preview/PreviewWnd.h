// The preview's child window: the document-type icon, the caption and the
// file's name in parentheses, centred as one block. The icon, the font and
// the caption are fixed when the window is created; the name changes with
// each SetFile. It handles no input and only paints.
#pragma once

#include "CDib.h"
#include "CWnd.h"
#include "Handles.h"

#include <string>

class PreviewWnd : public CWnd {
 public:
  PreviewWnd() = default;
  ~PreviewWnd() override = default;

  // Creates the hidden child window of parent at rect (the parent's client
  // coordinates) and fixes its font, line height, icon and caption. False
  // when there is no window; nothing else is read then.
  bool Create(HWND parent, const RECT* rect);
  // Shows the file name and extension of path (no folder) from the next
  // paint on. Throws std::bad_alloc with the name unchanged.
  void SetFile(const wchar_t* path);
  void OnPaint();

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  std::wstring m_name;      // owned: the file name and extension shown
  UniqueFont m_font;        // owned: both lines' font; empty: the DC's default font
  int m_lineHeight = 0;     // one line of m_font, in pixels
  CDib* m_image = nullptr;  // borrowed: owned by g_dibHolder; null when there is no icon
  std::wstring m_caption;   // owned: the first line
};
