// GetValue of every name of one block of N attributes, for N from 1,000 to
// 16,000: with lookups that cost about the same whatever the block's size,
// 16 times the names take about 16 times as long. Also the same batch
// through patterns that end in '*', which scan the block by design.
// Portable: runs natively and, as lookup_bench.exe, under Wine, where the
// names are compared by the system's locale-aware comparison.
//
//   lookup_bench [--quick]     (--quick: one small round, no timing worth reading)
#include "VirtualDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <time.h>
#endif

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Page faults so far: on some virtual machines each costs 10 to 20 us, and
// the index of a large block is fresh memory.
long Faults() {
#ifdef _WIN32
  return 0;
#else
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt + usage.ru_majflt;
#endif
}

long g_faults = 0;  // in the last batch timed

WString Name(int i) {
  WString name = OLESTR("Attribute-");
  for (const char c : std::to_string(i)) name += static_cast<OLECHAR>(c);
  return name;
}

// Seconds for one GetValue of each name, the fastest of rounds runs, each on
// a fresh document (so that the index is made inside the timing). The
// fastest, not the median: on a busy machine of two cores most runs of a
// few milliseconds lose a time slice to another process.
double TimeBatch(int count, int rounds, bool upperCase) {
  std::vector<WString> names;
  for (int i = 0; i < count; ++i) names.push_back(Name(i));
  std::vector<WString> asked = names;
  if (upperCase)
    for (WString& name : asked)
      for (OLECHAR& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<OLECHAR>(c - 'a' + 'A');
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    VirtualDocument doc;
    VirtualDocument::Block& block = doc.AppendBlock(OLESTR("Block"));
    for (int i = 0; i < count; ++i) {
      VARIANT v;
      VariantInit(&v);
      v.vt = VT_I4;
      v.lVal = i;
      block.AppendAttrib(names[static_cast<size_t>(i)].c_str()).Take(v);
    }
    VARIANT out;
    VariantInit(&out);
    long found = 0;
    const long faults = Faults();
    const double start = Now();
    for (const WString& name : asked) {
      doc.GetValue(OLESTR("Block"), name.c_str(), &out);
      found += out.vt == VT_I4 && out.lVal >= 0;
    }
    times.push_back(Now() - start);
    g_faults = Faults() - faults;
    VariantClear(&out);
    if (found != count) std::printf("  only %ld of %d found\n", found, count);
  }
  return *std::min_element(times.begin(), times.end());
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 1 : 15;
  const std::vector<int> counts =
      quick ? std::vector<int>{100, 200} : std::vector<int>{1000, 2000, 4000, 8000, 16000};
  for (const bool upperCase : {false, true}) {
    std::printf("GetValue of every name of one block (%s):\n",
                upperCase ? "asked in upper case" : "asked as stored");
    double first = 0;
    for (const int count : counts) {
      const double t = TimeBatch(count, rounds, upperCase);
      if (first == 0) first = t;
      std::printf(
          "  N = %5d: %9.3f ms, %7.1f ns per lookup, %5.1f times N = %d (%ld page faults)\n", count,
          t * 1e3, t * 1e9 / count, t / first, counts.front(), g_faults);
    }
  }
  std::printf("goal: N = 16000 within 20 times N = 1000\n");
  return 0;
}
