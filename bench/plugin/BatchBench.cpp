// One GetValues call for every name of a block of N attributes, through
// Vellisto.dll, against the same GetValue calls made directly on
// VirtualDocument, for N from 1,000 to 16,000. Each timing opens the file
// afresh, so the first lookup's index is made inside it. Lookups that do not
// grow with the block make 16 times the names cost about 16 times as much.
//
// Two figures per path: the fastest whole batch of the rounds (one
// GetValues call), and the batch made in slices of 250 records (one
// GetValues call each), summing each slice's fastest time over the rounds.
// On a busy machine of two cores a batch of tens of milliseconds always
// loses time slices to other processes, so the whole-batch figure grows
// with N for that reason alone; a slice usually runs undisturbed in one of
// the rounds.
//
//   batch_bench [--quick]     (--quick: small blocks, one round; checks that
//                              both paths find every name)
#include "BenchClock.h"
#include "KivHost.h"
#include "Records.h"
#include "Vellisto.h"
#include "VellistoDll.h"
#include "VirtualDocument.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Names of one length for every N, so that only the count changes.
std::wstring AttribName(int i) {
  const std::wstring digits = std::to_wstring(100000 + i);
  return L"Attribute-" + digits.substr(1);
}

std::wstring WriteBlockFile(int count) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::wstring path =
      std::wstring(dir) + L"vellisto-batch-" + std::to_wstring(GetCurrentProcessId()) + L".tvd";
  VirtualDocument doc;
  doc.SetPath(path.c_str());
  VirtualDocument::Block& block = doc.AppendBlock(L"Block");
  for (int i = 0; i < count; ++i) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = i;
    block.AppendAttrib(AttribName(i).c_str()).Take(v);
  }
  return doc.Save() == DocStatus::Ok ? path : std::wstring();
}

constexpr LONG kSlice = 250;

bool AllFound(Records& records) {
  for (LONG i = 0; i < records.count(); ++i)
    if (!records[static_cast<size_t>(i)].found) return false;
  return true;
}

// Times one batch of records in calls of slice records each into times
// (one entry per call); false when something failed or a name was missed.
bool ThroughPlugin(IKivFileFormat* format, const wchar_t* path, Records& records, LONG slice,
                   std::vector<double>& times) {
  ComPtr<IKivFileNavigator> navigator;
  if (format->OpenFile(path, 0, navigator.put()) != S_OK) return false;
  times.clear();
  for (LONG at = 0; at < records.count(); at += slice) {
    const LONG n = std::min(slice, records.count() - at);
    const double start = Now();
    if (navigator->GetValues(0, 0, 0, n, records.data() + at) != S_OK) return false;
    times.push_back(Now() - start);
  }
  return AllFound(records);
}

bool Direct(const wchar_t* path, Records& records, LONG slice, std::vector<double>& times) {
  VirtualDocument doc;
  if (doc.Load(path) != DocStatus::Ok) return false;
  times.clear();
  for (LONG at = 0; at < records.count(); at += slice) {
    const LONG end = std::min(at + slice, records.count());
    const double start = Now();
    for (LONG i = at; i < end; ++i) {
      ValueRecord& r = records[static_cast<size_t>(i)];
      doc.GetValue(r.blockName, r.attribName, &r.value);
      r.found = V_VT(&r.value) != VT_EMPTY;
    }
    times.push_back(Now() - start);
  }
  return AllFound(records);
}

struct Timing {
  double whole = 1e30;
  std::vector<double> fastest;  // per slice
  double slices() const {
    double sum = 0;
    for (const double t : fastest) sum += t;
    return sum;
  }
  void Whole(const std::vector<double>& times) { whole = std::min(whole, times.front()); }
  void Slices(const std::vector<double>& times) {
    fastest.resize(times.size(), 1e30);
    for (size_t i = 0; i < times.size(); ++i) fastest[i] = std::min(fastest[i], times[i]);
  }
};

int Run(const std::vector<int>& counts, int rounds) {
  const VellistoDll dll;
  ComPtr<IKivFileFormat> format;
  if (!dll.loaded() || FAILED(dll.CreateFormat(format.put()))) {
    std::printf("set-up failed: no library or format object\n");
    return 1;
  }
  std::printf("one block of N attributes, GetValues of all N names; fastest of %d rounds\n",
              rounds);
  Timing firstPlugin, firstDirect;
  for (const int count : counts) {
    const std::wstring path = WriteBlockFile(count);
    Records viaPlugin(static_cast<size_t>(count)), direct(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      viaPlugin.Name(static_cast<size_t>(i), L"Block", AttribName(i).c_str());
      direct.Name(static_cast<size_t>(i), L"Block", AttribName(i).c_str());
    }
    Timing plugin, straight;
    std::vector<double> times;
    bool ok = !path.empty();
    const LONG all = count;
    for (int round = 0; ok && round < rounds; ++round) {
      ok = ThroughPlugin(format.get(), path.c_str(), viaPlugin, all, times);
      if (ok) plugin.Whole(times);
      ok = ok && ThroughPlugin(format.get(), path.c_str(), viaPlugin, kSlice, times);
      if (ok) plugin.Slices(times);
      ok = ok && Direct(path.c_str(), direct, all, times);
      if (ok) straight.Whole(times);
      ok = ok && Direct(path.c_str(), direct, kSlice, times);
      if (ok) straight.Slices(times);
    }
    DeleteFileW(path.c_str());
    if (!ok) {
      std::printf("N = %d: a path failed or missed a name\n", count);
      return 1;
    }
    if (count == counts.front()) firstPlugin = plugin, firstDirect = straight;
    std::printf(
        "  N = %5d: GetValues whole %8.3f ms (%5.1f times N = %d), by slices %8.3f ms "
        "(%5.1f times)\n",
        count, plugin.whole * 1e3, plugin.whole / firstPlugin.whole, counts.front(),
        plugin.slices() * 1e3, plugin.slices() / firstPlugin.slices());
    std::printf(
        "             direct    whole %8.3f ms (%5.1f times),          by slices %8.3f ms "
        "(%5.1f times)\n",
        straight.whole * 1e3, straight.whole / firstDirect.whole, straight.slices() * 1e3,
        straight.slices() / firstDirect.slices());
  }
  std::printf("goal: N = 16000 within 20 times N = 1000\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = quick ? Run({100, 200}, 1) : Run({1000, 2000, 4000, 8000, 16000}, 9);
  CoUninitialize();
  return status;
}
