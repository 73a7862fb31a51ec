#include "PreviewCommand.h"

#include "ComPtr.h"
#include "MemorySurface.h"
#include "HostStringSource.h"
#include "KivHost.h"
#include "PngFile.h"
#include "UniqueBstr.h"
#include "ValueText.h"
#include "Vellisto.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace {

struct Options {
  std::wstring file;
  std::wstring png;
  int width = 320;
  int height = 200;
  std::wstring caption = L"Virtual Document";
  bool hasStrings = true;
};

void Print(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

HRESULT Report(const char* call, HRESULT hr) {
  char text[96];
  std::snprintf(text, sizeof text, "%s -> 0x%08lX", call, static_cast<unsigned long>(hr));
  Print(text);
  return hr;
}

bool Parse(const std::vector<std::wstring>& args, Options& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == L"--size" && hasValue) {
      if (std::swscanf(args[++i].c_str(), L"%dx%d", &options.width, &options.height) != 2 ||
          options.width <= 0 || options.height <= 0 || options.width > 4096 ||
          options.height > 4096)
        return false;
    } else if (arg == L"--caption" && hasValue) {
      options.caption = args[++i];
    } else if (arg == L"--no-strings") {
      options.hasStrings = false;
    } else if (arg == L"--png" && hasValue) {
      options.png = args[++i];
    } else if (options.file.empty() && !arg.empty() && arg[0] != L'-') {
      options.file = arg;
    } else {
      return false;
    }
  }
  return !options.file.empty() && !options.png.empty();
}

// The host's pane: a borderless top-level window whose client area is the
// preview's size. Left to process exit: nothing here waits on its destruction.
HWND MakePane(int width, int height) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
  windowClass.lpszClassName = L"TvdHostPreviewPane";
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, windowClass.lpszClassName, L"tvdhost preview", WS_POPUP | WS_VISIBLE, 0,
                         0, width, height, nullptr, nullptr, windowClass.hInstance, nullptr);
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// The window's client area as 0x00RRGGBB, top row first (empty on failure).
std::vector<uint32_t> ReadPixels(HWND window, int width, int height) {
  MemorySurface surface(width, height);
  if (!surface.CopyFrom(window)) return {};
  return surface.Pixels();
}

}  // namespace

int RunPreviewCommand(HostSession& session, const std::vector<std::wstring>& args) {
  Options options;
  if (!Parse(args, options)) {
    Print("usage: tvdhost preview FILE [--size WxH] [--caption TEXT | --no-strings] --png OUT.png");
    return 2;
  }
  const HWND pane = MakePane(options.width, options.height);
  if (!pane) {
    Print("no window: is there a display?");
    return 1;
  }
  HostStringSource strings(options.caption, options.hasStrings);
  Report("CoRegisterClassObject(KivStringSource)", strings.registration());
  if (!session.Start()) return 3;

  int exitCode = 1;
  {
    ComPtr<IKivFilePreview> preview;
    const RECT rect = {0, 0, options.width, options.height};
    if (SUCCEEDED(Report("CreatePreview",
                         session.format()->CreatePreview(pane, &rect, 0, 0, preview.put())))) {
      const UniqueBstr path(SysAllocString(options.file.c_str()));
      const HRESULT shown = Report("ShowFile", preview->ShowFile(0, path.get(), 0, 0));
      const HWND child = FindWindowExW(pane, nullptr, nullptr, nullptr);
      if (SUCCEEDED(shown) && child) {
        UpdateWindow(child);
        Pump();
        const std::vector<uint32_t> pixels = ReadPixels(child, options.width, options.height);
        if (pixels.empty()) {
          Print("cannot read the preview's pixels");
        } else if (SUCCEEDED(Report(
                       "WritePng", WritePng(options.png, options.width, options.height, pixels)))) {
          Print("preview " + std::to_string(options.width) + "x" + std::to_string(options.height) +
                " written to " + Utf8(options.png));
          exitCode = 0;
        }
      } else if (!child) {
        Print("the preview made no window");
      }
    }
  }
  Pump();
  session.Finish();
  return exitCode;
}
