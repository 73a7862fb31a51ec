// tvdhost: the reference host for Vellisto.dll.
//
//   tvdhost [--dll PATH] [COMMAND ARGS...]
//
// With a command on the command line it runs that one command; without, it
// reads commands from standard input, one per line ('#' starts a comment,
// double quotes group words). Without --dll the format object is created
// from the registered ProgID "Vellisto.TvdFormat" (after regsvr32
// Vellisto.dll); with it, from the library at PATH. Exit code: 0 when
// every call succeeded, 1 when one returned a failure, 2 for a command that
// was not understood, 3 when the library or the format object could not be
// had.
//
// tvdhost preview FILE ... renders a preview to a PNG (PreviewCommand.h);
// tvdhost --help prints the usage without starting COM.
#include "HostSession.h"
#include "PreviewCommand.h"
#include "ValueText.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: tvdhost [--dll PATH] [COMMAND ARGS...]\n"
    "       tvdhost [--dll PATH] preview FILE [--size WxH] [--caption TEXT | --no-strings]\n"
    "               --png OUT.png\n"
    "\n"
    "Drives Vellisto.dll as the host does and prints every call's HRESULT.\n"
    "Without --dll the format object comes from the registered ProgID\n"
    "Vellisto.TvdFormat; with it, from the library at PATH.\n"
    "With a command it runs that command; without, it reads commands from\n"
    "standard input, one per line ('#' starts a comment, double quotes group\n"
    "words).\n"
    "\n"
    "Commands:\n"
    "  info                              the format's description and capabilities\n"
    "  open FILE                         open a document\n"
    "  get [--first] BLOCK PATTERN...    read values (--first: stop at the first found)\n"
    "  set BLOCK PATTERN VALUE [--type i4|r8|date|text]\n"
    "                                    change a value (default type: text)\n"
    "  save                              save the open document\n"
    "  close                             close it\n"
    "  preview FILE ...                  render the preview pane to a PNG\n"
    "\n"
    "Exit status: 0 every call succeeded, 1 a call failed, 2 a command was not\n"
    "understood, 3 the library or the format object could not be had.\n";

bool IsHelp(const std::wstring& arg) {
  return arg == L"--help" || arg == L"-h" || arg == L"/?" || arg == L"-?";
}

std::vector<std::wstring> SplitWords(const std::wstring& line) {
  std::vector<std::wstring> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && iswspace(line[i])) ++i;
    if (i >= line.size() || line[i] == L'#') break;
    std::wstring word;
    bool quoted = false;
    while (i < line.size() && (quoted || !iswspace(line[i]))) {
      if (line[i] == L'"')
        quoted = !quoted;
      else
        word += line[i];
      ++i;
    }
    words.push_back(word);
  }
  return words;
}

bool ReadLine(std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  std::wstring dllPath;  // empty: by ProgID
  int first = 1;
  if (argc > 2 && std::wstring(argv[1]) == L"--dll") {
    dllPath = argv[2];
    first = 3;
  }
  // Help needs neither COM nor the library.
  if (first < argc && IsHelp(argv[first])) {
    std::fwrite(kUsage, 1, sizeof kUsage - 1, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int exitCode = 0;
  if (first < argc && std::wstring(argv[first]) == L"preview") {
    HostSession session(dllPath);
    exitCode = RunPreviewCommand(session, std::vector<std::wstring>(argv + first + 1, argv + argc));
  } else {
    HostSession session(dllPath);
    if (!session.Start()) {
      exitCode = 3;
    } else if (first < argc) {
      if (!session.Run(std::vector<std::wstring>(argv + first, argv + argc))) exitCode = 2;
    } else {
      std::string line;
      while (ReadLine(line)) {
        std::fwrite("> ", 1, 2, stdout);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fwrite("\n", 1, 1, stdout);
        if (!session.Run(SplitWords(Wide(line)))) exitCode = 2;
      }
    }
    session.Finish();
    if (exitCode == 0 && session.sawFailure()) exitCode = 1;
  }
  CoUninitialize();
  return exitCode;
}
