// The preview object through the real library: CreatePreview's checks, the
// slot table, the window it makes, and when that window goes.
#include "ImportHook.h"
#include "PreviewHost.h"
#include "TestAggregate.h"

#include <gtest/gtest.h>

namespace {

IKivFilePreview* const kUntouched = reinterpret_cast<IKivFilePreview*>(0x1234);

// Fails the allocations of one size: the unwinder itself allocates while the
// exception travels, and must not be starved.
size_t g_failSize = 0;
void* __cdecl FailingMalloc(size_t size) { return size == g_failSize ? nullptr : malloc(size); }

class PreviewObjectTest : public PreviewTest {};

TEST_F(PreviewObjectTest, CreatePreviewChecksItsArgumentsAndLeavesTheOutPointerAlone) {
  const RECT rect = {0, 0, 100, 50};
  EXPECT_EQ(E_POINTER, m_format->CreatePreview(Frame(), &rect, 0, 0, nullptr));
  IKivFilePreview* out = kUntouched;
  EXPECT_EQ(E_POINTER, m_format->CreatePreview(Frame(), nullptr, 0, 0, &out));
  EXPECT_EQ(kUntouched, out);
  EXPECT_EQ(nullptr, PreviewWindow());
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());  // only the format object holds the library
  m_format.Reset();
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow()) << "the refused preview was not released";
}

TEST_F(PreviewObjectTest, AnInvalidParentStillGivesAPreviewWithoutWindow) {
  const RECT rect = {0, 0, 100, 50};
  ComPtr<IKivFilePreview> preview;
  EXPECT_EQ(S_OK,
            m_format->CreatePreview(reinterpret_cast<HWND>(0xDEAD0), &rect, 0, 0, preview.put()));
  ASSERT_TRUE(preview);
  BSTR path = SysAllocString(L"C:\\vault\\part.tvd");
  EXPECT_EQ(S_OK, preview->ShowFile(0, path, 0, 0));
  SysFreeString(path);
  EXPECT_EQ(S_OK, preview->Move(&rect));
  EXPECT_EQ(S_OK, preview->Hide());
}

TEST_F(PreviewObjectTest, AnswersItsSlotsAsTheHostExpects) {
  ComPtr<IKivFilePreview> preview = NewPreview();
  ASSERT_TRUE(preview);
  int p = 0, q = 0;
  EXPECT_EQ(E_NOTIMPL, preview->Unsupported4(1, 2, 3));
  EXPECT_EQ(S_OK, preview->Ignored6(7));
  EXPECT_EQ(E_POINTER, preview->Move(nullptr));
  EXPECT_EQ(E_POINTER, preview->Unsupported8(0, nullptr, &q));
  EXPECT_EQ(E_POINTER, preview->Unsupported8(0, &p, nullptr));
  EXPECT_EQ(E_NOTIMPL, preview->Unsupported8(0, &p, &q));
  EXPECT_EQ(0, p + q);
  EXPECT_EQ(E_NOTIMPL, preview->Unsupported9(1, 2, 3, 4, 5));
  EXPECT_EQ(S_FALSE, preview->Declined10(0));
  EXPECT_EQ(E_NOTIMPL, preview->Unsupported11(0));

  // Interfaces: its own, the host's, IUnknown, nothing else.
  ComPtr<ITvdPreview> own;
  ComPtr<IUnknown> unknown, viaOwn;
  EXPECT_EQ(S_OK, preview.As(IID_ITvdPreview, own));
  EXPECT_EQ(S_OK, preview.As(IID_IUnknown, unknown));
  EXPECT_EQ(S_OK, own.As(IID_IUnknown, viaOwn));
  EXPECT_EQ(unknown.get(), viaOwn.get());
  ComPtr<IKivFileFormat> notFormat;
  EXPECT_EQ(E_NOINTERFACE, preview.As(IID_IKivFileFormat, notFormat));
}

TEST_F(PreviewObjectTest, ShowFileInModeOneIsDeclinedAndLeavesTheWindowHidden) {
  ComPtr<IKivFilePreview> preview = NewPreview();
  ASSERT_TRUE(preview);
  const HWND window = PreviewWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_EQ(KIV_E_PREVIEW_MODE, preview->ShowFile(0, nullptr, 0, 1));
  EXPECT_FALSE(IsWindowVisible(window));
  for (LONG mode : {0, 2, -1}) {
    EXPECT_EQ(S_OK, preview->Hide());
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(S_OK, preview->ShowFile(0, nullptr, 0, mode)) << mode;
    EXPECT_TRUE(IsWindowVisible(window)) << mode;
  }
}

TEST_F(PreviewObjectTest, ShowFileWithoutMemoryForThePathChangesNothing) {
  ComPtr<IKivFilePreview> preview = NewPreview();
  ASSERT_TRUE(preview);
  ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
  const Capture before = CaptureClient(PreviewWindow());
  ASSERT_EQ(S_OK, preview->Hide());
  const std::wstring longPath = L"C:\\vault\\" + std::wstring(300, L'x') + L".tvd";
  BSTR path = SysAllocString(longPath.c_str());
  HRESULT hr = S_OK;
  {
    // The library's heap is msvcrt's malloc.
    ImportHook hook("msvcrt.dll", "malloc", reinterpret_cast<void*>(&FailingMalloc),
                    m_dll.module());
    ASSERT_TRUE(hook.installed());
    g_failSize = (longPath.size() + 1) * sizeof(wchar_t);  // the copy of the path
    hr = preview->ShowFile(0, path, 0, 0);
    g_failSize = 0;
  }
  SysFreeString(path);
  EXPECT_EQ(E_OUTOFMEMORY, hr);
  EXPECT_FALSE(IsWindowVisible(PreviewWindow())) << "not shown";
  ShowWindow(PreviewWindow(), SW_SHOW);
  UpdateWindow(PreviewWindow());
  Pump();
  EXPECT_TRUE(SamePixels(CaptureClient(PreviewWindow()), before)) << "the name is the old one";
}

TEST_F(PreviewObjectTest, MakesAHiddenChildOfItsOwnClassAtTheGivenRectangle) {
  ComPtr<IKivFilePreview> preview = NewPreview({12, 34, 212, 134});
  ASSERT_TRUE(preview);
  const HWND window = PreviewWindow();
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(nullptr, GetWindow(window, GW_HWNDNEXT)) << "one window only";
  EXPECT_EQ(DWORD(WS_CHILD), DWORD(GetWindowLongW(window, GWL_STYLE)));
  EXPECT_EQ(0u, DWORD(GetWindowLongW(window, GWL_EXSTYLE)) & ~DWORD(WS_EX_NOPARENTNOTIFY));
  EXPECT_EQ(0xFFFFFFFFu, DWORD(GetWindowLongPtrW(window, GWLP_ID)));
  wchar_t text[8] = L"x";
  EXPECT_EQ(0, GetWindowTextW(window, text, 8));

  // The class belongs to the library (never the process) and has the preview's attributes.
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(m_dll.module()), GetWindowLongPtrW(window, GWLP_HINSTANCE));
  wchar_t className[128] = {};
  ASSERT_GT(GetClassNameW(window, className, 128), 0);
  WNDCLASSEXW info = {};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetClassInfoExW(m_dll.module(), className, &info));
  EXPECT_EQ(0u, info.style);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)), info.hCursor);
  EXPECT_EQ(GetStockObject(WHITE_BRUSH), info.hbrBackground);
  EXPECT_EQ(nullptr, info.hIcon);

  RECT placed = {};
  GetWindowRect(window, &placed);
  MapWindowPoints(nullptr, Frame(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(12, placed.left);
  EXPECT_EQ(34, placed.top);
  EXPECT_EQ(212, placed.right);
  EXPECT_EQ(134, placed.bottom);

  ShowAndPaint(preview.get(), L"C:\\vault\\part.tvd");
  EXPECT_EQ(DWORD(WS_CHILD | WS_VISIBLE), DWORD(GetWindowLongW(window, GWL_STYLE)));
  const RECT moved = {-5, 7, 95, 57};
  EXPECT_EQ(S_OK, preview->Move(&moved));
  GetWindowRect(window, &placed);
  MapWindowPoints(nullptr, Frame(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(-5, placed.left);
  EXPECT_EQ(7, placed.top);
  EXPECT_EQ(100, placed.right - placed.left) << "width is right - left";
  EXPECT_EQ(50, placed.bottom - placed.top);
}

TEST_F(PreviewObjectTest, TheLastReleaseDestroysTheWindowVisibleOrNot) {
  for (bool show : {false, true}) {
    ComPtr<IKivFilePreview> preview = NewPreview();
    ASSERT_TRUE(preview);
    const HWND window = PreviewWindow();
    ASSERT_TRUE(IsWindow(window));
    if (show) ShowAndPaint(preview.get(), L"part.tvd");
    ComPtr<IUnknown> second;
    preview.As(IID_IUnknown, second);
    preview.Reset();
    EXPECT_TRUE(IsWindow(window)) << "a reference is still held";
    second.Reset();
    EXPECT_FALSE(IsWindow(window)) << show;
  }
}

TEST_F(PreviewObjectTest, ALivePreviewKeepsTheLibraryLocked) {
  ComPtr<IKivFilePreview> preview = NewPreview();
  ASSERT_TRUE(preview);
  m_format.Reset();
  EXPECT_EQ(S_FALSE, m_dll.CanUnloadNow());
  preview.Reset();
  EXPECT_EQ(S_OK, m_dll.CanUnloadNow());
}

TEST_F(PreviewObjectTest, TheClassObjectMakesPreviewsWithoutWindowAloneOrAggregated) {
  ComPtr<IClassFactory> factory = m_dll.Factory(CLSID_TvdPreview);
  ASSERT_TRUE(factory);
  ComPtr<IKivFilePreview> alone;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IKivFilePreview, alone.put_void()));
  EXPECT_EQ(S_OK, alone->ShowFile(0, nullptr, 0, 0));
  EXPECT_EQ(nullptr, PreviewWindow());

  // Aggregated in an outer object of the test's own: the inner unknown.
  TestAggregate outer;
  ASSERT_EQ(S_OK, factory->CreateInstance(&outer, IID_IUnknown,
                                          reinterpret_cast<void**>(&outer.m_inner)));
  ComPtr<IKivFilePreview> aggregated;
  ASSERT_EQ(S_OK, outer.m_inner->QueryInterface(IID_IKivFilePreview, aggregated.put_void()));
  EXPECT_EQ(S_OK, aggregated->Hide());
  aggregated.Reset();
  outer.m_inner->Release();
  EXPECT_EQ(1, outer.m_refs);
  factory.Reset();
}

}  // namespace
