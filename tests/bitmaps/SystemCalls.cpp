#include "SystemCalls.h"

#include <vfw.h>

namespace {

SystemCalls* g_active = nullptr;  // borrowed: the recorder of the test running

template <typename F>
F SystemFunction(const wchar_t* library, const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(::GetProcAddress(::LoadLibraryW(library), name)));
}

using LoadLibraryWFn = HMODULE(WINAPI*)(LPCWSTR);
using LoadLibraryExWFn = HMODULE(WINAPI*)(LPCWSTR, HANDLE, DWORD);
using FreeLibraryFn = BOOL(WINAPI*)(HMODULE);
using LoadImageWFn = HANDLE(WINAPI*)(HINSTANCE, LPCWSTR, UINT, int, int, UINT);
using CreatePaletteFn = HPALETTE(WINAPI*)(const LOGPALETTE*);
using SelectPaletteFn = HPALETTE(WINAPI*)(HDC, HPALETTE, BOOL);
using RealizePaletteFn = UINT(WINAPI*)(HDC);
using BitBltFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, DWORD);
using StretchBltFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, DWORD);
using DrawDibOpenFn = HDRAWDIB(VFWAPI*)();
using DrawDibDrawFn = BOOL(VFWAPI*)(HDRAWDIB, HDC, int, int, int, int, LPBITMAPINFOHEADER, LPVOID,
                                    int, int, int, int, UINT);

struct Originals {
  LoadLibraryWFn loadLibraryW = SystemFunction<LoadLibraryWFn>(L"kernel32.dll", "LoadLibraryW");
  LoadLibraryExWFn loadLibraryExW =
      SystemFunction<LoadLibraryExWFn>(L"kernel32.dll", "LoadLibraryExW");
  FreeLibraryFn freeLibrary = SystemFunction<FreeLibraryFn>(L"kernel32.dll", "FreeLibrary");
  LoadImageWFn loadImageW = SystemFunction<LoadImageWFn>(L"user32.dll", "LoadImageW");
  CreatePaletteFn createPalette = SystemFunction<CreatePaletteFn>(L"gdi32.dll", "CreatePalette");
  SelectPaletteFn selectPalette = SystemFunction<SelectPaletteFn>(L"gdi32.dll", "SelectPalette");
  RealizePaletteFn realizePalette =
      SystemFunction<RealizePaletteFn>(L"gdi32.dll", "RealizePalette");
  BitBltFn bitBlt = SystemFunction<BitBltFn>(L"gdi32.dll", "BitBlt");
  StretchBltFn stretchBlt = SystemFunction<StretchBltFn>(L"gdi32.dll", "StretchBlt");
  DrawDibOpenFn drawDibOpen = SystemFunction<DrawDibOpenFn>(L"msvfw32.dll", "DrawDibOpen");
  DrawDibDrawFn drawDibDraw = SystemFunction<DrawDibDrawFn>(L"msvfw32.dll", "DrawDibDraw");
};

const Originals& System() {
  static const Originals originals;
  return originals;
}

HMODULE WINAPI CountedLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  ++g_active->m_loadLibrary;
  {
    std::lock_guard<std::mutex> lock(g_active->m_record);
    g_active->m_loadedNames.emplace_back(name ? name : L"");
    g_active->m_loadFlags.push_back(flags);
  }
  return System().loadLibraryExW(name, file, flags);
}

BOOL WINAPI CountedFreeLibrary(HMODULE module) {
  ++g_active->m_freeLibrary;
  {
    std::lock_guard<std::mutex> lock(g_active->m_record);
    g_active->m_freedModules.push_back(module);
  }
  return System().freeLibrary(module);
}

HANDLE WINAPI CountedLoadImageW(HINSTANCE module, LPCWSTR name, UINT type, int cx, int cy,
                                UINT flags) {
  ++g_active->m_loadImage;
  HANDLE image = System().loadImageW(module, name, type, cx, cy, flags);
  if (!image) ++g_active->m_loadImageFailed;
  return image;
}

HPALETTE WINAPI CountedCreatePalette(const LOGPALETTE* log) {
  ++g_active->m_createPalette;
  {
    std::lock_guard<std::mutex> lock(g_active->m_record);
    g_active->m_createdPalettes.push_back(*log);
    g_active->m_createdPaletteEntries.emplace_back(log->palPalEntry,
                                                   log->palPalEntry + log->palNumEntries);
  }
  return System().createPalette(log);
}

HPALETTE WINAPI CountedSelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
  ++g_active->m_selectPalette;
  {
    std::lock_guard<std::mutex> lock(g_active->m_record);
    g_active->m_selections.push_back({palette, forceBackground});
  }
  return System().selectPalette(dc, palette, forceBackground);
}

UINT WINAPI CountedRealizePalette(HDC dc) {
  ++g_active->m_realizePalette;
  return System().realizePalette(dc);
}

BOOL WINAPI CountedBitBlt(HDC dc, int x, int y, int cx, int cy, HDC from, int x1, int y1,
                          DWORD rop) {
  ++g_active->m_bitBlt;
  return System().bitBlt(dc, x, y, cx, cy, from, x1, y1, rop);
}

BOOL WINAPI CountedStretchBlt(HDC dc, int x, int y, int cx, int cy, HDC from, int x1, int y1,
                              int cx1, int cy1, DWORD rop) {
  ++g_active->m_stretchBlt;
  return System().stretchBlt(dc, x, y, cx, cy, from, x1, y1, cx1, cy1, rop);
}

HDRAWDIB VFWAPI CountedDrawDibOpen() {
  ++g_active->m_drawDibOpen;
  return System().drawDibOpen();
}

BOOL VFWAPI CountedDrawDibDraw(HDRAWDIB hdd, HDC dc, int xDst, int yDst, int dxDst, int dyDst,
                               LPBITMAPINFOHEADER header, LPVOID bits, int xSrc, int ySrc,
                               int dxSrc, int dySrc, UINT flags) {
  ++g_active->m_drawDibDraw;
  {
    std::lock_guard<std::mutex> lock(g_active->m_record);
    g_active->m_drawDibCalls.push_back({xDst, yDst, dxDst, dyDst, xSrc, ySrc, dxSrc, dySrc, flags});
  }
  return System().drawDibDraw(hdd, dc, xDst, yDst, dxDst, dyDst, header, bits, xSrc, ySrc, dxSrc,
                              dySrc, flags);
}

template <typename F>
void* Address(F function) {
  return reinterpret_cast<void*>(function);
}

}  // namespace

SystemCalls::SystemCalls() {
  System();
  g_active = this;
  const struct {
    const char* library;
    const char* function;
    void* replacement;
  } hooks[] = {
      {"kernel32.dll", "LoadLibraryExW", Address(CountedLoadLibraryExW)},
      {"kernel32.dll", "FreeLibrary", Address(CountedFreeLibrary)},
      {"user32.dll", "LoadImageW", Address(CountedLoadImageW)},
      {"gdi32.dll", "CreatePalette", Address(CountedCreatePalette)},
      {"gdi32.dll", "SelectPalette", Address(CountedSelectPalette)},
      {"gdi32.dll", "RealizePalette", Address(CountedRealizePalette)},
      {"gdi32.dll", "BitBlt", Address(CountedBitBlt)},
      {"gdi32.dll", "StretchBlt", Address(CountedStretchBlt)},
      {"msvfw32.dll", "DrawDibOpen", Address(CountedDrawDibOpen)},
      {"msvfw32.dll", "DrawDibDraw", Address(CountedDrawDibDraw)},
  };
  for (const auto& hook : hooks) {
    m_hooks.push_back(std::make_unique<ImportHook>(hook.library, hook.function, hook.replacement));
  }
}

SystemCalls::~SystemCalls() {
  m_hooks.clear();
  g_active = nullptr;
}

bool SystemCalls::AllInstalled() const {
  for (const auto& hook : m_hooks) {
    if (!hook->installed()) return false;
  }
  return true;
}

void SystemCalls::Reset() {
  for (auto* counter : {&m_loadLibrary, &m_freeLibrary, &m_loadImage, &m_loadImageFailed,
                        &m_createPalette, &m_selectPalette, &m_realizePalette, &m_bitBlt,
                        &m_stretchBlt, &m_drawDibOpen, &m_drawDibDraw}) {
    *counter = 0;
  }
  std::lock_guard<std::mutex> lock(m_record);
  m_loadedNames.clear();
  m_loadFlags.clear();
  m_freedModules.clear();
  m_createdPalettes.clear();
  m_createdPaletteEntries.clear();
  m_selections.clear();
  m_drawDibCalls.clear();
}

HMODULE RealLoadLibrary(const wchar_t* name) { return System().loadLibraryW(name); }

BOOL RealFreeLibrary(HMODULE module) { return System().freeLibrary(module); }
