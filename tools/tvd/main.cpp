// tvd: the command-line tool for virtual documents.
#include "TvdApp.h"

#include <string>
#include <vector>

#ifdef _WIN32

#include "Automation.h"
#include "Utf.h"

// The command line arrives as UTF-16, so that any file name gets through;
// the tool works in UTF-8 from here on.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8FromUtf16(WString(argv[i])));
  return TvdApp::Run(args);
}

#else

int main(int argc, char** argv) { return TvdApp::Run(std::vector<std::string>(argv, argv + argc)); }

#endif
