// The preview's lifetime in the process: what unloading the library leaves
// behind (nothing: no resource library, no window class), loading it again,
// a thousand previews that leave the GDI and USER object counts as they
// were, and a host process that ends with a preview shown.
#include "MappedFiles.h"
#include "PreviewHost.h"
#include "ProgramFolder.h"
#include "TestBitmapData.h"
#include "StartProgram.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// GetGuiResources counts nothing under Wine: walk the GDI handle table
// instead (a handle with a zero upper half names its table entry) and count
// this process's windows, top-level and child.
int GdiObjects() {
  int count = 0;
  for (UINT_PTR index = 1; index < 0x10000; ++index)
    count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<int*>(count);
  EnumChildWindows(window, CountChild, count);
  return TRUE;
}

int Windows() {
  int count = 0;
  EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
  return count;
}

// How many registry keys this process holds open whose full names end in
// ending (each open handle counts, found by walking the handle values).
int OpenKeysEndingIn(const std::wstring& ending) {
  typedef LONG(WINAPI * QueryKey)(HANDLE, int, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<QueryKey>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
  const int kKeyNameInformation = 3;
  int count = 0;
  for (UINT_PTR value = 4; value < 0x10000; value += 4) {
    const HANDLE handle = reinterpret_cast<HANDLE>(value);
    DWORD flags = 0;
    if (!GetHandleInformation(handle, &flags)) continue;
    ULONG buffer[1024];  // the name's length in bytes, then the name
    ULONG size = 0;
    if (query(handle, kKeyNameInformation, buffer, sizeof buffer, &size) != 0) continue;
    const std::wstring name(reinterpret_cast<const wchar_t*>(buffer + 1), buffer[0] / 2);
    count += name.size() >= ending.size() &&
             _wcsicmp(name.c_str() + name.size() - ending.size(), ending.c_str()) == 0;
  }
  return count;
}

class PreviewLifetimeTest : public PreviewTest {
 protected:
  void OnePreview() {
    ComPtr<IKivFilePreview> preview;
    const RECT rect = {10, 10, 210, 110};
    ASSERT_EQ(S_OK, m_format->CreatePreview(Frame(), &rect, 0, 0, preview.put()));
    ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
  }
};

TEST_F(PreviewLifetimeTest, UnloadingLeavesNothingBehindAndALoadAgainPaints) {
  const std::wstring library = ResourceFolder() + L"KivRes.dll";
  std::wstring className(128, L'\0');
  {
    ComPtr<IKivFilePreview> preview = NewPreview();
    ASSERT_TRUE(preview);
    ShowAndPaint(preview.get(), L"part.tvd");
    className.resize(GetClassNameW(PreviewWindow(), &className[0], 128));
    EXPECT_TRUE(IsMapped(library));
  }
  const HMODULE first = m_dll.module();
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(first);
  const DWORD imageSize = reinterpret_cast<const IMAGE_NT_HEADERS*>(
                              reinterpret_cast<const BYTE*>(first) + dos->e_lfanew)
                              ->OptionalHeader.SizeOfImage;
  m_format.Reset();
  ASSERT_EQ(S_OK, m_dll.CanUnloadNow());
  UnloadedByTest();
  ASSERT_TRUE(m_dll.Unload());
  EXPECT_FALSE(IsMapped(library)) << "the cache freed the resource library";
  WNDCLASSEXW info = {};
  info.cbSize = sizeof info;
  EXPECT_FALSE(GetClassInfoExW(first, className.c_str(), &info)) << "the window class is gone";

  // Keep the old place taken, so the library loads somewhere else.
  void* taken = VirtualAlloc(const_cast<HMODULE>(first), imageSize, MEM_RESERVE, PAGE_NOACCESS);
  {
    VellistoDll again;
    ASSERT_TRUE(again.loaded());
    EXPECT_NE(first, again.module());
    ComPtr<IKivFileFormat> second;
    ASSERT_EQ(S_OK, again.CreateFormat(reinterpret_cast<IKivFileFormat**>(second.put_void())));
    ComPtr<IKivFilePreview> preview;
    const RECT rect = {10, 10, 210, 110};
    ASSERT_EQ(S_OK, second->CreatePreview(Frame(), &rect, 0, 0, preview.put()));
    ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
    EXPECT_TRUE(SamePixels(CaptureClient(PreviewWindow()),
                           ExpectedPreview(200, 100, kBitmap8, L"Virtual document", L"part.tvd")));
    preview.Reset();
    second.Reset();
    EXPECT_EQ(S_OK, again.CanUnloadNow());
    EXPECT_TRUE(again.Unload());
  }
  if (taken) VirtualFree(taken, 0, MEM_RELEASE);
}

TEST_F(PreviewLifetimeTest, AThousandPreviewsLeaveTheGdiAndUserObjectCountsAsTheyWere) {
  OnePreview();  // the cache's bitmap, palette and DrawDib context stay: made once
  Pump();
  const int gdiBefore = GdiObjects(), windowsBefore = Windows();
  for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) OnePreview();
  Pump();
  EXPECT_EQ(gdiBefore, GdiObjects());
  EXPECT_EQ(windowsBefore, Windows());
  EXPECT_EQ(1001, m_strings->log().created);
  EXPECT_EQ(0, m_strings->log().alive);
}

}  // namespace

// At process exit the system has ended the host's other threads wherever they
// were; one in the middle of window work leaves the window system's lock
// held. A library that unregisters its window class or frees its resource
// library then would wait for ever.
TEST_F(PreviewLifetimeTest, AHostThatExitsWithAPreviewShownWhileAnotherThreadDoesWindowWorkEnds) {
  SetLocation(ResourceFolder());  // so that the cache holds the resource library
  constexpr int kRuns = 20;
  int hung = 0;
  for (int run = 0; run < kRuns; ++run) {
    const UniqueKernelHandle process =
        StartProgram(L"\"" + ProgramFolder() + L"exit_with_preview.exe\"");
    ASSERT_TRUE(process);
    if (WaitForSingleObject(process.get(), 20000) == WAIT_TIMEOUT) {
      ++hung;
      TerminateProcess(process.get(), 9);
      WaitForSingleObject(process.get(), INFINITE);
      continue;
    }
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    EXPECT_EQ(0u, code) << "run " << run;
  }
  EXPECT_EQ(0, hung) << "of " << kRuns << " processes";
}

// An open key of HKEY_CURRENT_USER keeps the user's hive loaded: the preview
// keeps its settings keys open between windows, and only while some object
// of the library lives.
TEST_F(PreviewLifetimeTest, WithNoObjectAliveTheLibraryHoldsNoRegistryKey) {
  SetLocation(ResourceFolder());
  // The system keeps keys of its own open too (the window metrics).
  const int metrics = OpenKeysEndingIn(L"\\WindowMetrics");
  const int host = OpenKeysEndingIn(L"\\Quilmoor Enterprise");
  {
    ComPtr<IKivFilePreview> preview = NewPreview();
    ASSERT_TRUE(preview);
    ShowAndPaint(preview.get(), L"part.tvd");
    ASSERT_EQ(metrics + 1, OpenKeysEndingIn(L"\\WindowMetrics")) << "the walk finds the keys";
    ASSERT_EQ(host + 1, OpenKeysEndingIn(L"\\Quilmoor Enterprise"));
  }
  m_format.Reset();
  EXPECT_EQ(metrics, OpenKeysEndingIn(L"\\WindowMetrics"));
  EXPECT_EQ(host, OpenKeysEndingIn(L"\\Quilmoor Enterprise"));
}

// A host that releases a preview on another thread than the one that made
// it: that thread may not destroy the window, which is closed by its own
// thread instead; until then the window keeps the library loaded, for its
// window procedure is the library's code.
TEST_F(PreviewLifetimeTest, AWindowReleasedOnAnotherThreadIsClosedByItsOwnAndKeepsTheLibrary) {
  ComPtr<IKivFilePreview> preview = NewPreview();
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"part.tvd");
  const HWND window = PreviewWindow();
  std::thread([&] { preview.Reset(); }).join();
  m_format.Reset();
  ASSERT_TRUE(IsWindow(window)) << "only the window's own thread can destroy it";
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow()) << "a window of the library still exists";
  Pump();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}
