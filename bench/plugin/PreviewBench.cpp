// The host's preview path through Vellisto.dll against the same Win32 work
// done directly, in one process under Wine: CreatePreview + ShowFile + one
// paint + Release, and a child window of the same class attributes painted
// with DrawDibDraw of the same bitmap and two TextOutW in the icon title
// font, then destroyed. Also the first preview of the process (resource
// library and bitmap loaded cold). The paths take turns; the ratio is that of
// their medians.
// Before timing, both windows are read back: the run fails unless they show
// the same pixels.
//
//   preview_bench [--quick]    (a display is needed: run under xvfb-run)
#include "BenchClock.h"
#include "Handles.h"
#include "HostStringSource.h"
#include "KivHost.h"
#include "MemorySurface.h"
#include "ProgramFolder.h"
#include "UniqueBstr.h"
#include "Vellisto.h"
#include "VellistoDll.h"

#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const wchar_t kHostKey[] = L"Software\\Ferrolanth\\Applications\\Quilmoor Enterprise";
const wchar_t kCaption[] = L"Virtual Document";
const wchar_t kNameLine[] = L"(part.tvd)";
const RECT kRect = {0, 0, 320, 200};

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// What the direct path draws with, made once, outside the timing: the
// bitmap with its colour table, a DrawDib context and the icon title font.
struct DirectTools {
  UniqueModule resources;
  UniqueBitmap bitmap;
  DIBSECTION section = {};
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info = {};
  UniqueDrawDib drawDib;
  UniqueFont font;
  int lineHeight = 0;
} g_direct;

bool MakeDirectTools(const std::wstring& library) {
  DirectTools& d = g_direct;
  d.resources.reset(LoadLibraryW(library.c_str()));
  d.bitmap.reset(static_cast<HBITMAP>(LoadImageW(d.resources.get(), MAKEINTRESOURCEW(208),
                                                 IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!d.bitmap || !GetObjectW(d.bitmap.get(), sizeof d.section, &d.section)) return false;
  d.info.header = d.section.dsBmih;
  MemorySurface scratch(1, 1);
  {
    const SelectedObject selected(scratch.dc(), d.bitmap.get());
    GetDIBColorTable(scratch.dc(), 0, 256, d.info.colors);
  }
  d.drawDib.reset(DrawDibOpen());
  LOGFONTW logFont = {};
  DWORD size = sizeof logFont;
  RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", L"IconFont", RRF_RT_ANY,
               nullptr, &logFont, &size);
  d.font.reset(CreateFontIndirectW(&logFont));
  const SelectedObject selected(scratch.dc(), d.font.get());
  SIZE line = {};
  GetTextExtentPoint32W(scratch.dc(), L"Aj", 2, &line);
  d.lineHeight = line.cy;
  return d.drawDib && d.font;
}

LRESULT CALLBACK DirectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  const DirectTools& d = g_direct;
  const PaintDC paint(window);
  const HDC dc = paint.get();
  RECT client;
  GetClientRect(window, &client);
  const int w = d.section.dsBm.bmWidth, h = d.section.dsBm.bmHeight;
  const int cx = client.right / 2, top = client.bottom / 2 - (2 * d.lineHeight + 5 + h) / 2;
  DrawDibDraw(d.drawDib.get(), dc, cx - w / 2, top, w, h,
              const_cast<BITMAPINFOHEADER*>(&d.info.header), d.section.dsBm.bmBits, 0, 0, -1, -1,
              DDF_BACKGROUNDPAL);
  const UINT align = SetTextAlign(dc, TA_CENTER | TA_TOP);
  const SelectedObject font(dc, d.font.get());
  TextOutW(dc, cx, top + h + 5, kCaption, int(std::wcslen(kCaption)));
  TextOutW(dc, cx, top + h + 5 + d.lineHeight, kNameLine, int(std::wcslen(kNameLine)));
  SetTextAlign(dc, align);
  return 0;
}

// Time spent in each step of the plugin path, summed over the run.
double g_phases[4];

// The child's pixels, when asked for, are read after its paint.
bool ThroughPlugin(IKivFileFormat* format, HWND pane, BSTR path,
                   std::vector<uint32_t>* pixels = nullptr) {
  ComPtr<IKivFilePreview> preview;
  const double t0 = Now();
  if (format->CreatePreview(pane, &kRect, 0, 0, preview.put()) != S_OK) return false;
  const double t1 = Now();
  const bool ok = preview->ShowFile(0, path, 0, 0) == S_OK;
  const double t2 = Now();
  const HWND child = FindWindowExW(pane, nullptr, nullptr, nullptr);
  UpdateWindow(child);
  const double t3 = Now();
  if (pixels) {
    MemorySurface surface(kRect.right, kRect.bottom);
    surface.CopyFrom(child);
    *pixels = surface.Pixels();
  }
  preview.Reset();
  const double t4 = Now();
  g_phases[0] += t1 - t0;
  g_phases[1] += t2 - t1;
  g_phases[2] += t3 - t2;
  g_phases[3] += t4 - t3;
  return ok;
}

bool Directly(HWND pane, std::vector<uint32_t>* pixels = nullptr) {
  const HWND child = CreateWindowExW(
      0, L"PreviewBenchDirect", L"", WS_CHILD, 0, 0, kRect.right, kRect.bottom, pane,
      reinterpret_cast<HMENU>(UINT_PTR(0xFFFFFFFF)), GetModuleHandleW(nullptr), nullptr);
  if (!child) return false;
  ShowWindow(child, SW_SHOW);
  UpdateWindow(child);
  if (pixels) {
    MemorySurface surface(kRect.right, kRect.bottom);
    surface.CopyFrom(child);
    *pixels = surface.Pixels();
  }
  DestroyWindow(child);
  return true;
}

HWND MakeWindows() {
  WNDCLASSW paneClass = {};
  paneClass.lpfnWndProc = DefWindowProcW;
  paneClass.hInstance = GetModuleHandleW(nullptr);
  paneClass.lpszClassName = L"PreviewBenchPane";
  RegisterClassW(&paneClass);
  WNDCLASSW directClass = {};
  directClass.lpfnWndProc = DirectProc;
  directClass.hInstance = GetModuleHandleW(nullptr);
  directClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  directClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  directClass.lpszClassName = L"PreviewBenchDirect";
  RegisterClassW(&directClass);
  return CreateWindowExW(0, L"PreviewBenchPane", L"", WS_POPUP | WS_VISIBLE, 0, 0, kRect.right,
                         kRect.bottom, nullptr, nullptr, paneClass.hInstance, nullptr);
}

int Fail(const char* what) {
  std::printf("%s\n", what);
  return 1;
}

int Run(bool quick) {
  const int previews = quick ? 40 : 3000;
  const std::wstring folder = ProgramFolder() + L"sample";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kHostKey, L"Location", REG_SZ, folder.c_str(),
                  DWORD((folder.size() + 1) * sizeof(wchar_t)));
  const HostStringSource strings(kCaption, true);
  const HWND pane = MakeWindows();
  const VellistoDll dll;
  ComPtr<IKivFileFormat> format;
  if (!pane || !dll.loaded() || FAILED(dll.CreateFormat(format.put())))
    return Fail("set-up failed: no window, library or format object");
  const UniqueBstr path(SysAllocString(L"C:\\vault\\part.tvd"));

  // The first preview of the process: the cache loads the library and the bitmap.
  double start = Now();
  std::vector<uint32_t> throughPlugin, direct;
  if (!ThroughPlugin(format.get(), pane, path.get(), &throughPlugin))
    return Fail("the first preview failed");
  const double cold = Now() - start;
  if (!MakeDirectTools(folder + L"\\KivRes.dll") || !Directly(pane, &direct))
    return Fail("the direct path could not be set up");
  if (throughPlugin.empty() || throughPlugin != direct)
    return Fail("the two paths paint different pixels");

  // The two paths take turns one preview at a time, and each preview is
  // timed alone: the machine's speed drifts and stalls under a virtual
  // machine, and both paths then see the same drift, while the medians pass
  // over the stalls.
  std::vector<double> pluginTimes, directTimes;
  for (double& phase : g_phases) phase = 0;
  bool ok = true;
  for (int i = 0; ok && i < previews; ++i) {
    for (int turn = 0; ok && turn < 2; ++turn) {
      const bool pluginNow = (i + turn) % 2 == 0;
      start = Now();
      ok = pluginNow ? ThroughPlugin(format.get(), pane, path.get()) : Directly(pane);
      (pluginNow ? pluginTimes : directTimes).push_back(Now() - start);
      Pump();
    }
  }
  if (!ok) return Fail("a preview failed");

  std::sort(pluginTimes.begin(), pluginTimes.end());
  std::sort(directTimes.begin(), directTimes.end());
  const auto quartile = [](const std::vector<double>& times, int q) {
    return times[times.size() * q / 4] * 1e6;
  };
  std::printf("%d previews each way, 320 x 200 window, %ld x %ld icon\n", previews,
              g_direct.section.dsBm.bmWidth, g_direct.section.dsBm.bmHeight);
  std::printf("first preview of the process (cold): %.1f us\n", cold * 1e6);
  std::printf("CreatePreview+ShowFile+paint+Release: %.1f us (median; quartiles %.1f, %.1f)\n",
              quartile(pluginTimes, 2), quartile(pluginTimes, 1), quartile(pluginTimes, 3));
  std::printf(
      "direct child window+DrawDibDraw+2 TextOutW+destroy: %.1f us (median; quartiles %.1f, "
      "%.1f)\n",
      quartile(directTimes, 2), quartile(directTimes, 1), quartile(directTimes, 3));
  std::printf("  of which CreatePreview %.1f, ShowFile %.1f, paint %.1f, Release %.1f us (means)\n",
              g_phases[0] / previews * 1e6, g_phases[1] / previews * 1e6,
              g_phases[2] / previews * 1e6, g_phases[3] / previews * 1e6);
  std::printf("ratio plugin/direct: %.3f (of the medians; goal: at most 1.3)\n",
              quartile(pluginTimes, 2) / quartile(directTimes, 2));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = Run(argc > 1 && std::strcmp(argv[1], "--quick") == 0);
  g_direct = DirectTools();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kHostKey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHostKey);
  CoUninitialize();
  return status;
}
