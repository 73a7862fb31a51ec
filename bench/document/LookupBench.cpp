// GetValue of every name of one block of N attributes, for N from 1,000 to
// 16,000: with lookups that cost about the same whatever the block's size,
// 16 times the names take about 16 times as long. Each round builds a fresh
// document, so the index is made at the first lookup inside the timing.
// Portable: runs natively and, as lookup_bench.exe, under Wine, where the
// names are compared by the system's locale-aware comparison.
//
// Two figures per N: the fastest whole batch of the rounds, and the sum,
// over slices of 250 lookups in batch order, of each slice's fastest time.
// On a busy machine of two cores a batch of tens of milliseconds always
// loses time slices to other processes, and the whole-batch figure then
// grows with N for that reason alone; a slice usually runs undisturbed in
// one of the rounds.
//
//   lookup_bench [--quick]     (--quick: one small round, no timing worth reading)
#include "VirtualDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kSlice = 250;

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Names of one length for every N, so that only the count changes.
WString Name(int i) {
  WString name = OLESTR("Attribute-");
  for (const char c : std::to_string(100000 + i).substr(1)) name += static_cast<OLECHAR>(c);
  return name;
}

struct Timing {
  double whole = 1e30;  // seconds: the fastest whole batch
  double slices = 0;    // seconds: the sum of the fastest time of each slice
};

Timing TimeBatch(int count, int rounds, bool upperCase) {
  std::vector<WString> names;
  for (int i = 0; i < count; ++i) names.push_back(Name(i));
  std::vector<WString> asked = names;
  if (upperCase)
    for (WString& name : asked)
      for (OLECHAR& c : name)
        if (c >= 'a' && c <= 'z') c = static_cast<OLECHAR>(c - 'a' + 'A');
  Timing timing;
  std::vector<double> fastest((asked.size() + kSlice - 1) / kSlice, 1e30);
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
    const double start = Now();
    for (size_t slice = 0; slice < fastest.size(); ++slice) {
      const double sliceStart = Now();
      const size_t end = std::min(asked.size(), (slice + 1) * kSlice);
      for (size_t i = slice * kSlice; i < end; ++i) {
        doc.GetValue(OLESTR("Block"), asked[i].c_str(), &out);
        found += out.vt == VT_I4 && out.lVal >= 0;
      }
      fastest[slice] = std::min(fastest[slice], Now() - sliceStart);
    }
    timing.whole = std::min(timing.whole, Now() - start);
    VariantClear(&out);
    if (found != count) std::printf("  only %ld of %d found\n", found, count);
  }
  for (const double t : fastest) timing.slices += t;
  return timing;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 1 : 15;
  const std::vector<int> counts =
      quick ? std::vector<int>{100, 200} : std::vector<int>{1000, 2000, 4000, 8000, 16000};
  for (const bool upperCase : {false, true}) {
    std::printf("GetValue of every name of one block (%s), fastest of %d rounds:\n",
                upperCase ? "asked in upper case" : "asked as stored", rounds);
    Timing first;
    for (const int count : counts) {
      const Timing t = TimeBatch(count, rounds, upperCase);
      if (count == counts.front()) first = t;
      std::printf(
          "  N = %5d: whole %8.3f ms (%5.1f times N = %d); by slices %8.3f ms, %6.1f ns per "
          "lookup (%5.1f times)\n",
          count, t.whole * 1e3, t.whole / first.whole, counts.front(), t.slices * 1e3,
          t.slices * 1e9 / count, t.slices / first.slices);
    }
  }
  std::printf("goal: N = 16000 within 20 times N = 1000\n");
  return 0;
}
