// What the preview tests share: the host's top-level window, the library
// loaded fresh for each test with the format object, the host's registry
// entries (restored afterwards), the fake string component, and reading a
// window's pixels back.
#pragma once

#include "DllFixture.h"
#include "FakeStringSource.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern const wchar_t kHostKey[];

// The build tree's test resource libraries ("KivRes.dll" in each), with a
// trailing backslash.
std::wstring ResourceFolder();       // bitmap 208 is 33 x 20, 8 bits
std::wstring OddResourceFolder();    // bitmap 208 is 35 x 27, 8 bits
std::wstring No208ResourceFolder();  // no bitmap 208

// A window's client area read back as 0xRRGGBB, top row first.
struct Capture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Capture CaptureClient(HWND window);

// Deletes a key and everything below it; no error when missing.
void DeleteTree(HKEY root, const wchar_t* subKey);
void SetString(HKEY root, const wchar_t* subKey, const wchar_t* name, const std::wstring& value,
               DWORD type = REG_SZ);
void SetDword(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD value);
void SetBinary(HKEY root, const wchar_t* subKey, const wchar_t* name, const void* data, DWORD size);

class PreviewTest : public DllFixture {
 protected:
  void SetUp() override;
  void ReleaseAll() override;
  void TearDown() override;

  // The host's top-level window (one per process, left to process exit).
  static HWND Frame();
  static void Pump();

  // CreatePreview in the frame at rect; asserts success.
  ComPtr<IKivFilePreview> NewPreview(const RECT& rect = {10, 10, 210, 110});
  // The preview's window (the frame's only child), or null.
  static HWND PreviewWindow();
  // ShowFile(path) and let the window paint.
  void ShowAndPaint(IKivFilePreview* preview, const wchar_t* path);

  void SetLocation(const std::wstring& folder, DWORD type = REG_SZ);
  // For tests that unload the library themselves: the end-of-test unload
  // check is theirs then.
  void UnloadedByTest() { m_unloadedByTest = true; }

  ComPtr<IKivFileFormat> m_format;
  std::unique_ptr<RegisteredStringSource> m_strings;

 private:
  std::vector<BYTE> m_savedIconFont;  // the prefix's own value, put back afterwards
  bool m_hadIconFont = false;
  bool m_unloadedByTest = false;
};

struct TestBitmap;

// What a preview of width x height should paint, drawn by the test: white,
// the icon's own pixels at the layout's rectangle, the caption and the name
// in parentheses centred on their anchors in font (the DC's default when
// null). The caller keeps font.
Capture ExpectedPreview(int width, int height, const TestBitmap& icon, const std::wstring& caption,
                        const std::wstring& name, HFONT font);
Capture ExpectedPreview(int width, int height, const TestBitmap& icon, const std::wstring& caption,
                        const std::wstring& name);  // in the icon title font
::testing::AssertionResult SamePixels(const Capture& got, const Capture& want);
bool AllWhite(const Capture& capture);
