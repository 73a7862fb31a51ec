// The host's preview path through Vellisto.dll against the same Win32 work
// done directly, in one process under Wine: CreatePreview + ShowFile + one
// paint + Release, and a child window of the same class attributes painted
// with DrawDibDraw of the same bitmap and two TextOutW in the icon title
// font, then destroyed. Also the first preview of the process (resource
// library and bitmap loaded cold). Rounds alternate; medians are compared.
//
//   preview_bench [--quick]    (a display is needed: run under xvfb-run)
#include "BenchClock.h"
#include "HostStringSource.h"
#include "KivHost.h"
#include "ProgramFolder.h"
#include "Vellisto.h"

#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const wchar_t kHostKey[] = L"Software\\Ferrolanth\\Applications\\Quilmoor Enterprise";
const RECT kRect = {0, 0, 320, 200};

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// The direct path's window: what the preview paints, without the plugin.
struct Direct {
  HBITMAP bitmap = nullptr;
  DIBSECTION section = {};
  HDRAWDIB drawDib = nullptr;
  HFONT font = nullptr;
  int lineHeight = 0;
} g_direct;

LRESULT CALLBACK DirectProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client;
  GetClientRect(window, &client);
  const int w = g_direct.section.dsBm.bmWidth, h = g_direct.section.dsBm.bmHeight;
  const int cx = client.right / 2, top = client.bottom / 2 - (2 * g_direct.lineHeight + 5 + h) / 2;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
  } info = {};
  info.header = g_direct.section.dsBmih;
  DrawDibDraw(g_direct.drawDib, dc, cx - w / 2, top, w, h, &info.header,
              g_direct.section.dsBm.bmBits, 0, 0, -1, -1, DDF_BACKGROUNDPAL);
  const UINT align = SetTextAlign(dc, TA_CENTER | TA_TOP);
  HGDIOBJ old = SelectObject(dc, g_direct.font);
  TextOutW(dc, cx, top + h + 5, L"Virtual Document", 16);
  TextOutW(dc, cx, top + h + 5 + g_direct.lineHeight, L"(part.tvd)", 10);
  SelectObject(dc, old);
  SetTextAlign(dc, align);
  EndPaint(window, &paint);
  return 0;
}

// Time spent in each step of the plugin path, summed over the run.
double g_phases[4];

bool ThroughPlugin(IKivFileFormat* format, HWND pane, BSTR path) {
  IKivFilePreview* preview = nullptr;
  double t0 = Now();
  if (format->CreatePreview(pane, &kRect, 0, 0, &preview) != S_OK) return false;
  double t1 = Now();
  const bool ok = preview->ShowFile(0, path, 0, 0) == S_OK;
  double t2 = Now();
  UpdateWindow(FindWindowExW(pane, nullptr, nullptr, nullptr));
  double t3 = Now();
  preview->Release();
  double t4 = Now();
  g_phases[0] += t1 - t0;
  g_phases[1] += t2 - t1;
  g_phases[2] += t3 - t2;
  g_phases[3] += t4 - t3;
  return ok;
}

bool Directly(HWND pane) {
  HWND child = CreateWindowExW(0, L"PreviewBenchDirect", L"", WS_CHILD, 0, 0, 320, 200, pane,
                               reinterpret_cast<HMENU>(UINT_PTR(0xFFFFFFFF)),
                               GetModuleHandleW(nullptr), nullptr);
  if (!child) return false;
  ShowWindow(child, SW_SHOW);
  UpdateWindow(child);
  DestroyWindow(child);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 3 : 15, iterations = quick ? 10 : 200;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  const std::wstring folder = ProgramFolder() + L"sample";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, kHostKey, L"Location", REG_SZ, folder.c_str(),
                  DWORD((folder.size() + 1) * sizeof(wchar_t)));
  HostStringSource strings(L"Virtual Document", true);

  WNDCLASSW paneClass = {};
  paneClass.lpfnWndProc = DefWindowProcW;
  paneClass.hInstance = GetModuleHandleW(nullptr);
  paneClass.lpszClassName = L"PreviewBenchPane";
  RegisterClassW(&paneClass);
  HWND pane = CreateWindowExW(0, L"PreviewBenchPane", L"", WS_POPUP | WS_VISIBLE, 0, 0, 320, 200,
                              nullptr, nullptr, paneClass.hInstance, nullptr);
  WNDCLASSW directClass = {};
  directClass.lpfnWndProc = DirectProc;
  directClass.hInstance = GetModuleHandleW(nullptr);
  directClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  directClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  directClass.lpszClassName = L"PreviewBenchDirect";
  RegisterClassW(&directClass);

  HMODULE dll = LoadLibraryW((ProgramFolder() + L"Vellisto.dll").c_str());
  if (!pane || !dll) {
    std::printf("set-up failed (window %d, library %d)\n", pane != nullptr, dll != nullptr);
    return 1;
  }
  typedef HRESULT(WINAPI * GetClassObjectFunc)(REFCLSID, REFIID, void**);
  auto getClassObject = reinterpret_cast<GetClassObjectFunc>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  IKivFileFormat* format = nullptr;
  if (!getClassObject ||
      getClassObject(CLSID_TvdFormat, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
          S_OK ||
      factory->CreateInstance(nullptr, IID_IKivFileFormat, reinterpret_cast<void**>(&format)) !=
          S_OK) {
    std::printf("cannot create the format object\n");
    return 1;
  }
  factory->Release();
  BSTR path = SysAllocString(L"C:\\vault\\part.tvd");

  // The first preview of the process: the cache loads the library and the bitmap.
  double start = Now();
  bool ok = ThroughPlugin(format, pane, path);
  const double cold = Now() - start;

  // The direct path's one-time work, outside the timing.
  HMODULE resources = LoadLibraryW((folder + L"\\KivRes.dll").c_str());
  g_direct.bitmap = static_cast<HBITMAP>(
      LoadImageW(resources, MAKEINTRESOURCEW(208), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  GetObjectW(g_direct.bitmap, sizeof g_direct.section, &g_direct.section);
  g_direct.drawDib = DrawDibOpen();
  LOGFONTW logFont = {};
  DWORD size = sizeof logFont;
  RegGetValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\WindowMetrics", L"IconFont", RRF_RT_ANY,
               nullptr, &logFont, &size);
  g_direct.font = CreateFontIndirectW(&logFont);
  HDC screen = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(screen, g_direct.font);
  SIZE line = {};
  GetTextExtentPoint32W(screen, L"Aj", 2, &line);
  g_direct.lineHeight = line.cy;
  SelectObject(screen, old);
  DeleteDC(screen);
  ok = ok && g_direct.bitmap && Directly(pane);

  std::vector<double> pluginTimes, directTimes;
  for (double& phase : g_phases) phase = 0;
  for (int round = 0; ok && round < rounds; ++round) {
    start = Now();
    for (int i = 0; ok && i < iterations; ++i) ok = ThroughPlugin(format, pane, path);
    pluginTimes.push_back((Now() - start) / iterations);
    Pump();
    start = Now();
    for (int i = 0; ok && i < iterations; ++i) ok = Directly(pane);
    directTimes.push_back((Now() - start) / iterations);
    Pump();
  }

  SysFreeString(path);
  format->Release();
  FreeLibrary(dll);
  DrawDibClose(g_direct.drawDib);
  DeleteObject(g_direct.font);
  DeleteObject(g_direct.bitmap);
  FreeLibrary(resources);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, kHostKey);
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kHostKey);
  if (!ok) {
    std::printf("a preview failed\n");
    return 1;
  }
  const double pluginMedian = Median(pluginTimes), directMedian = Median(directTimes);
  std::printf("%d rounds of %d, 320 x 200 window, 48 x 48 icon\n", rounds, iterations);
  std::printf("first preview of the process (cold): %.1f us\n", cold * 1e6);
  std::printf("CreatePreview+ShowFile+paint+Release: %.1f us (median)\n", pluginMedian * 1e6);
  std::printf("direct child window+DrawDibDraw+2 TextOutW+destroy: %.1f us (median)\n",
              directMedian * 1e6);
  const double runs = double(rounds) * iterations;
  std::printf("  of which CreatePreview %.1f, ShowFile %.1f, paint %.1f, Release %.1f us (means)\n",
              g_phases[0] / runs * 1e6, g_phases[1] / runs * 1e6, g_phases[2] / runs * 1e6,
              g_phases[3] / runs * 1e6);
  std::printf("ratio plugin/direct: %.3f (goal: at most 1.3)\n", pluginMedian / directMedian);
  return 0;
}
