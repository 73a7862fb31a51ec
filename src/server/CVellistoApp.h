// The application object: the library's start-up and shut-down, run from
// its attach and detach with the library's module state current.
#pragma once

#include <windows.h>

class CVellistoApp {
 public:
  CVellistoApp() = default;
  CVellistoApp(const CVellistoApp&) = delete;
  CVellistoApp& operator=(const CVellistoApp&) = delete;

  // Points the proxy/stub layer at this library and hands the object map to
  // g_module. False makes the attach, and so the host's load, fail.
  bool InitInstance();
  // Terminates g_module (the cached class objects are released). Also runs
  // when InitInstance failed.
  int ExitInstance();
};
