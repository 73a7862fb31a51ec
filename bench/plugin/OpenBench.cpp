// What opening a small document costs: the library's open (SharedFile:
// open, check, read, close) against a bare CreateFileW + ReadFile +
// CloseHandle of the same 2 KB file, and the bare sequence with each of the
// two calls that can tell a folder and the size, to show what the check
// adds. Rounds alternate between the paths; the medians are compared.
//
//   open_bench [--quick]     (--quick: a few rounds, no timing worth reading)
#include "BenchClock.h"
#include "SharedFile.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

std::wstring WriteSmallFile() {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path =
      std::wstring(dir) + L"vellisto-open-" + std::to_wstring(GetCurrentProcessId()) + L".tvd";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::wstring();
  std::vector<char> bytes(2048, 'x');
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), 2048, &written, nullptr) && written == 2048;
  CloseHandle(file);
  return ok ? path : std::wstring();
}

// info: 0 none, 1 GetFileInformationByHandle, 2 the standard information.
bool Bare(const wchar_t* path, int info) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  if (info == 1) {
    BY_HANDLE_FILE_INFORMATION full;
    ok = GetFileInformationByHandle(file, &full);
  } else if (info == 2) {
    FILE_STANDARD_INFO standard;
    ok = GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard);
  }
  char buffer[4096];
  DWORD got = 0;
  ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got == 2048 && ok;
  CloseHandle(file);
  return ok;
}

bool Library(const wchar_t* path) {
  SharedFile file;
  if (!file.Open(path)) return false;
  uint8_t buffer[4096];
  return file.size() == 2048 && file.Read(buffer, static_cast<size_t>(file.size())) == 2048;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 3 : 21, iterations = quick ? 20 : 500;
  const std::wstring path = WriteSmallFile();
  if (path.empty()) {
    std::printf("set-up failed: cannot write the sample file\n");
    return 1;
  }
  struct Path {
    const char* name;
    std::function<bool()> run;
    std::vector<double> times;
  };
  const wchar_t* p = path.c_str();
  std::vector<Path> paths = {
      {"CreateFileW + ReadFile + CloseHandle", [p] { return Bare(p, 0); }, {}},
      {"  the same + GetFileInformationByHandle", [p] { return Bare(p, 1); }, {}},
      {"  the same + GetFileInformationByHandleEx(standard)", [p] { return Bare(p, 2); }, {}},
      {"SharedFile Open + Read + close", [p] { return Library(p); }, {}},
  };
  bool ok = true;
  for (int round = 0; ok && round < rounds; ++round) {
    for (Path& each : paths) {
      const double start = Now();
      for (int i = 0; ok && i < iterations; ++i) ok = each.run();
      each.times.push_back((Now() - start) / iterations);
    }
  }
  DeleteFileW(path.c_str());
  if (!ok) {
    std::printf("a path failed\n");
    return 1;
  }
  const double bare = Median(paths.front().times);
  std::printf("2 KB file, %d rounds of %d, medians:\n", rounds, iterations);
  for (const Path& each : paths)
    std::printf("  %-52s %8.2f us  %.2f times the bare open\n", each.name, Median(each.times) * 1e6,
                Median(each.times) / bare);
  std::printf("goal: the library's open within 1.5 times the bare open\n");
  return 0;
}
