// One visible top-level window for the tests of a program that need a real
// window, with children made in it. It is left to process exit: destroying a
// top-level window waits about 2 s under a display without a window manager.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

class TestWindow {
 public:
  // The window, made on first use (160 x 120 at the screen's corner); null
  // without a display.
  static HWND Frame();
  // A visible child of the frame, of the same plain window class.
  static HWND CreateChild(int x, int y, int width, int height);
  // Dispatches what the thread's queue holds.
  static void Pump();
};
